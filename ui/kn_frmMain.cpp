#include "ui/kn_frmMain.h"

#include <QAbstractProxyModel>
#include <QApplication>
#include <QCloseEvent>
#include <QCompleter>
#include <QFileSystemModel>
#include <QHeaderView>
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

#include "engine/kn_unitServerTrust.h"
#include "framework/qt/vex_frmHelp.h"
#include "framework/qt/vex_unitDialogs.h"
#include "framework/qt/vex_unitPlacement.h"
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

const char* const kActionGlyphs[3] = {":/KNBMLEFTTORIGHT", ":/KNBMRIGHTTOLEFT", ":/KNBMAUTO"};

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
    InstallSftpPrompts(this);
    LoadMainImages(MainImage);
    setWindowTitle(vex::ApplicationTitle());
    BaseCaption = windowTitle();
    setWindowIcon(QIcon(QStringLiteral(":/images/kestrune@2x.png")));

    FileCompare = std::make_unique<TKNFileCompare>();
    BindEngineEvents();
    CreateActions();
    CreateFolderPanel();
    CreateListView();
    CreateStatusBar();
    CreateMenus();
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
    if (started_) InstallSftpPrompts(nullptr);
    if (started_) SavePlacement();
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
        ShowGauge(0, static_cast<int64_t>(Selection.size()), position, ShownText(text));
    };
    FileCompare->OnFileProgress = [this](void*, const std::string& text, int64_t maximum, int64_t position) {
        ShowGauge(1, maximum, position, ShownText(text));
    };
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
    auto makeButton = [this](const char* name, QAction* action, int image) {
        auto* button = new QToolButton(panelFolder);
        button->setObjectName(name);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolTip(action->toolTip());
        button->setStatusTip(action->statusTip());
        if (image >= 0) button->setIcon(MainImage.Icon(image));
        connect(button, &QToolButton::clicked, action, &QAction::trigger);
        return button;
    };
    sbtnFolderLeft = makeButton("sbtnFolderLeft", FindAction("actSelectLeftFolder"), imgLeftFolder);
    sbtnAction = makeButton("sbtnAction", FindAction("actCompareAction"), -1);
    sbtnFolderRight = makeButton("sbtnFolderRight", FindAction("actSelectRightFolder"), imgRightFolder);
    // Stop is always in sight: it follows its command's enabled state.
    QAction* stop = FindAction("actCompareStop");
    sbtnStop = makeButton("sbtnStop", stop, -1);
    sbtnStop->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
    sbtnStop->setEnabled(stop->isEnabled());
    connect(stop, &QAction::changed, sbtnStop, [this, stop] { sbtnStop->setEnabled(stop->isEnabled()); });
    panelFolder->setFixedHeight(std::max(21, edFolderLeft->sizeHint().height()));
    panelFolder->installEventFilter(this);
    layout->addWidget(panelFolder);
    setCentralWidget(central);
}

void TKNMainForm::LayoutFolderPanel()
{
    int w = panelFolder->width();
    int h = panelFolder->height();
    int x = (w - kButtonWidth) / 2;
    sbtnAction->setGeometry(x, 0, kButtonWidth, h);
    sbtnFolderLeft->setGeometry(x - kButtonWidth, 0, kButtonWidth, h);
    sbtnFolderRight->setGeometry(x + kButtonWidth, 0, kButtonWidth, h);
    edFolderLeft->setGeometry(0, 0, std::max(0, x - 25), h);
    edFolderRight->setGeometry(x + 49, 0, std::max(0, w - x - 49 - kButtonWidth), h);
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
    StatusBar->AddPanel(0);
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
}

void TKNMainForm::SetAction(TKNAction action)
{
    action_ = ActionOf(static_cast<int>(action));
    sbtnAction->setIcon(QIcon(QString::fromLatin1(kActionGlyphs[ActionIndex(action_)])));
    Config.Header.CurrentOptions.Action = action_;
    // The plan marks follow the action button (a running update keeps showing its own).
    if (FileCompare->State == 0) model_->SetPlan(action_, false);
}

void TKNMainForm::ShowStatus(const QString& text, const QString& detail)
{
    Gauge->hide();
    if (!text.isEmpty()) StatusBar->Panel(0)->SetText(text);
    StatusBar->Panel(1)->SetText(detail);
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
}

void TKNMainForm::ShowHint(const QString& hint)
{
    ShowStatus(QString(), hint);
}

void TKNMainForm::ApplyOptions(const TKNOptionsRec& options)
{
    FileCompare->ApplyOptions(options);
    SetAction(options.Action);
    edFolderLeft->setText(FromField(options.LeftFolder));
    edFolderRight->setText(FromField(options.RightFolder));
}

void TKNMainForm::FileCompareCompareStart()
{
    // Only the update's own follow-up comparison carries its Done line on.
    if (!awaitingFollowUp_) updateDone_.clear();
    awaitingFollowUp_ = false;
    model_->SetItemCount(0);
    sorter_.Forget();
    FindAction("actCompareShowDifferences")->setEnabled(false);
    QCoreApplication::processEvents();
}

void TKNMainForm::FileCompareCompareDone()
{
    SortRows();
    int count = static_cast<int>(FileCompare->Items.size());
    model_->SetItemCount(count);
    SetUpdateCommands(count > 0 || !FileCompare->TimeOnlyItems.empty());
    // Folders that could not be read hold rows no update touches: say how many, and the first.
    QString unread;
    if (const std::size_t unlisted = FileCompare->UnlistedCount(); unlisted > 0)
        unread = QString::asprintf("Could not read %zu folder(s), left alone: ", unlisted) +
                 ShownText(FileCompare->UnlistedFolders().front().Path);
    // Content-equal pairs with other times are no rows, yet an update acts on them: say so.
    if (const std::size_t timesOnly = FileCompare->TimeOnlyItems.size(); timesOnly > 0) {
        const QString note =
            QString::asprintf("%zu file(s) with equal contents have other times; an update sets them.", timesOnly);
        unread = unread.isEmpty() ? note : note + "  " + unread;
    }
    // An update's Done line stays in view; the count of its follow-up comparison joins it.
    if (!updateDone_.isEmpty()) unread = unread.isEmpty() ? updateDone_ : updateDone_ + "  " + unread;
    ShowStatus(QStringLiteral("Found %1 folder(s) and file(s).").arg(QLocale().toString(count)), unread);
    if (!HoldBusy) ClearBusy();
    Gauge->setValue(0);
    // A side that could not be scanned gives no rows rather than a misleading list; say why.
    if (FileCompare->ErrorText.empty()) return;
    // A server not trusted yet (SFTP host key, FTPS certificate) is the one failure the user can
    // mend here: once it is recorded, the comparison runs again (after this event, when the
    // engine is idle).
    if (IsUntrustedServerMessage(FileCompare->ErrorText) &&
        OfferToTrustServers(this, {FileCompare->LeftList.Folder, FileCompare->RightList.Folder})) {
        QTimer::singleShot(0, this, [this] { actCompareCompareExecute(); });
        return;
    }
    vex::ErrorBox(this, "The comparison failed.\n" + ShownText(FileCompare->ErrorText));
}

void TKNMainForm::FileCompareProgress(uint8_t state, const std::string& path)
{
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
