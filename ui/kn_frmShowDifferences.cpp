// The differences window: its parts, loading both files with their encodings, the settings of
// what is ignored, the title and closing.
#include "ui/kn_frmShowDifferences.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLocale>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QToolBar>
#include <QVBoxLayout>

#include "config/kn_unitConfigRecords.h"
#include "framework/qt/vex_unitDialogs.h"
#include "framework/qt/vex_unitPlacement.h"
#include "framework/qt/vex_unitStatusBar.h"
#include "framework/vex_unitText.h"
#include "ui/kn_frmShowDifferencesPrivate.h"
#include "ui/kn_unitShownText.h"
#include "ui/kn_unitSideWork.h"

namespace kn {

namespace {

// A filled arrow in the program's blue, drawn at 24 and 48 pixels: the theme's symbolic
// arrows are grey and look disabled beside coloured icons.
QIcon ArrowIcon(bool down)
{
    QIcon icon;
    for (int size : {24, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 24.0, size / 24.0);
        const QPolygonF arrow({{12, 21}, {21, 11}, {15.5, 11}, {15.5, 3}, {8.5, 3}, {8.5, 11}, {3, 11}});
        QTransform flip;
        if (!down) flip = QTransform(1, 0, 0, -1, 0, 24);
        painter.setBrush(QColor(0x2f, 0x6f, 0xd0));
        painter.setPen(QPen(QColor(0x1d, 0x4a, 0x91), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolygon(flip.map(arrow));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QLabel* MakeCaption(QWidget* parent)
{
    auto* caption = new QLabel(parent);
    caption->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    caption->setTextInteractionFlags(Qt::TextSelectableByMouse);
    caption->setMinimumWidth(40);
    caption->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return caption;
}

// The letters and texts of the ignore tools, in the order diff lists them.
struct TIgnoreTool {
    const char* Text;
    const char* Hint;
    bool TIgnoreOptions::*Field;
};
constexpr TIgnoreTool IgnoreTools[] = {
    {"-b", "Ignore changes in the amount of white space.", &TIgnoreOptions::SpaceChange},
    {"-w", "Ignore all white space.", &TIgnoreOptions::AllSpace},
    {"-i", "Ignore case.", &TIgnoreOptions::Case},
    {"-B", "Ignore changes whose lines are all empty.", &TIgnoreOptions::BlankLines},
    {"CR", "Ignore carriage returns at line ends.", &TIgnoreOptions::TrailingCR},
};

}  // namespace

void TPaintBox::mousePressEvent(QMouseEvent* event)
{
    if (OnMouse && event->button() == Qt::LeftButton) OnMouse(event->position().toPoint());
}
void TPaintBox::mouseMoveEvent(QMouseEvent* event)
{
    if (OnMouse && (event->buttons() & Qt::LeftButton)) OnMouse(event->position().toPoint());
}

void TDiffSide::Split()
{
    Lines = SplitTextLineViews(Content);
    Compared = LinesWithBreaks(Content, Lines);
}

TDiffWindowSettings ReadDiffWindowSettings(const TKNConfigHeader& header)
{
    TDiffWindowSettings settings;
    const uint8_t bits = header.DiffSettings;
    settings.Ignore.SpaceChange = bits & kDiffIgnoreSpaceChange;
    settings.Ignore.AllSpace = bits & kDiffIgnoreAllSpace;
    settings.Ignore.Case = bits & kDiffIgnoreCase;
    settings.Ignore.BlankLines = bits & kDiffIgnoreBlankLines;
    settings.Ignore.TrailingCR = bits & kDiffIgnoreTrailingCR;
    settings.ShowWhitespace = bits & kDiffShowWhitespace;
    const std::string pattern = vex::GetField(header.DiffIgnorePattern);
    if ((bits & kDiffIgnorePatternOn) && !pattern.empty()) settings.Ignore.Patterns = {pattern};
    return settings;
}

void WriteDiffWindowSettings(const TDiffWindowSettings& settings, TKNConfigHeader& header)
{
    const TIgnoreOptions& o = settings.Ignore;
    header.DiffSettings = static_cast<uint8_t>(
        (o.SpaceChange ? kDiffIgnoreSpaceChange : 0) | (o.AllSpace ? kDiffIgnoreAllSpace : 0) |
        (o.Case ? kDiffIgnoreCase : 0) | (o.BlankLines ? kDiffIgnoreBlankLines : 0) |
        (o.TrailingCR ? kDiffIgnoreTrailingCR : 0) | (settings.ShowWhitespace ? kDiffShowWhitespace : 0) |
        (o.Patterns.empty() ? 0 : kDiffIgnorePatternOn));
    vex::SetField(header.DiffIgnorePattern, o.Patterns.empty() ? std::string() : o.Patterns.front());
}

TKNShowDifferencesForm::TKNShowDifferencesForm(QWidget* parent) : QDialog(parent), d(std::make_unique<Impl>())
{
    d->q = this;
    setWindowTitle(QStringLiteral("Differences"));
    setWindowFlags(Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(d->BuildToolBar());
    auto* middle = new QHBoxLayout;
    middle->setSpacing(0);
    middle->addWidget(d->BuildHalves(), 1);
    middle->addWidget(d->BuildDisplay());
    layout->addLayout(middle, 1);
    layout->addWidget(d->BuildStatusBar());
    d->CommitTimer.setSingleShot(true);
    d->CommitTimer.setInterval(600);
    connect(&d->CommitTimer, &QTimer::timeout, this, &TKNShowDifferencesForm::CommitEdits);

    SetWindowSize(QSize());
    d->HalveSplit();
    d->Left.View->setFocus();  // the keys work at once, not in the first box of the tool bar
}

QToolBar* TKNShowDifferencesForm::Impl::BuildToolBar()
{
    ToolBar = new QToolBar(q);
    ToolBar->setIconSize(QSize(24, 24));
    auto addTool = [this](const QIcon& icon, const QString& hint, const QString& longHint, const QKeySequence& key,
                          auto slot) {
        QAction* action = ToolBar->addAction(icon, hint);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        const QString keyText = key.toString(QKeySequence::NativeText);
        action->setToolTip(keyText.isEmpty() ? hint : QStringLiteral("%1 (%2)").arg(hint, keyText));
        action->setStatusTip(longHint);
        QObject::connect(action, &QAction::triggered, q, slot);
        return action;
    };
    auto theme = [](const char* name) { return QIcon::fromTheme(QString::fromLatin1(name)); };
    tbRotate = addTool(theme("object-rotate-right"), "Rotate", "Rotate the view of files.", QKeySequence(),
                       [this] { q->tbRotateClick(); });
    tbNext = addTool(ArrowIcon(true), "Next Difference", "Show the next difference.",
                     QKeySequence(Qt::ALT | Qt::Key_Down), [this] { q->tbNextClick(); });
    tbPrev = addTool(ArrowIcon(false), "Previous Difference", "Show the previous difference.",
                     QKeySequence(Qt::ALT | Qt::Key_Up), [this] { q->tbPrevClick(); });
    ToolBar->addSeparator();
    addTool(theme("go-next"), "Copy to Right", "Copy the current change from the left side to the right side.",
            QKeySequence(Qt::ALT | Qt::Key_Right), [this] { q->CopyChange(true); });
    addTool(theme("go-previous"), "Copy to Left", "Copy the current change from the right side to the left side.",
            QKeySequence(Qt::ALT | Qt::Key_Left), [this] { q->CopyChange(false); });
    addTool(theme("edit-undo"), "Undo", "Undo the last change.", QKeySequence(Qt::CTRL | Qt::Key_Z),
            [this] { q->Undo(); });
    QAction* redo = addTool(theme("edit-redo"), "Redo", "Redo the change undone last.",
                            QKeySequence(Qt::CTRL | Qt::Key_Y), [this] { q->Redo(); });
    redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    tbSave = addTool(theme("document-save"), "Save", "Save the changed files.", QKeySequence(Qt::CTRL | Qt::Key_S),
                     [this] { q->SaveChanges(); });
    ToolBar->addSeparator();
    BuildIgnoreTools();
    ToolBar->addSeparator();
    FindEdit = new QLineEdit(ToolBar);
    FindEdit->setPlaceholderText(QStringLiteral("Find (Ctrl+F, F3)"));
    FindEdit->setMaximumWidth(180);
    ToolBar->addWidget(FindEdit);
    QObject::connect(FindEdit, &QLineEdit::returnPressed, q, [this] { q->Find(FindEdit->text()); });
    auto shortcut = [this](const QKeySequence& key, auto slot) {
        auto* action = new QAction(q);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        QObject::connect(action, &QAction::triggered, q, slot);
        q->addAction(action);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_F), [this] {
        FindEdit->setFocus();
        FindEdit->selectAll();
    });
    shortcut(QKeySequence(Qt::Key_F3), [this] { q->Find(FindEdit->text(), true); });
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { q->Find(FindEdit->text(), false); });
    btnExit =
        addTool(theme("window-close"), "Close", "Close this window.", QKeySequence(), [this] { q->btnExitClick(); });
    return ToolBar;
}

// Checkable letters for what is ignored, an expression for -I and the whitespace signs.
void TKNShowDifferencesForm::Impl::BuildIgnoreTools()
{
    for (const TIgnoreTool& tool : IgnoreTools) {
        QAction* action = ToolBar->addAction(QString::fromLatin1(tool.Text));
        action->setCheckable(true);
        action->setToolTip(QString::fromLatin1(tool.Hint));
        action->setStatusTip(QString::fromLatin1(tool.Hint));
        QObject::connect(action, &QAction::toggled, q, [this] { SettingsChanged(); });
        IgnoreActions.emplace_back(action, tool.Field);
    }
    PatternEdit = new QLineEdit(ToolBar);
    PatternEdit->setPlaceholderText(QStringLiteral("-I expression"));
    PatternEdit->setToolTip(QStringLiteral("Ignore changes whose lines all match this regular expression."));
    PatternEdit->setMaximumWidth(140);
    PatternEdit->setMaxLength(30);
    ToolBar->addWidget(PatternEdit);
    QObject::connect(PatternEdit, &QLineEdit::editingFinished, q, [this] { SettingsChanged(); });
    tbWhitespace = ToolBar->addAction(QString(QChar(0x00B6)));
    tbWhitespace->setCheckable(true);
    tbWhitespace->setToolTip(QStringLiteral("Show whitespace: tabs, blanks at line ends and line ends."));
    tbWhitespace->setStatusTip(tbWhitespace->toolTip());
    QObject::connect(tbWhitespace, &QAction::toggled, q, [this](bool on) {
        Settings.ShowWhitespace = on;
        Left.View->SetShowWhitespace(on);
        Right.View->SetShowWhitespace(on);
    });
}

// Two halves, each a header above a view numbered by file line.
QSplitter* TKNShowDifferencesForm::Impl::BuildHalves()
{
    pnlMain = new QSplitter(Qt::Horizontal, q);
    pnlMain->setChildrenCollapsible(false);
    for (TDiffSide* side : {&Left, &Right}) {
        auto* half = new QWidget(pnlMain);
        auto* halfLayout = new QVBoxLayout(half);
        halfLayout->setContentsMargins(0, 0, 0, 0);
        halfLayout->setSpacing(0);
        auto* view = new TCodeEdit(half);
        side->View = view;
        view->SetReadOnly(true);
        // Both always keep their horizontal bars, so their rows stay level at either end.
        view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        view->SetOnPaintLeftMargin([this](TCodeEdit* sender, QPainter& canvas, const QRect& rec, int line, int tag) {
            PaintGutter(sender, canvas, rec, line, tag);
        });
        view->SetOnGutterClick([this](TCodeEdit* sender, int line) {
            const int block = BlockAt(line);
            if (block < 0 || Blocks[static_cast<size_t>(block)].first != line) return;
            sender->MoveCaretTo(0, line);
            q->CopyChange(sender == Left.View);
        });
        view->SetOnScroll([this](TCodeEdit* sender) { ViewScrolled(sender); });
        view->Lines().SetOnChange([this] { ViewEdited(); });
        halfLayout->addWidget(BuildHeader(*side, half));
        halfLayout->addWidget(view, 1);
        pnlMain->addWidget(half);
    }
    QObject::connect(qApp, &QApplication::focusChanged, q, [this](QWidget*, QWidget* now) {
        if (now == Left.View || now == Right.View) LastFocused = static_cast<TCodeEdit*>(now);
    });
    return pnlMain;
}

// The side's name, then its encoding (a choice) and line ends.
QWidget* TKNShowDifferencesForm::Impl::BuildHeader(TDiffSide& side, QWidget* parent)
{
    auto* header = new QWidget(parent);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    side.Caption = MakeCaption(header);
    side.Format_ = new QLabel(header);
    side.Encoding = new QComboBox(header);
    side.Encoding->setToolTip(QStringLiteral("The encoding the file is read in"));
    for (TTextEncoding encoding : ChoosableEncodings())
        side.Encoding->addItem(QString::fromStdString(EncodingName(encoding)), static_cast<int>(encoding));
    const bool isLeft = &side == &Left;
    QObject::connect(side.Encoding, &QComboBox::activated, q, [this, isLeft, &side](int index) {
        const auto encoding = static_cast<TTextEncoding>(side.Encoding->itemData(index).toInt());
        if (!q->SetSideEncoding(isLeft, encoding)) ShowSideHeader(side);
    });
    row->addWidget(side.Caption, 1);
    row->addWidget(side.Encoding);
    row->addWidget(side.Format_);
    return header;
}

QFrame* TKNShowDifferencesForm::Impl::BuildDisplay()
{
    auto* pnlDisplay = new QFrame(q);
    pnlDisplay->setFrameStyle(QFrame::Panel | QFrame::Raised);
    pnlDisplay->setFixedWidth(19);
    auto* strips = new QHBoxLayout(pnlDisplay);
    strips->setContentsMargins(1, 1, 1, 1);
    strips->setSpacing(0);
    pbDiffMarker = new TPaintBox(pnlDisplay);
    pbDiffMarker->OnPaint = [this](QPainter& p) { PaintOverview(p); };
    pbDiffMarker->setCursor(Qt::PointingHandCursor);
    pbDiffMarker->OnMouse = [this](QPoint point) {
        q->ShowOverviewPoint(point.y() * 10000 / std::max(1, pbDiffMarker->height()));
    };
    strips->addWidget(pbDiffMarker, 1);
    return pnlDisplay;
}

vex::TvexStatusBar* TKNShowDifferencesForm::Impl::BuildStatusBar()
{
    StatusBar = new vex::TvexStatusBar(q);
    for (const char* text : {"A", "M", "D"}) {
        vex::TvexStatusPanel* panel = StatusBar->AddPanel(18, Qt::AlignCenter);
        panel->SetText(QString::fromLatin1(text));
        panel->setAutoFillBackground(true);
    }
    StatusBar->AddPanel(0);  // the summary takes the rest of the bar
    Recolour();
    return StatusBar;
}

// The state goes before the child widgets: nothing they report may reach it afterwards.
TKNShowDifferencesForm::~TKNShowDifferencesForm()
{
    d->StopComparison();
    disconnect(qApp, nullptr, this, nullptr);
    for (TCodeEdit* view : {d->Left.View, d->Right.View}) {
        view->SetOnScroll(nullptr);
        view->Lines().SetOnChange(nullptr);
    }
}

TCodeEdit* TKNShowDifferencesForm::LeftView() const
{
    return d->Left.View;
}
TCodeEdit* TKNShowDifferencesForm::RightView() const
{
    return d->Right.View;
}
vex::TvexStatusBar* TKNShowDifferencesForm::StatusBar() const
{
    return d->StatusBar;
}
QString TKNShowDifferencesForm::Summary() const
{
    return d->SummaryText;
}
bool TKNShowDifferencesForm::Comparing() const
{
    return d->Comparing;
}
QString TKNShowDifferencesForm::StatusLine() const
{
    return d->StatusBar->Panel(3)->Text();
}
QString TKNShowDifferencesForm::SideHeader(bool left) const
{
    const TDiffSide& side = left ? d->Left : d->Right;
    return side.Caption->text() + QStringLiteral(" | ") + side.Encoding->currentText() + QStringLiteral(" | ") +
           side.Format_->text();
}
const QImage& TKNShowDifferencesForm::MarkerBitmap() const
{
    return d->MarkerBitmap;
}
bool TKNShowDifferencesForm::SideBySide() const
{
    return d->pnlMain->orientation() == Qt::Horizontal;
}
TDiffWindowSettings TKNShowDifferencesForm::Settings() const
{
    return d->Settings;
}
void TKNShowDifferencesForm::SetOnClosed(std::function<void(QSize, const TDiffWindowSettings&)> handler)
{
    d->OnClosed = std::move(handler);
}

void TKNShowDifferencesForm::SetSettings(const TDiffWindowSettings& settings)
{
    const QSignalBlocker blockPattern(d->PatternEdit);
    d->PatternEdit->setText(
        settings.Ignore.Patterns.empty() ? QString() : QString::fromStdString(settings.Ignore.Patterns.front()));
    for (auto& [action, field] : d->IgnoreActions) {
        const QSignalBlocker block(action);
        action->setChecked(settings.Ignore.*field);
    }
    d->tbWhitespace->setChecked(settings.ShowWhitespace);
    d->SettingsChanged();
}

// The tools are the settings; a change compares again.
void TKNShowDifferencesForm::Impl::SettingsChanged()
{
    TIgnoreOptions ignore;
    for (auto& [action, field] : IgnoreActions) ignore.*field = action->isChecked();
    const std::string pattern = PatternEdit->text().toStdString();
    if (!pattern.empty()) ignore.Patterns = {pattern};
    const bool changed = !(ignore == Settings.Ignore);
    Settings.Ignore = ignore;
    if (changed && Left.Text && Right.Text && !Left.Lines.empty()) {
        q->CommitEdits();
        StartComparison();
    }
}

void TKNShowDifferencesForm::SetWindowSize(const QSize& size)
{
    const QRect area = vex::AvailableArea(parentWidget() ? parentWidget()->window() : nullptr);
    QRect place = vex::FirstPlacement(area);
    if (size.width() >= 200 && size.height() >= 150) {
        place.setSize(size);
        place.moveCenter(area.center());
    }
    vex::PlaceOnScreen(this, place);
}

// Hints of the tool buttons show in the summary's place while the mouse is over them.
bool TKNShowDifferencesForm::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        d->StatusBar->Panel(3)->SetText(tip.isEmpty() ? d->SummaryText : tip);
        return true;
    }
    return QDialog::event(event);
}

void TKNShowDifferencesForm::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) d->Recolour();
}

// ---- loading ----

bool TKNShowDifferencesForm::LoadFiles(const QString& leftFileName, const QString& rightFileName, QString& errorText)
{
    return LoadSides({leftFileName, leftFileName, {}}, {rightFileName, rightFileName, {}}, errorText);
}

TKNSideResult TKNShowDifferencesForm::Impl::OnServer(const QString& doing, const TKNSideFile& file,
                                                     const std::function<TKNSideResult(TKNSide& server)>& work)
{
    std::vector<std::string> notices;
    const TKNSideResult result = RunSideWork(
        q, doing,
        [&](const TKNSideContext& context) {
            std::unique_ptr<TKNSide> server;
            TKNSideResult connected = ConnectSideFile(file, context, server);
            return connected ? work(*server) : connected;
        },
        notices);
    TakeNotices(notices);
    return result;
}

bool TKNShowDifferencesForm::Impl::FetchSide(const TDiffSide& side, TKNSideFile& file, std::string& bytes,
                                             QString& errorText)
{
    const TKNSideResult fetched =
        OnServer(QStringLiteral("Fetching \"%1\"...").arg(side.Source.ShownName), file,
                 [&](TKNSide& server) { return FetchSideFile(server, file, DefaultMaxTextFileSize, bytes); });
    if (fetched) return true;
    errorText = QStringLiteral("Cannot read file \"%1\".\n%2").arg(side.Source.ShownName, ShownText(fetched.Message));
    return false;
}

bool TKNShowDifferencesForm::Impl::LoadSide(TDiffSide& side, QString& errorText)
{
    if (side.Source.Server) {
        if (!FetchSide(side, *side.Source.Server, side.Bytes, errorText)) return false;
    } else {
        std::string reason;
        if (!ReadFileBytes(QFile::encodeName(side.Source.FileName).toStdString(), side.Bytes, reason,
                           DefaultMaxTextFileSize, side.Stamp)) {
            errorText = QStringLiteral("Cannot read file \"%1\".\n%2")
                            .arg(side.Source.ShownName, QString::fromLocal8Bit(reason));
            return false;
        }
    }
    DecodeSide(side);
    return true;
}

bool TKNShowDifferencesForm::Impl::DecodeSide(TDiffSide& side)
{
    const std::optional<TTextFormat> format = DetectTextFormat(side.Bytes);
    side.Text = format.has_value();
    if (!side.Text) return false;
    side.Format = *format;
    side.Clean = DecodeText(side.Bytes, side.Format, side.Content);
    side.Saved = side.Content;
    side.Split();
    return true;
}

bool TKNShowDifferencesForm::LoadSides(const TDiffSideSource& left, const TDiffSideSource& right, QString& errorText)
{
    d->Left.Source = left;
    d->Right.Source = right;
    for (TDiffSide* side : {&d->Left, &d->Right})
        if (!d->LoadSide(*side, errorText)) return false;
    for (TDiffSide* side : {&d->Left, &d->Right}) d->ShowSideHeader(*side);
    d->UpdateTitle();
    if (!d->Left.Text || !d->Right.Text) {
        d->ShowBinary(CompareBinaryBytes(d->Left.Bytes, d->Right.Bytes));
        return true;
    }
    for (const TDiffSide* side : {&d->Left, &d->Right}) {
        if (side->Lines.empty()) {
            errorText = QStringLiteral("The file \"%1\" is empty.").arg(side->Source.ShownName);
            return false;
        }
    }
    d->StartComparison();
    return true;
}

// Name (and why it cannot be saved), the encoding chosen and the kind of line ends.
void TKNShowDifferencesForm::Impl::ShowSideHeader(TDiffSide& side)
{
    QString caption = side.Source.ShownName;
    if (side.Text && !side.Clean)
        caption += QStringLiteral("  (read-only: not valid %1)")
                       .arg(QString::fromStdString(EncodingName(side.Format.Encoding)));
    side.Caption->setText(caption);
    side.Caption->setToolTip(caption);
    side.Encoding->setVisible(side.Text);
    const int index = side.Encoding->findData(static_cast<int>(side.Format.Encoding));
    side.Encoding->setCurrentIndex(std::max(0, index));
    QString format = side.Text ? QString::fromLatin1(LineEndName(side.Format.LineEnd)) : QStringLiteral("binary");
    if (side.Text && side.Format.Bom) format = QStringLiteral("BOM, ") + format;
    side.Format_->setText(format);
    side.View->SetReadOnly(!side.Editable());
}

// "left.txt - right.txt - Differences", or the folders when both names are the same.
void TKNShowDifferencesForm::Impl::UpdateTitle()
{
    const QFileInfo a(Left.Source.ShownName), b(Right.Source.ShownName);
    QString title = a.fileName() == b.fileName() ? QStringLiteral("%1 (%2 - %3)").arg(a.fileName(), a.path(), b.path())
                                                 : QStringLiteral("%1 - %2").arg(a.fileName(), b.fileName());
    if (Left.Modified() || Right.Modified()) title = QStringLiteral("*") + title;
    q->setWindowTitle(title + QStringLiteral(" - Differences"));
}

bool TKNShowDifferencesForm::SetSideEncoding(bool left, TTextEncoding encoding)
{
    TDiffSide& side = left ? d->Left : d->Right;
    if (!side.Text || side.Modified()) return false;
    CommitEdits();
    side.Format = {};
    side.Format.Encoding = encoding;
    const std::optional<TTextFormat> detected = DetectTextFormat(side.Bytes);
    side.Format.Bom = detected && detected->Bom && detected->Encoding == encoding;
    side.Clean = DecodeText(side.Bytes, side.Format, side.Content);
    side.Saved = side.Content;
    side.Split();
    d->UndoSteps.clear();
    d->RedoSteps.clear();
    d->ShowSideHeader(side);
    d->StartComparison();
    return true;
}

// ---- opening and closing ----

TKNShowDifferencesForm* ShowFileDifferences(QWidget* parent, const TDiffSideSource& left, const TDiffSideSource& right,
                                            QSize windowSize, const TDiffWindowSettings& settings,
                                            std::function<void(QSize, const TDiffWindowSettings&)> onClosed)
{
    QString error;
    auto* form = new TKNShowDifferencesForm(parent);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->SetWindowSize(windowSize);
    form->SetSettings(settings);
    if (!form->LoadSides(left, right, error)) {
        delete form;
        vex::ErrorBox(parent, error);
        return nullptr;
    }
    form->SetOnClosed(std::move(onClosed));
    form->show();
    return form;
}

// Esc closes like the close button, asking about unsaved changes first.
void TKNShowDifferencesForm::reject()
{
    close();
}

void TKNShowDifferencesForm::btnExitClick()
{
    close();
}

void TKNShowDifferencesForm::closeEvent(QCloseEvent* event)
{
    CommitEdits();
    if (d->Left.Modified() || d->Right.Modified()) {
        const auto answer = QMessageBox::question(
            this, windowTitle(), QStringLiteral("The files have unsaved changes. Save them before closing?"),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
        if (answer == QMessageBox::Cancel || (answer == QMessageBox::Save && !SaveChanges())) {
            event->ignore();
            return;
        }
    }
    // Not QDialog's own closing, which rejects, and rejecting closes: the window just hides
    // (and goes, when it deletes itself), which also stops a comparison in work.
    if (d->OnClosed) d->OnClosed(size(), d->Settings);
    d->OnClosed = nullptr;
    event->accept();
}

// Every resize gives both halves the same size again.
void TKNShowDifferencesForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    d->HalveSplit();
}

}  // namespace kn
