// The differences window: loads two text files, runs the line difference over their line
// classes on a worker thread and lays both files out row by row from the change records.
#include "ui/kn_frmShowDifferences.h"

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QScreen>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <thread>

#include "diff/kn_unitBinaryFile.h"
#include "diff/kn_unitDiff.h"
#include "diff/kn_unitLineClasses.h"
#include "diff/kn_unitTextFile.h"
#include "framework/qt/vex_unitDialogs.h"
#include "framework/qt/vex_unitPlacement.h"
#include "framework/qt/vex_unitStatusBar.h"

namespace kn {

namespace {

// A surface painted by its owner.
class TPaintBox : public QWidget {
public:
    explicit TPaintBox(QWidget* parent) : QWidget(parent) {}
    std::function<void(QPainter&)> OnPaint;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (OnPaint) OnPaint(painter);
    }
};

int DigitCount(size_t n)
{
    int digits = 1;
    for (; n > 9; n /= 10) ++digits;
    return digits;
}

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

QString Count(int64_t n)
{
    return QLocale().toString(static_cast<qlonglong>(n));
}

QString BinarySummary(const TBinaryComparison& binary)
{
    if (binary.Identical) return QStringLiteral("The files are binary and are identical.");
    return QStringLiteral("The files are binary and differ. The first difference is at byte offset %1.")
        .arg(Count(binary.FirstDifference));
}

QLabel* MakeCaption(QWidget* parent)
{
    auto* caption = new QLabel(parent);
    caption->setFixedHeight(20);
    caption->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    caption->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return caption;
}

}  // namespace

struct TKNShowDifferencesForm::Impl {
    // The comparison runs on Worker, which alone touches Diff until it posts its end;
    // closing the window sets Stop, which the search checks at every step.
    std::atomic<bool> Stop{false};
    TDiff Diff{TDiffOptions{.Stop = &Stop}};
    std::thread Worker;
    bool Comparing = false;
    int Run = 0;  // the number of the comparison in work, so late reports of earlier ones are dropped
    std::string LeftContent, RightContent;  // the files' bytes; the lines are views into them
    std::vector<std::string_view> LeftText, RightText;
    QToolBar* ToolBar = nullptr;
    QAction *tbRotate = nullptr, *tbNext = nullptr, *tbPrev = nullptr, *btnExit = nullptr;
    vex::TvexStatusBar* StatusBar = nullptr;
    TPaintBox* pbScrollPosMarker = nullptr;
    TPaintBox* pbDiffMarker = nullptr;
    QSplitter* pnlMain = nullptr;
    QLabel *pnlCaptionLeft = nullptr, *pnlCaptionRight = nullptr;
    TCodeEdit *LeftView = nullptr, *RightView = nullptr;
    QImage MarkerBitmap;
    // The first and one-past-last row of each change record, in order: the stops of next and
    // previous difference.
    std::vector<std::pair<int, int>> Blocks;
    QString SummaryText;
    bool Scrolling = false;

    QToolBar* BuildToolBar(TKNShowDifferencesForm* form);
    QSplitter* BuildHalves(TKNShowDifferencesForm* form);
    QFrame* BuildDisplay(TKNShowDifferencesForm* form);
    vex::TvexStatusBar* BuildStatusBar(TKNShowDifferencesForm* form);
    void StartComparison(TKNShowDifferencesForm* form);
    void ComparisonDone(int run, bool found);
    void StopComparison();
    void FillViews();
    void ShowBinary(const TBinaryComparison& binary, const std::string& leftName, const std::string& rightName);
    void SetSummary(const QString& text);
    void AppendRow(int64_t& counter, TColor color, int leftLine, int rightLine);
    void BuildMarkerBitmap();
    void PaintScrollPosMarker(QPainter& painter);
    void ViewScrolled(TCodeEdit* sender);
    TCodeEdit* FocusedView(const QWidget* form) const;
    void HalveSplit();
};

TKNShowDifferencesForm::TKNShowDifferencesForm(QWidget* parent) : QDialog(parent), d(std::make_unique<Impl>())
{
    setWindowTitle(QStringLiteral("Show Differences..."));
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(d->BuildToolBar(this));
    auto* middle = new QHBoxLayout;
    middle->setSpacing(0);
    middle->addWidget(d->BuildHalves(this), 1);
    middle->addWidget(d->BuildDisplay(this));
    layout->addLayout(middle, 1);
    layout->addWidget(d->BuildStatusBar(this));

    SetWindowSize(QSize());
    d->HalveSplit();
}

QToolBar* TKNShowDifferencesForm::Impl::BuildToolBar(TKNShowDifferencesForm* form)
{
    ToolBar = new QToolBar(form);
    ToolBar->setIconSize(QSize(24, 24));
    auto addTool = [this, form](const QIcon& icon, const QString& hint, const QString& longHint,
                                const QKeySequence& key, void (TKNShowDifferencesForm::*slot)()) {
        QAction* action = ToolBar->addAction(icon, hint);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        const QString keyText = key.toString(QKeySequence::NativeText);
        action->setToolTip(keyText.isEmpty() ? hint : QStringLiteral("%1 (%2)").arg(hint, keyText));
        action->setStatusTip(longHint);
        QObject::connect(action, &QAction::triggered, form, slot);
        return action;
    };
    auto theme = [](const char* name) { return QIcon::fromTheme(QString::fromLatin1(name)); };
    tbRotate = addTool(theme("object-rotate-right"), "Rotate", "Rotate the view of files.", QKeySequence(),
                       &TKNShowDifferencesForm::tbRotateClick);
    tbNext = addTool(ArrowIcon(true), "Next Difference", "Show the next difference.",
                     QKeySequence(Qt::ALT | Qt::Key_Down), &TKNShowDifferencesForm::tbNextClick);
    tbPrev = addTool(ArrowIcon(false), "Previous Difference", "Show the previous difference.",
                     QKeySequence(Qt::ALT | Qt::Key_Up), &TKNShowDifferencesForm::tbPrevClick);
    btnExit = addTool(theme("window-close"), "Close", "Close this window.", QKeySequence(),
                      &TKNShowDifferencesForm::btnExitClick);
    return ToolBar;
}

// Two halves, each a caption above a read-only view numbered by file line.
QSplitter* TKNShowDifferencesForm::Impl::BuildHalves(TKNShowDifferencesForm* form)
{
    pnlMain = new QSplitter(Qt::Horizontal, form);
    pnlMain->setChildrenCollapsible(false);
    for (bool left : {true, false}) {
        auto* half = new QWidget(pnlMain);
        auto* halfLayout = new QVBoxLayout(half);
        halfLayout->setContentsMargins(0, 0, 0, 0);
        halfLayout->setSpacing(0);
        QLabel* caption = MakeCaption(half);
        auto* view = new TCodeEdit(half);
        view->SetReadOnly(true);
        view->SetOnPaintLeftMargin([](TCodeEdit* sender, QPainter& canvas, const QRect& rec, int, int tag) {
            if (tag != 0)
                canvas.drawText(QRect(rec.left(), rec.top(), sender->GutterWidth() - 4, sender->LineHeight()),
                                Qt::AlignRight | Qt::AlignTop, QString::number(tag));
        });
        view->SetOnScroll([this](TCodeEdit* sender) { ViewScrolled(sender); });
        halfLayout->addWidget(caption);
        halfLayout->addWidget(view, 1);
        (left ? pnlCaptionLeft : pnlCaptionRight) = caption;
        (left ? LeftView : RightView) = view;
        pnlMain->addWidget(half);
    }
    return pnlMain;
}

QFrame* TKNShowDifferencesForm::Impl::BuildDisplay(TKNShowDifferencesForm* form)
{
    auto* pnlDisplay = new QFrame(form);
    pnlDisplay->setFrameStyle(QFrame::Panel | QFrame::Raised);
    pnlDisplay->setFixedWidth(19);
    auto* strips = new QHBoxLayout(pnlDisplay);
    strips->setContentsMargins(1, 1, 1, 1);
    strips->setSpacing(0);
    pbScrollPosMarker = new TPaintBox(pnlDisplay);
    pbScrollPosMarker->setFixedWidth(6);
    pbScrollPosMarker->OnPaint = [this](QPainter& p) { PaintScrollPosMarker(p); };
    pbDiffMarker = new TPaintBox(pnlDisplay);
    pbDiffMarker->OnPaint = [this](QPainter& p) {
        if (!MarkerBitmap.isNull()) p.drawImage(pbDiffMarker->rect(), MarkerBitmap);
    };
    strips->addWidget(pbScrollPosMarker);
    strips->addWidget(pbDiffMarker, 1);
    return pnlDisplay;
}

vex::TvexStatusBar* TKNShowDifferencesForm::Impl::BuildStatusBar(TKNShowDifferencesForm* form)
{
    StatusBar = new vex::TvexStatusBar(form);
    const std::pair<const char*, TColor> blocks[] = {{"A", AddedColor}, {"M", ModifiedColor}, {"D", DeletedColor}};
    for (const auto& [text, color] : blocks) {
        vex::TvexStatusPanel* panel = StatusBar->AddPanel(18, Qt::AlignCenter);
        panel->SetText(QString::fromLatin1(text));
        panel->setAutoFillBackground(true);
        QPalette palette = panel->palette();
        palette.setColor(QPalette::Window, ToQColor(color, palette));
        panel->setPalette(palette);
    }
    StatusBar->AddPanel(0);  // the summary takes the rest of the bar
    return StatusBar;
}

TKNShowDifferencesForm::~TKNShowDifferencesForm()
{
    d->StopComparison();
}

TCodeEdit* TKNShowDifferencesForm::LeftView() const
{
    return d->LeftView;
}
TCodeEdit* TKNShowDifferencesForm::RightView() const
{
    return d->RightView;
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

void TKNShowDifferencesForm::Impl::SetSummary(const QString& text)
{
    SummaryText = text;
    StatusBar->Panel(3)->SetText(text);
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
const QImage& TKNShowDifferencesForm::MarkerBitmap() const
{
    return d->MarkerBitmap;
}
bool TKNShowDifferencesForm::SideBySide() const
{
    return d->pnlMain->orientation() == Qt::Horizontal;
}

bool TKNShowDifferencesForm::LoadFiles(const QString& leftFileName, const QString& rightFileName, QString& errorText)
{
    const std::string leftName = QFile::encodeName(leftFileName).toStdString();
    const std::string rightName = QFile::encodeName(rightFileName).toStdString();
    TBinaryComparison binary;
    std::string binaryError;
    if (!CompareBinaryFiles(leftName, rightName, binary, binaryError)) {
        errorText = QString::fromLocal8Bit(binaryError.c_str());
        return false;
    }
    d->pnlCaptionLeft->setText(leftFileName);
    d->pnlCaptionRight->setText(rightFileName);
    if (binary.Binary) {
        d->ShowBinary(binary, leftName, rightName);
        return true;
    }
    for (auto [name, content] :
         {std::pair{&leftFileName, &d->LeftContent}, std::pair{&rightFileName, &d->RightContent}}) {
        std::string reason;
        if (!ReadTextFile(QFile::encodeName(*name).toStdString(), *content, reason)) {
            errorText =
                QStringLiteral("Cannot read file \"%1\".\n%2").arg(*name, QString::fromLocal8Bit(reason.c_str()));
            return false;
        }
    }
    d->LeftText = SplitTextLineViews(d->LeftContent);
    d->RightText = SplitTextLineViews(d->RightContent);
    for (auto [name, lines] : {std::pair{&leftFileName, &d->LeftText}, std::pair{&rightFileName, &d->RightText}}) {
        if (lines->empty()) {
            errorText = QStringLiteral("The file \"%1\" is empty.").arg(*name);
            return false;
        }
    }
    d->StartComparison(this);
    return true;
}

// Both views hold one line saying what the side is; nothing is laid out row by row.
void TKNShowDifferencesForm::Impl::ShowBinary(const TBinaryComparison& binary, const std::string& leftName,
                                              const std::string& rightName)
{
    Blocks.clear();
    for (auto [view, name] : {std::pair{LeftView, &leftName}, std::pair{RightView, &rightName}}) {
        struct stat st {};
        const QString size = stat(name->c_str(), &st) == 0 ? Count(st.st_size) : QStringLiteral("?");
        TLines& lines = view->Lines();
        lines.BeginUpdate();
        lines.Clear();
        lines.Add(QStringLiteral("Binary file, %1 bytes.").arg(size).toStdString());
        lines.EndUpdate();
        lines.SetModified(false);
        view->SetGutterWidth(0);
    }
    MarkerBitmap = QImage();
    pbDiffMarker->update();
    pbScrollPosMarker->update();
    SetSummary(BinarySummary(binary));
}

bool TKNShowDifferencesForm::ShowDifferences(const QString& leftFileName, const QString& rightFileName,
                                             QString& errorText)
{
    if (!LoadFiles(leftFileName, rightFileName, errorText)) return false;
    exec();
    return true;
}

void ShowFileDifferences(QWidget* parent, const QString& leftFileName, const QString& rightFileName, QSize& windowSize)
{
    QString error;
    TKNShowDifferencesForm form(parent);
    form.SetWindowSize(windowSize);
    if (!form.ShowDifferences(leftFileName, rightFileName, error))
        vex::ErrorBox(parent, error);
    else
        windowSize = form.size();
}

// ---- comparing ----

// The worker reads only the line views, which stay untouched until it has ended.
void TKNShowDifferencesForm::Impl::StartComparison(TKNShowDifferencesForm* form)
{
    StopComparison();
    Stop = false;
    Comparing = true;
    SetSummary(QStringLiteral("Comparing..."));
    const int run = ++Run;
    Worker = std::thread([this, form, run] {
        const TLineClasses classes = ClassifyLines(LeftText, RightText);
        const bool found = Diff.Compare(classes.Left, classes.Right);
        // Dropped with the form's other posted events if the form goes first.
        QMetaObject::invokeMethod(
            form, [this, found, run] { ComparisonDone(run, found); }, Qt::QueuedConnection);
    });
}

// A report of a run that was stopped (or replaced by a newer one) is stale: its worker has
// been joined already and its result is not the views' to show.
void TKNShowDifferencesForm::Impl::ComparisonDone(int run, bool found)
{
    if (run != Run || !Worker.joinable()) return;
    Worker.join();
    Comparing = false;
    if (!found) {
        SetSummary(QStringLiteral("The files are too large to compare."));
        return;
    }
    LeftView->SetColor(clWindow);
    RightView->SetColor(clWindow);
    FillViews();
}

void TKNShowDifferencesForm::Impl::StopComparison()
{
    Stop = true;
    if (Worker.joinable()) Worker.join();
    ++Run;
    Comparing = false;
}

// ---- filling ----

// Appends one row to both views: a file line, or a filler (-1) with tag 0.
void TKNShowDifferencesForm::Impl::AppendRow(int64_t& counter, TColor color, int leftLine, int rightLine)
{
    auto append = [color](TCodeEdit* view, const std::vector<std::string_view>& text, int line) {
        TLines& lines = view->Lines();
        const int row = lines.Add(line >= 0 ? std::string(text[static_cast<size_t>(line)]) : std::string());
        TLineObj& obj = lines.GetLineObj(row);
        obj.Color = color;
        obj.Tag = line >= 0 ? line + 1 : 0;
    };
    append(LeftView, LeftText, leftLine);
    append(RightView, RightText, rightLine);
    ++counter;
}

void TKNShowDifferencesForm::Impl::FillViews()
{
    TLines& left = LeftView->Lines();
    TLines& right = RightView->Lines();
    left.BeginUpdate();
    right.BeginUpdate();
    left.Clear();
    right.Clear();
    const int rows = static_cast<int>(LeftText.size() + Diff.Summary().Added);
    left.SetCapacity(rows);
    right.SetCapacity(rows);
    LeftView->SetAutoLineNum(false);
    RightView->SetAutoLineNum(false);
    LeftView->SetGutterWidth((DigitCount(LeftText.size()) + 1) * LeftView->CharWidth());
    RightView->SetGutterWidth((DigitCount(RightText.size()) + 1) * RightView->CharWidth());

    int64_t added = 0, modified = 0, deleted = 0, same = 0;
    int i = 0, j = 0;
    Blocks.clear();
    for (const TDiffChange& c : Diff.GetChanges()) {
        for (; i < c.Index1; ++i, ++j) AppendRow(same, clWindow, i, j);
        const int first = left.Count();
        switch (c.Kind) {
            case TDiffKind::dkAdd:
                for (int r = 0; r < c.Count; ++r) AppendRow(added, AddedColor, -1, j++);
                i = c.Index1;
                j = c.Index2 + c.Count;
                break;
            case TDiffKind::dkModify:
                for (int r = 0; r < c.Count; ++r) AppendRow(modified, ModifiedColor, c.Index1 + r, j + r);
                i = c.Index1 + c.Count;
                j = c.Index2 + c.Count;
                break;
            case TDiffKind::dkDelete:
                for (int x = c.Index1; x < c.Index1 + c.Count; ++x) AppendRow(deleted, DeletedColor, x, -1);
                i = c.Index1 + c.Count;
                break;
        }
        if (left.Count() > first) Blocks.emplace_back(first, left.Count());
    }
    for (; i < static_cast<int>(LeftText.size()); ++i, ++j) AppendRow(same, clWindow, i, j);

    left.EndUpdate();
    right.EndUpdate();
    left.SetModified(false);
    right.SetModified(false);
    BuildMarkerBitmap();
    pbScrollPosMarker->update();
    QString summary = added == 0 && modified == 0 && deleted == 0
                          ? QStringLiteral("No differences.")
                          : QStringLiteral("%1 lines added, %2 lines modified, %3 lines deleted.")
                                .arg(Count(added), Count(modified), Count(deleted));
    if (Diff.Approximate()) summary += QStringLiteral(" (approximate)");
    SetSummary(summary);
}

// The whole file as a strip as tall as the screen, one bar per changed row; painting only
// stretches it.
void TKNShowDifferencesForm::Impl::BuildMarkerBitmap()
{
    const TLines& rows = LeftView->Lines();
    if (rows.Count() == 0 || RightView->Lines().Count() == 0) return;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int height = screen ? screen->geometry().height() : 768;
    const float scale = static_cast<float>(height) / static_cast<float>(rows.Count());
    MarkerBitmap = QImage(std::max(1, pbDiffMarker->width()), height, QImage::Format_RGB32);
    MarkerBitmap.fill(ToQColor(clWindow, pbDiffMarker->palette()));
    QPainter painter(&MarkerBitmap);
    for (int k = 0; k < rows.Count(); ++k) {
        const TColor color = rows.GetLineObj(k).Color;
        if (color == clWindow) continue;
        painter.setPen(QPen(ToQColor(color, pbDiffMarker->palette()), 2));
        const int y = static_cast<int>(static_cast<float>(k) * scale);
        painter.drawLine(0, y, MarkerBitmap.width(), y);
    }
    pbDiffMarker->update();
}

void TKNShowDifferencesForm::Impl::PaintScrollPosMarker(QPainter& painter)
{
    const int count = LeftView->Lines().Count();
    if (count == 0) return;
    const QRect client = pbScrollPosMarker->rect();
    painter.fillRect(client, ToQColor(clWindow, pbScrollPosMarker->palette()));
    const int middle = LeftView->viewport()->height() / LeftView->LineHeight() / 2 + LeftView->TopLine();
    const int y = static_cast<int>(static_cast<int64_t>(client.height()) * middle / count);
    painter.setPen(QPen(Qt::black, 2));
    painter.drawLine(0, y, client.width(), y);
}

// ---- scrolling and navigation ----

void TKNShowDifferencesForm::Impl::ViewScrolled(TCodeEdit* sender)
{
    if (Scrolling) return;
    Scrolling = true;
    (sender == LeftView ? RightView : LeftView)->SetTopLine(sender->TopLine());
    Scrolling = false;
    pbScrollPosMarker->repaint();
}

// Tool buttons take no focus, so the view that had it still has it.
TCodeEdit* TKNShowDifferencesForm::Impl::FocusedView(const QWidget* form) const
{
    QWidget* focused = form->focusWidget();
    if (focused == LeftView) return LeftView;
    if (focused == RightView) return RightView;
    return nullptr;
}

// Next: the first block that starts below the caret's row. Previous: the last block that
// ends at or above it, so a caret inside a block goes to the block before.
// Example: blocks [2,3) and [5,7), caret on row 5 -> next: none, previous: row 2.
void TKNShowDifferencesForm::tbNextClick()
{
    TCodeEdit* view = d->FocusedView(this);
    if (!view) return;
    const int caret = view->CaretY();
    const auto block =
        std::find_if(d->Blocks.begin(), d->Blocks.end(), [caret](const auto& b) { return b.first > caret; });
    if (block == d->Blocks.end()) return;
    view->MoveCaretTo(0, block->first);
    if (block->second >= view->TopLine() + view->VisibleLines()) view->SetTopLine(block->first);
}

void TKNShowDifferencesForm::tbPrevClick()
{
    TCodeEdit* view = d->FocusedView(this);
    if (!view) return;
    const int caret = view->CaretY();
    const auto block =
        std::find_if(d->Blocks.rbegin(), d->Blocks.rend(), [caret](const auto& b) { return b.second <= caret; });
    if (block != d->Blocks.rend()) view->MoveCaretTo(0, block->first);
}

void TKNShowDifferencesForm::Impl::HalveSplit()
{
    const bool sideBySide = pnlMain->orientation() == Qt::Horizontal;
    const int total = sideBySide ? pnlMain->width() : pnlMain->height();
    pnlMain->setSizes({total / 2 - 1, total - total / 2 + 1});
}

void TKNShowDifferencesForm::tbRotateClick()
{
    d->pnlMain->setOrientation(SideBySide() ? Qt::Vertical : Qt::Horizontal);
    d->HalveSplit();
    if (auto* view = qobject_cast<TCodeEdit*>(focusWidget())) view->ScrollToCaret();
}

void TKNShowDifferencesForm::btnExitClick()
{
    accept();
}

// Every resize gives both halves the same size again.
void TKNShowDifferencesForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    d->HalveSplit();
}

}  // namespace kn
