// The main window's commands: the action table, the menus and the command handlers.
#include <QActionGroup>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableView>
#include <initializer_list>

#include "config/kn_unitLocationSecrets.h"
#include "engine/kn_unitSideUsage.h"
#include "framework/qt/vex_frmHelp.h"
#include "framework/qt/vex_unitDialogs.h"
#include "ui/kn_frmMain.h"
#include "ui/kn_unitResultModel.h"
#include "ui/kn_unitShownText.h"

namespace kn {

namespace {

struct ActionDef {
    const char* name;
    const char* caption;
    QKeySequence shortcut;
    const char* hint;
    bool enabled;
    int image;
    // Help commands work while the window is busy; every other command is refused then.
    bool whileBusy;
};

// In the order of the "&Compare" menu (the first twelve), then the other menus.
const ActionDef kActions[] = {
    {"actSelectLeftFolder", "&Left Folder...", Qt::Key_F2, "Browse folder for the left panel.", true, imgLeftFolder,
     false},
    {"actSelectRightFolder", "&Right Folder...", Qt::Key_F3, "Browse folder for the right panel.", true, imgRightFolder,
     false},
    {"actCompareAction", "Next &Direction", Qt::Key_F4,
     "Pick the next update direction: Left to Right, Right to Left, Auto, Two-way.", true, -1, false},
    {"actCompareCompare", "C&ompare...", Qt::Key_F5, "Compare the left folder and right folder.", true, imgCompare,
     false},
    {"actCompareUpdate", "&Update", Qt::Key_F6, "Update folders based on the compare result.", false, -1, false},
    {"actCompareUpdateSelection", "Update &Selection", Qt::CTRL | Qt::Key_F6,
     "Update folders based on the selected compare result.", false, -1, false},
    {"actCompareForceUpdate", "&Force Update", Qt::Key_F7, "Force Update folders based on the compare result.", false,
     -1, false},
    {"actCompareForceUpdateSelection", "Force Update S&election", Qt::CTRL | Qt::Key_F7,
     "Force Update folders based on the selected compare result.", false, -1, false},
    // Enabled while anything runs; Esc works from every control of the window.
    {"actCompareStop", "S&top", Qt::Key_Escape, "Stop the comparison or update.", false, -1, true},
    {"actCompareShowDifferences", "Show &Differences...", Qt::Key_F8, "Show differences between two files.", false, -1,
     false},
    {"actCompareConfiguration", "&Configuration", Qt::Key_F11, "Show configuration dialog.", true, imgConfiguration,
     false},
    {"actCompareExit", "E&xit", Qt::ALT | Qt::Key_F4, "Exit the application.", true, imgExit, false},
    {"actPresetManager", "Presets &Manager", Qt::Key_F9, "Show the presets' manager", true, imgPresetManager, false},
    {"actBatchManager", "Batches &Manager", Qt::CTRL | Qt::Key_F9, "Show the batches' manager.", true, -1, false},
    {"actHelpContent", "Help &Content", Qt::Key_F1, "Show the help content of the application.", true, -1, true},
    {"actHelpIndex", "Help &Index", Qt::CTRL | Qt::Key_F1, "Show the help index of the application.", true, -1, true},
    {"actHelpNormalMode", "&Normal Mode", QKeySequence(), "Ask before every update and offer a backup.", true, -1,
     true},
    {"actHelpExpertMode", "&Expert Mode", QKeySequence(),
     "Update without asking and without backups (a mass deletion is still asked about).", true, -1, true},
    {"actHelpPassword", "&Password...", QKeySequence(), "Set, change or remove the password asked for at start.", true,
     -1, true},
    {"actHelpAbout", "&About...", QKeySequence(), "Show the information about the application.", true, imgAbout, false},
};

}  // namespace

TKNMainForm::Handler TKNMainForm::FindHandler(const QString& name)
{
    // Commands without a handler open windows that this build does not have yet: they stay
    // disabled.
    static const std::pair<const char*, Handler> handlers[] = {
        {"actSelectLeftFolder", &TKNMainForm::actSelectLeftFolderExecute},
        {"actSelectRightFolder", &TKNMainForm::actSelectRightFolderExecute},
        {"actCompareAction", &TKNMainForm::actCompareActionExecute},
        {"actCompareCompare", &TKNMainForm::actCompareCompareExecute},
        {"actCompareUpdate", &TKNMainForm::actCompareUpdateExecute},
        {"actCompareUpdateSelection", &TKNMainForm::actCompareUpdateSelectionExecute},
        {"actCompareForceUpdate", &TKNMainForm::actCompareForceUpdateExecute},
        {"actCompareForceUpdateSelection", &TKNMainForm::actCompareForceUpdateSelectionExecute},
        {"actCompareStop", &TKNMainForm::actCompareStopExecute},
        {"actCompareExit", &TKNMainForm::actCompareExitExecute},
        {"actHelpContent", &TKNMainForm::actHelpContentExecute},
        {"actHelpIndex", &TKNMainForm::actHelpIndexExecute},
        {"actHelpNormalMode", &TKNMainForm::actHelpNormalModeExecute},
        {"actHelpExpertMode", &TKNMainForm::actHelpExpertModeExecute},
        {"actHelpAbout", &TKNMainForm::actHelpAboutExecute},
        {"actCompareShowDifferences", &TKNMainForm::actCompareShowDifferencesExecute},
        {"actCompareConfiguration", &TKNMainForm::actCompareConfigurationExecute},
        {"actPresetManager", &TKNMainForm::actPresetManagerExecute},
        {"actBatchManager", &TKNMainForm::actBatchManagerExecute},
        {"actHelpPassword", &TKNMainForm::actHelpPasswordExecute},
    };
    for (const auto& [actionName, handler] : handlers)
        if (name == QLatin1String(actionName)) return handler;
    return nullptr;
}

void TKNMainForm::CreateActions()
{
    for (const ActionDef& def : kActions) {
        QAction* action = AddAction(def.name, def.caption, def.shortcut, def.hint, def.image);
        Handler handler = FindHandler(QString::fromLatin1(def.name));
        action->setEnabled(def.enabled && handler != nullptr);
        action->setProperty("knAvailable", handler != nullptr);
        if (!handler) continue;
        bool whileBusy = def.whileBusy;
        connect(action, &QAction::triggered, this, [this, handler, whileBusy] {
            if (Busy && !whileBusy) return;
            (this->*handler)();
        });
    }
    auto* modes = new QActionGroup(this);
    for (const char* name : {"actHelpNormalMode", "actHelpExpertMode"}) {
        QAction* mode = FindAction(name);
        mode->setCheckable(true);
        modes->addAction(mode);
    }
    FindAction("actHelpNormalMode")->setChecked(true);
}

void TKNMainForm::CreateMenus()
{
    // Each name is an action's; "|" is a separator.
    const auto fill = [this](QMenu* menu, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (name[0] == '|')
                menu->addSeparator();
            else
                menu->addAction(FindAction(name));
        }
    };
    fill(MainMenu->addMenu("&Compare"),
         {"actSelectLeftFolder", "actSelectRightFolder", "actCompareAction", "|", "actCompareCompare", "|",
          "actCompareUpdate", "actCompareUpdateSelection", "actCompareForceUpdate", "actCompareForceUpdateSelection",
          "|", "actCompareStop", "|", "actCompareShowDifferences", "|", "actCompareConfiguration", "|",
          "actCompareExit"});
    // Filled with the manager commands and the records by BuildPresetMenus and BuildBatchMenus.
    menuPreset = MainMenu->addMenu("&Preset");
    menuBatch = MainMenu->addMenu("&Batch");
    fill(MainMenu->addMenu("&Options"), {"actHelpNormalMode", "actHelpExpertMode", "|", "actHelpPassword"});
    fill(MainMenu->addMenu("&Help"), {"actHelpContent", "actHelpIndex", "|", "actHelpAbout"});

    // The list's menu; ShowListMenu opens it (or a conflict row's settlements instead).
    fill(MainPopupMenu,
         {"actCompareCompare", "|", "actCompareUpdate", "actCompareUpdateSelection", "actCompareForceUpdate",
          "actCompareForceUpdateSelection", "|", "actCompareShowDifferences", "actCompareConfiguration", "|"});
    popupPresets = MainPopupMenu->addMenu("P&resets...");
    popupBatches = MainPopupMenu->addMenu("&Batches...");
}

void TKNMainForm::SelectFolder(QLineEdit* edit, const QString& title)
{
    QString folder = edit->text();
    if (vex::BrowseForFolder(this, title, folder)) edit->setText(folder);
}

void TKNMainForm::actSelectLeftFolderExecute()
{
    SelectFolder(edFolderLeft, "Browse for left folder.");
}

void TKNMainForm::actSelectRightFolderExecute()
{
    SelectFolder(edFolderRight, "Browse for right folder.");
}

void TKNMainForm::actCompareActionExecute()
{
    SetAction(NextAction(action_));
}

void TKNMainForm::actCompareCompareExecute()
{
    // An empty field names no folder: the other tree would be listed whole, every entry of it a
    // row, which is never what a user asks for.
    for (QLineEdit* edit : {edFolderLeft, edFolderRight}) {
        if (!edit->text().trimmed().isEmpty()) continue;
        ShowStatus(tr("Nothing compared."), edit == edFolderLeft ? tr("Type or browse (F2) the left folder first.")
                                                                 : tr("Type or browse (F3) the right folder first."));
        edit->setFocus();
        return;
    }
    // A folder text that does not fit its field would be cut, and a cut text can name another
    // folder (its parent, when the cut ends at a "/"), which a forced update would then mirror.
    for (const QLineEdit* edit : {edFolderLeft, edFolderRight}) {
        const std::string text = SplitLocationPassword(edit->text().toStdString()).Location;
        if (text.size() < sizeof(TKNOptionsRec::LeftFolder)) continue;
        vex::ErrorBox(this, tr("The folder text \"%1\" is %2 bytes long; a folder text may have at most %3. Nothing "
                               "was compared.")
                                .arg(ShownText(text))
                                .arg(text.size())
                                .arg(sizeof(TKNOptionsRec::LeftFolder) - 1));
        return;
    }
    SetBusy();
    PresetName.clear();
    UpdateCaption();
    StoreFolders();
    ApplyOptions(Config.Header.CurrentOptions);
    StartCompare(false);
}

void TKNMainForm::actCompareStopExecute()
{
    // An open completion list closes as well: the window's shortcut takes Esc before it.
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    FileCompare->StopCompare();
}

void TKNMainForm::actCompareExitExecute()
{
    close();
}

void TKNMainForm::actHelpContentExecute()
{
    vex::HelpContents();
}

void TKNMainForm::actHelpIndexExecute()
{
    vex::HelpIndex(QString());
}

void TKNMainForm::actHelpNormalModeExecute()
{
    SetExpertMode(false);
}

void TKNMainForm::actHelpExpertModeExecute()
{
    SetExpertMode(true);
}

void TKNMainForm::SetExpertMode(bool expert)
{
    ExpertMode = expert;
    FindAction(expert ? "actHelpExpertMode" : "actHelpNormalMode")->setChecked(true);
    // Updates run without a confirmation now: the status bar keeps saying so.
    StatusBar->Panel(2)->SetText(expert ? tr("Expert mode") : QString());
}

void TKNMainForm::actHelpAboutExecute()
{
    QMessageBox::about(this, QString("About %1").arg(QApplication::applicationName()),
                       QString("<h3>%1</h3>"
                               "<p>Compares two folder trees, local or on a server (%3), and brings them "
                               "into line.</p><p>Built with Qt %2.</p>")
                           .arg(vex::ApplicationTitle(), QString::fromLatin1(qVersion()),
                                QString::fromStdString(ServerKinds()).toHtmlEscaped()));
}

}  // namespace kn
