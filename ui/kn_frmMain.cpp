#include "ui/kn_frmMain.h"

#include <QAbstractProxyModel>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "config/kn_unitLocationSecrets.h"
#include "engine/kn_unitServerTrust.h"
#include "engine/kn_unitSideRegistry.h"
#include "engine/kn_unitSideUsage.h"
#include "engine/kn_unitUpdateEvent.h"
#include "framework/qt/vex_frmHelp.h"
#include "framework/qt/vex_unitDialogs.h"
#include "framework/qt/vex_unitPlacement.h"
#include "framework/qt/vex_unitThemeMarks.h"
#include "framework/vex_unitText.h"
#include "framework/vex_unitThreads.h"
#include "ui/kn_unitResultModel.h"
#include "ui/kn_unitServerTrust.h"
#include "ui/kn_unitShownText.h"

// Resources of the ui library (images and help pages) live in a static library: register them.
static void InitResources()
{
    Q_INIT_RESOURCE(kestrune);
}

namespace kn {

namespace {

constexpr int kButtonWidth = 24;
constexpr int kGaugeWidth = 200;
// The colour of a file's byte progress, RGB 166, 202, 240.
const QColor kFileGaugeColour(0xA6, 0xCA, 0xF0);

// The update directions of the direction control, in its order: one line per action.
struct TActionChoice {
    TKNAction action;
    const char* caption;
    const char* tooltip;
    const char* glyph;
};
const TActionChoice kActionChoices[] = {
    {TKNAction::LeftToRight, "Left to Right",
     "Left to Right: an update copies newer and left-only entries to the right; Force Update also "
     "replaces newer right files and deletes right-only entries.",
     ":/KNBMLEFTTORIGHT"},
    {TKNAction::RightToLeft, "Right to Left",
     "Right to Left: an update copies newer and right-only entries to the left; Force Update also "
     "replaces newer left files and deletes left-only entries.",
     ":/KNBMRIGHTTOLEFT"},
    {TKNAction::Auto, "Auto",
     "Auto: an update copies each newer or one-sided entry to the other side, in both directions; "
     "it never deletes.",
     ":/KNBMAUTO"},
    {TKNAction::TwoWay, "Two-way",
     "Two-way: against the last synchronisation of these folders, an update copies what changed on "
     "one side to the other and deletes there what was deleted on one side; files changed on both "
     "sides are conflicts, settled as the configuration says or row by row. The first run deletes "
     "nothing.",
     ":/KNBMTWOWAY"},
};
constexpr int kActionChoiceCount = static_cast<int>(std::size(kActionChoices));

// An unknown value (a damaged record) takes Auto's line, as StoredAction reads it: never a
// direction that deletes.
int ChoiceOf(TKNAction action)
{
    const TKNAction known = StoredAction(static_cast<int>(action));
    for (int i = 0; i < kActionChoiceCount; ++i)
        if (kActionChoices[i].action == known) return i;
    return 0;
}

template <size_t N>
QString FromField(const char (&field)[N])
{
    return QString::fromStdString(vex::GetField(field));
}

// Takes the proposal under the cursor of the completion list, or its first one.
void AcceptCompletion(QLineEdit* edit)
{
    QCompleter* completer = edit->completer();
    auto* proposals = qobject_cast<QAbstractProxyModel*>(completer->completionModel());
    QModelIndex current = completer->popup()->currentIndex();
    if (!current.isValid() && proposals) current = proposals->index(0, 0);
    if (current.isValid() && proposals) edit->setText(completer->pathFromIndex(proposals->mapToSource(current)));
    completer->popup()->hide();
}

}  // namespace

TKNMainForm::TKNMainForm(TKNConfig& config, QWidget* parent) : vex::TvexSDIMainForm(parent), Config(config)
{
    InitResources();
    // The prompt comes first: a refused start builds nothing else and writes nothing.
    if (!PasswordAllowsStart()) return;
    started_ = true;
    if (!Config.Secrets) {
        ownSecrets_ = std::make_unique<vex::TvexMemorySecretStore>();
        Config.Secrets = ownSecrets_.get();
    }
    // Folders show user@host from the start; the file loses its passwords at the next save.
    Config.MovePasswordsToSecrets();
    InstallSidePrompts(this);
    // The help pages list the kinds of location as the registry has them, never by hand.
    vex::SetHelpPageFilter([](const QString& html) {
        return QString::fromStdString(FillUsageMarkers(html.toStdString(), TKNUsageFormat::Html));
    });
    LoadMainImages(MainImage);
    setWindowTitle(vex::ApplicationTitle());
    BaseCaption = windowTitle();
    setWindowIcon(QIcon(QStringLiteral(":/images/kestrune@2x.png")));

    FileCompare = std::make_unique<TKNFileCompare>();
    CreateRunLayer();
    BindEngineEvents();
    CreateActions();
    CreateFolderPanel();
    CreateListView();
    CreateStatusBar();
    CreateMenus();
    // Tab goes through the folder panel from left to right, then into the list.
    QWidget* const tabOrder[] = {edFolderLeft,  sbtnFolderLeft, cbAction,     sbtnFolderRight,
                                 edFolderRight, sbtnStop,       ListViewFiles};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
    RestorePlacement();

    const TKNOptionsRec& options = Config.Header.CurrentOptions;
    edFolderLeft->setText(FromField(options.LeftFolder));
    edFolderRight->setText(FromField(options.RightFolder));
    SetAction(options.Action);
    BuildBatchMenus();
    BuildPresetMenus();
    UpdateSortImages();
    AddFolderCompletion(edFolderLeft);
    AddFolderCompletion(edFolderRight);

    if (Config.Created())
        QMetaObject::invokeMethod(
            this, [] { vex::HelpContents(); }, Qt::QueuedConnection);
}

TKNMainForm::~TKNMainForm()
{
    StopAndWait();
    if (started_) InstallSidePrompts(nullptr);
    if (started_) SaveSettings();
    // Hiding the window below ends an edit in a folder field: its handlers, which use the
    // secret store and this window, must not run any more.
    for (QLineEdit* edit : {edFolderLeft, edFolderRight})
        if (edit) edit->disconnect(this);
    if (ownSecrets_) Config.Secrets = nullptr;
    // Hidden while its image lists still exist: a visible window repaints its header as the
    // base class hides it, after this window's members are gone.
    hide();
    // Row images point into this window's lists: no lookups once it is gone.
    TKNScanProvider::SetIconLookup(nullptr);
}

void TKNMainForm::StopAndWait()
{
    if (!FileCompare || FileCompare->State == 0) return;
    FileCompare->StopCompare();
    FileCompare->WaitIdle();
}

void TKNMainForm::BindEngineEvents()
{
    // The window shows only the newest progress, at most 30 times a second: the workers never
    // wait for a repaint.
    FileCompare->ProgressDelivery = vex::TDelivery::Newest;
    FileCompare->OnCompareStart = [this](void*) { FileCompareCompareStart(); };
    FileCompare->OnCompareDone = [this](void*) { FileCompareCompareDone(); };
    FileCompare->OnProgress = [this](void*, uint8_t state, const std::string& path) {
        FileCompareProgress(state, path);
    };
    FileCompare->OnUpdateProgress = [this](void*, const std::string& text, int position) {
        ShowGauge(0, updateSteps_, position, ShownText(text));
    };
    FileCompare->OnFileProgress = [this](void*, const std::string& text, int64_t maximum, int64_t position) {
        ShowBytes(text, maximum, position);
    };
    FileCompare->OnOperation = [this](void*, const TKNOpEvent& event) { progress_.Ended(event); };
    FileCompare->OnError = [this](void*, const std::string& message) { FileCompareError(message); };
    FileCompare->OnUpdateDone = [this](void*) { FileCompareUpdateDone(); };
    TKNScanProvider::SetIconLookup(
        [this](const std::string& text, bool isFolder) { return SysImage.IconIndex(text, isFolder); });
}

void TKNMainForm::CreateFolderPanel()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(2);
    panelFolder = new QWidget(central);
    panelFolder->setObjectName("panelFolder");
    edFolderLeft = new QLineEdit(panelFolder);
    edFolderLeft->setObjectName("edFolderLeft");
    edFolderRight = new QLineEdit(panelFolder);
    edFolderRight->setObjectName("edFolderRight");
    edFolderLeft->setPlaceholderText(tr("Left folder: type it, or browse with F2"));
    edFolderRight->setPlaceholderText(tr("Right folder: type it, or browse with F3"));
    auto makeButton = [this](const char* name, QAction* action, int image) {
        auto* button = new QToolButton(panelFolder);
        button->setObjectName(name);
        button->setAutoRaise(true);
        // Tab reaches every button; a click leaves the focus where it was.
        button->setFocusPolicy(Qt::TabFocus);
        vex::MarkFocusPlainly(button);
        button->setToolTip(action->toolTip());
        button->setStatusTip(action->statusTip());
        if (image >= 0) button->setIcon(MainImage.Icon(image));
        connect(button, &QToolButton::clicked, action, &QAction::trigger);
        return button;
    };
    sbtnFolderLeft = makeButton("sbtnFolderLeft", FindAction("actSelectLeftFolder"), imgLeftFolder);
    cbAction = new QComboBox(panelFolder);
    cbAction->setObjectName("cbAction");
    for (const TActionChoice& choice : kActionChoices) {
        cbAction->addItem(QIcon(QString::fromLatin1(choice.glyph)), tr(choice.caption));
        cbAction->setItemData(cbAction->count() - 1, tr(choice.tooltip), Qt::ToolTipRole);
    }
    cbAction->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(cbAction, &QComboBox::activated, this,
            [this](int index) { SetAction(kActionChoices[std::clamp(index, 0, kActionChoiceCount - 1)].action); });
    sbtnFolderRight = makeButton("sbtnFolderRight", FindAction("actSelectRightFolder"), imgRightFolder);
    // Stop is always in sight: it follows its command's enabled state.
    QAction* stop = FindAction("actCompareStop");
    sbtnStop = makeButton("sbtnStop", stop, -1);
    sbtnStop->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
    sbtnStop->setEnabled(stop->isEnabled());
    connect(stop, &QAction::changed, sbtnStop, [this, stop] { sbtnStop->setEnabled(stop->isEnabled()); });
    for (QLineEdit* edit : {edFolderLeft, edFolderRight}) {
        connect(edit, &QLineEdit::textChanged, this, [this] { RefreshResultState(); });
        // A typed password leaves the field as soon as the user leaves it.
        connect(edit, &QLineEdit::editingFinished, this, [this, edit] {
            std::string location = edit->text().toStdString();
            if (MoveLocationPassword(location, *Config.Secrets)) edit->setText(QString::fromStdString(location));
        });
    }
    panelFolder->setFixedHeight(std::max({21, edFolderLeft->sizeHint().height(), cbAction->sizeHint().height()}));
    panelFolder->installEventFilter(this);
    layout->addWidget(panelFolder);
    setCentralWidget(central);
}

void TKNMainForm::LayoutFolderPanel()
{
    int w = panelFolder->width();
    int h = panelFolder->height();
    const int actionWidth = cbAction->sizeHint().width();
    int x = (w - actionWidth) / 2;
    cbAction->setGeometry(x, 0, actionWidth, h);
    sbtnFolderLeft->setGeometry(x - kButtonWidth, 0, kButtonWidth, h);
    sbtnFolderRight->setGeometry(x + actionWidth, 0, kButtonWidth, h);
    edFolderLeft->setGeometry(0, 0, std::max(0, x - kButtonWidth - 1), h);
    const int rightStart = x + actionWidth + kButtonWidth + 1;
    edFolderRight->setGeometry(rightStart, 0, std::max(0, w - rightStart - kButtonWidth), h);
    sbtnStop->setGeometry(w - kButtonWidth, 0, kButtonWidth, h);
}

void TKNMainForm::AddFolderCompletion(QLineEdit* edit)
{
    auto* folders = new QFileSystemModel(edit);
    folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    folders->setRootPath(QString());
    auto* completer = new QCompleter(folders, edit);
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setCaseSensitivity(Qt::CaseSensitive);
    edit->setCompleter(completer);
    completer->popup()->setIconSize(QSize(16, 16));
    // Tab takes the proposal under the cursor, or the first one.
    completer->popup()->installEventFilter(this);
    completer->popup()->setProperty("knEdit", QVariant::fromValue(static_cast<QObject*>(edit)));
}

void TKNMainForm::CreateStatusBar()
{
    // The first panel grows with its text ("Found 50,000 folder(s) and file(s).").
    vex::TvexStatusPanel* panel0 = StatusBar->AddPanel(202, Qt::AlignLeft);
    panel0->SetFitsText(true);
    // The details (an update's Done line with its backup folder) wrap rather than be cut.
    StatusBar->AddPanel(0)->SetWraps(true);
    StatusBar->AddPanel(100, Qt::AlignCenter);  // "Expert mode"
    Gauge = new QProgressBar;
    Gauge->setObjectName("Gauge");
    Gauge->setTextVisible(false);
    Gauge->resize(kGaugeWidth, 15);
    panel0->SetControl(Gauge);
    Gauge->hide();
}

void TKNMainForm::RestorePlacement()
{
    const TKNConfigHeader& header = Config.Header;
    QRect saved(header.WindowLeft, header.WindowTop, header.WindowWidth, header.WindowHeight);
    // A window too small to use starts over; one larger than the screen, or on a screen that
    // is gone, is brought back whole, frame included.
    if (saved.width() < 200 || saved.height() < 150) saved = vex::FirstPlacement(vex::AvailableArea(nullptr));
    vex::PlaceOnScreen(this, saved);
}

void TKNMainForm::SavePlacement()
{
    TKNConfigHeader& header = Config.Header;
    header.WindowMaximized = isMaximized() ? 1 : 0;
    if (!isMaximized()) {
        header.WindowLeft = pos().x();
        header.WindowTop = pos().y();
        header.WindowWidth = width();
        header.WindowHeight = height();
    }
    StoreFolders();
    if (!Config.WriteHeader(ExpertMode))
        qWarning("The configuration could not be saved: %s", Config.ConfigFile.ErrorText().c_str());
}

void TKNMainForm::changeEvent(QEvent* event)
{
    // The saved maximised state is taken once, when the window first becomes active.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !placementApplied_) {
        placementApplied_ = true;
        if (Config.Header.WindowMaximized) showMaximized();
    }
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) && lblOutOfDate)
        for (QLabel* notice : {lblOutOfDate, lblTwoWay}) StyleNotice(notice);
    vex::TvexSDIMainForm::changeEvent(event);
}

void TKNMainForm::closeEvent(QCloseEvent* event)
{
    // A run stopped by closing reports nothing more: no boxes, no failures window.
    closing_ = true;
    StopAndWait();
    event->accept();
}

bool TKNMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == panelFolder && event->type() == QEvent::Resize) LayoutFolderPanel();
    if (ListViewFiles && watched == ListViewFiles->viewport() && event->type() == QEvent::Resize) ResizeColumns();
    if (ListViewFiles && watched == ListViewFiles && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ShowDifferencesOfRow(ListViewFiles->currentIndex().row());
            return true;
        }
    }
    // The list shows where the keyboard is: a current row from the moment it takes the focus.
    if (ListViewFiles && watched == ListViewFiles && event->type() == QEvent::FocusIn &&
        !ListViewFiles->currentIndex().isValid() && model_->rowCount() > 0)
        ListViewFiles->selectionModel()->setCurrentIndex(model_->index(0, 0), QItemSelectionModel::NoUpdate);
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Tab) {
        auto* edit = qobject_cast<QLineEdit*>(watched->property("knEdit").value<QObject*>());
        if (edit && edit->completer()) {
            AcceptCompletion(edit);
            return true;
        }
    }
    return vex::TvexSDIMainForm::eventFilter(watched, event);
}

void TKNMainForm::SetBusy()
{
    if (!Busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    Busy = true;
    FindAction("actCompareStop")->setEnabled(true);
}

void TKNMainForm::ClearBusy()
{
    if (Busy) QApplication::restoreOverrideCursor();
    Busy = false;
    FindAction("actCompareStop")->setEnabled(false);
}

void TKNMainForm::UpdateCaption()
{
    setWindowTitle(PresetName.isEmpty() ? BaseCaption : BaseCaption + " - [" + PresetName + "]");
}

void TKNMainForm::StoreFolders()
{
    TKNOptionsRec& options = Config.Header.CurrentOptions;
    vex::SetField(options.LeftFolder, edFolderLeft->text().toStdString());
    vex::SetField(options.RightFolder, edFolderRight->text().toStdString());
    options.Action = action_;
    // A password typed into a field goes to the secret store; the field keeps user@host.
    if (MoveFolderPasswords(options, *Config.Secrets)) {
        edFolderLeft->setText(FromField(options.LeftFolder));
        edFolderRight->setText(FromField(options.RightFolder));
    }
}

void TKNMainForm::SetAction(TKNAction action)
{
    action_ = kActionChoices[ChoiceOf(action)].action;
    cbAction->setCurrentIndex(ChoiceOf(action_));
    cbAction->setToolTip(tr(kActionChoices[ChoiceOf(action_)].tooltip) + tr(" F4 picks the next direction."));
    Config.Header.CurrentOptions.Action = action_;
    // The plan marks follow the action button (a running update keeps showing its own).
    if (FileCompare->State == 0) model_->SetPlan(action_, false);
    // A result compared without a two-way run has no two-way plan, and the legend follows.
    RefreshResultState();
    ShowTwoWayPlan();
}

TKNAction TKNMainForm::NextAction(TKNAction action)
{
    return kActionChoices[(ChoiceOf(action) + 1) % kActionChoiceCount].action;
}

void TKNMainForm::ShowStatus(const QString& text, const QString& detail)
{
    Gauge->hide();
    if (!text.isEmpty()) StatusBar->Panel(0)->SetText(text);
    StatusBar->Panel(1)->SetText(detail);
    // A panel too narrow for its text shows it whole in its tooltip.
    StatusBar->Panel(0)->setToolTip(StatusBar->Panel(0)->Text());
    StatusBar->Panel(1)->setToolTip(detail);
}

void TKNMainForm::ShowGauge(int phase, int64_t maximum, int64_t position, const QString& text)
{
    StatusBar->Panel(0)->SetText(QString());
    QPalette palette = Gauge->palette();
    palette.setColor(QPalette::Highlight,
                     phase == 0 ? QApplication::palette().color(QPalette::Highlight) : kFileGaugeColour);
    Gauge->setPalette(palette);
    // The gauge counts in int: byte counts of large files are scaled down to fit.
    int shift = 0;
    while ((maximum >> shift) > INT32_MAX) ++shift;
    Gauge->setMaximum(static_cast<int>(maximum >> shift));
    Gauge->setValue(static_cast<int>(std::clamp<int64_t>(position >> shift, 0, maximum >> shift)));
    Gauge->show();
    StatusBar->Panel(1)->SetText(text);
    StatusBar->Panel(1)->setToolTip(text);
}

void TKNMainForm::ShowBytes(const std::string& name, int64_t total, int64_t done)
{
    // Nothing in work (the transfers ended): the gauge keeps the last one until the next.
    if (total <= 0) return;
    progress_.InWork(ShownText(name).toStdString(), total, done);
    ShowGauge(1, total, done, QString::fromStdString(progress_.Text()));
}

void TKNMainForm::ShowHint(const QString& hint)
{
    ShowStatus(QString(), hint);
}

TKNOptionsRec TKNMainForm::EngineOptions(const TKNOptionsRec& options)
{
    TKNOptionsRec bare = options;
    MoveFolderPasswords(bare, *Config.Secrets);
    for (const std::string& folder : {vex::GetField(bare.LeftFolder), vex::GetField(bare.RightFolder)}) {
        const std::string key = SecretKeyOf(folder);
        if (!key.empty() && AsksForPassword(folder) && !Config.Secrets->Read(key)) AskServerPassword(folder);
    }
    return WithStoredPasswords(bare, *Config.Secrets);
}

void TKNMainForm::AskServerPassword(const std::string& location)
{
    QString prompt = tr("The password for %1:").arg(ShownText(location));
    if (!Config.Secrets->Persistent())
        prompt +=
            tr("\n\nNo secret store is available on this desktop: the password is kept only "
               "until Kestrune ends, and asked for again at the next start.");
    QString password;
    // Kept as a location carries it, so that "/", "@" or "%" in it reach the server unchanged.
    if (vex::PasswordBox(this, tr("Server Password"), prompt, password, 255) && !password.isEmpty())
        Config.Secrets->Write(SecretKeyOf(location), vex::PercentEncoded(password.toStdString()));
}

void TKNMainForm::ApplyOptions(const TKNOptionsRec& options)
{
    comparedOptions_ = options;
    FileCompare->ApplyOptions(EngineOptions(options));
    SetAction(options.Action);
    edFolderLeft->setText(ShownText(vex::GetField(options.LeftFolder)));
    edFolderRight->setText(ShownText(vex::GetField(options.RightFolder)));
    // The engine's folders now are the fields' texts: what the next result belongs to.
    comparedLeft_ = edFolderLeft->text();
    comparedRight_ = edFolderRight->text();
    compared_ = true;
    RefreshResultState();
}

void TKNMainForm::FileCompareCompareStart()
{
    // Only the update's own follow-up comparison carries its Done line on; it lists again only
    // the folders the update touched, so a file saved meanwhile elsewhere stays unknown to it.
    if (!awaitingFollowUp_) {
        updateDone_.clear();
        savedSinceCompare_ = false;
    }
    lastSearched_.clear();
    awaitingFollowUp_ = false;
    runInUse_ = true;
    // A completion list left open would take the next click, and the window is busy now.
    for (QLineEdit* edit : {edFolderLeft, edFolderRight})
        if (edit->completer()) edit->completer()->popup()->hide();
    lblTwoWay->hide();
    model_->SetItemCount(0);
    sorter_.Forget();
    SetUpdateCommands(false);
    FindAction("actCompareShowDifferences")->setEnabled(false);
    QCoreApplication::processEvents();
}

void TKNMainForm::FileCompareCompareDone()
{
    SortRows();
    runInUse_ = false;
    run_->Unlock();  // an update's lock lasts to the end of the comparison after it
    int count = static_cast<int>(FileCompare->Items.size());
    model_->SetItemCount(count);
    model_->TwoWayPlanChanged();
    ShowTwoWayPlan();
    // A two-way plan may hold no rows and still record the pairs found equal.
    const bool planned = FileCompare->TwoWay && FileCompare->TwoWay->Ready();
    SetUpdateCommands(FileCompare->ErrorText.empty() && FileCompare->Stop == 0 &&
                      (count > 0 || !FileCompare->TimeOnlyItems.empty() || planned));
    // Folders that could not be read hold rows no update touches: say how many, and the first.
    QString unread;
    if (const std::size_t unlisted = FileCompare->UnlistedCount(); unlisted > 0)
        unread = QString::asprintf("Could not read %zu folder(s), left alone: ", unlisted) +
                 ShownText(FileCompare->UnlistedFolders().front().Path);
    if (const std::vector<TKNUnlistedFolder> links = FileCompare->LinksLeftOut(); !links.empty()) {
        const QString note = QString::asprintf("Left out %zu symbolic link(s): ", links.size()) +
                             ShownText(links.front().Path) + " (" + ShownText(links.front().Reason) + ")";
        unread = unread.isEmpty() ? note : unread + "  " + note;
    }
    // Content-equal pairs with other times are no rows, yet an update acts on them: say so.
    if (const std::size_t timesOnly = FileCompare->TimeOnlyItems.size(); timesOnly > 0) {
        const QString note =
            QString::asprintf("%zu file(s) with equal contents have other times; an update sets them.", timesOnly);
        unread = unread.isEmpty() ? note : note + "  " + unread;
    }
    // An update's Done line stays in view; the count of its follow-up comparison joins it.
    if (!updateDone_.isEmpty()) unread = unread.isEmpty() ? updateDone_ : updateDone_ + "  " + unread;
    ShowStatus(QStringLiteral("Found %1 folder(s) and file(s).").arg(QLocale().toString(count)), unread);
    // A stopped or failed comparison has no result: "Found 0" would read as two equal trees.
    if (FileCompare->Stop != 0) ShowStatus(tr("Stopped."), StoppedText());
    if (!FileCompare->ErrorText.empty())
        ShowStatus(tr("The comparison failed."), ShownText(FileCompare->ErrorText).replace('\n', ' '));
    if (!HoldBusy) ClearBusy();
    Gauge->setValue(0);
    // A side that could not be scanned gives no rows rather than a misleading list; say why.
    if (FileCompare->ErrorText.empty()) return;
    // A server not trusted yet (an SSH host key, a TLS certificate) is the one failure the user
    // can mend here: once it is recorded, the comparison runs again (after this event, when the
    // engine is idle).
    if (FileCompare->ErrorKind == TKNSideError::Untrusted &&
        OfferToTrustServers(this, {FileCompare->LeftList.Folder, FileCompare->RightList.Folder})) {
        QTimer::singleShot(0, this, [this] { actCompareCompareExecute(); });
        return;
    }
    vex::ErrorBox(this, "The comparison failed.\n" + ShownText(FileCompare->ErrorText));
}

QString TKNMainForm::StoppedText() const
{
    const int64_t listed = FileCompare->LeftEntries + FileCompare->RightEntries;
    if (listed > 0)
        return tr("No result: stopped after listing %1, before they were compared.")
            .arg(listed == 1 ? tr("1 entry")
                             : tr("%1 entries").arg(QLocale().toString(static_cast<qlonglong>(listed))));
    if (!lastSearched_.isEmpty()) return tr("No result: stopped while listing \"%1\".").arg(lastSearched_);
    return tr("No result: stopped before anything was listed.");
}

void TKNMainForm::FileCompareProgress(uint8_t state, const std::string& path)
{
    if (state == 1 && !path.empty()) lastSearched_ = ShownText(path);
    switch (state) {
        case 0:
            ShowStatus(QString(), updateDone_);
            break;
        case 1:
            ShowStatus("Searching...", ShownText(path));
            break;
        case 2:
            ShowStatus("Sorting...", QString());
            break;
        case 3:
            ShowStatus("Comparing...", QString());
            break;
        case 5: {
            // "Comparing contents... 1.2 GB of 4.8 GB", or why a pair could not be compared.
            const QString caption = "Comparing contents...", text = ShownText(path);
            ShowStatus(caption, text.startsWith(caption) ? text.mid(caption.size()).trimmed() : text);
            break;
        }
        default:
            break;
    }
}

}  // namespace kn
