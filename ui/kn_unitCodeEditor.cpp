// TCodeEdit: construction, properties, view geometry, scrolling, caret and selection.
#include <QApplication>
#include <QFontMetrics>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

#include "ui/kn_unitCodeEditorPrivate.h"

namespace kn {

QColor ToQColor(TColor color, const QPalette& palette)
{
    switch (color) {
        case clWindow:
            return palette.color(QPalette::Base);
        case clWindowText:
            return palette.color(QPalette::Text);
        case clHighlight:
            return palette.color(QPalette::Highlight);
        case clHighlightText:
            return palette.color(QPalette::HighlightedText);
        case clEdited: {
            const QColor base = palette.color(QPalette::Base), text = palette.color(QPalette::Text);
            return QColor((base.red() * 7 + text.red()) / 8, (base.green() * 7 + text.green()) / 8,
                          (base.blue() * 7 + text.blue()) / 8);
        }
        default:
            return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                          static_cast<int>((color >> 16) & 0xFF));
    }
}

namespace {

int DigitCount(int n)
{
    int digits = 1;
    for (; n > 9; n /= 10) ++digits;
    return digits;
}

}  // namespace

TCodeEdit::TCodeEdit(QWidget* parent) : QAbstractScrollArea(parent), d(std::make_unique<Impl>(this))
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::IBeamCursor);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QFont fixed(QStringLiteral("Courier New"), 10);
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    setFont(fixed);
    d->ReadFontMetrics();
    d->ResizeGutter();
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this](int action) { d->VScrollAction(action); });
    connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this,
            [this](int action) { d->HScrollAction(action); });
    d->caretBlink.setInterval(std::max(100, QApplication::cursorFlashTime() / 2));
    connect(&d->caretBlink, &QTimer::timeout, this, [this] {
        d->caretBlinkOn = !d->caretBlinkOn;
        d->InvalidateCaret();
    });
    resize(200, 80);
    d->UpdateGeometry();
    d->UpdateScrollBars();
}

TCodeEdit::~TCodeEdit()
{
    d->destroying = true;
}

TLines& TCodeEdit::Lines()
{
    return d->lines;
}
const TLines& TCodeEdit::Lines() const
{
    return d->lines;
}

TColor TCodeEdit::Color() const
{
    return d->color;
}
void TCodeEdit::SetColor(TColor value)
{
    if (value == d->color) return;
    for (int i = 0; i < d->lines.Count(); ++i) {
        TLineObj& obj = d->lines.GetLineObj(i);
        if (obj.Color == d->color) obj.Color = value;
    }
    d->color = value;
    viewport()->update();
}

TColor TCodeEdit::ModifiedLineColor() const
{
    return d->modifiedLineColor;
}
void TCodeEdit::SetModifiedLineColor(TColor value)
{
    d->modifiedLineColor = value;
}

bool TCodeEdit::AutoLineNum() const
{
    return d->autoLineNum;
}
void TCodeEdit::SetAutoLineNum(bool value)
{
    if (value == d->autoLineNum) return;
    d->autoLineNum = value;
    d->ResizeGutter();
}

int TCodeEdit::GutterWidth() const
{
    return d->gutterWidth;
}
void TCodeEdit::SetGutterWidth(int value)
{
    value = std::max(0, value);
    if (value == d->gutterWidth) return;
    d->gutterWidth = value;
    d->UpdateGeometry();
    d->PlaceCaret();
    viewport()->update();
}

bool TCodeEdit::ReadOnly() const
{
    return d->readOnly;
}
void TCodeEdit::SetReadOnly(bool value)
{
    d->readOnly = value;
}
bool TCodeEdit::WantTabs() const
{
    return d->wantTabs;
}
void TCodeEdit::SetWantTabs(bool value)
{
    d->wantTabs = value;
}
bool TCodeEdit::ShowWhitespace() const
{
    return d->showWhitespace;
}
void TCodeEdit::SetShowWhitespace(bool value)
{
    d->showWhitespace = value;
    viewport()->update();
}

void TCodeEdit::SetOnDropFiles(TDropFilesEvent handler)
{
    d->onDropFiles = std::move(handler);
    setAcceptDrops(static_cast<bool>(d->onDropFiles));
    viewport()->setAcceptDrops(static_cast<bool>(d->onDropFiles));
}
void TCodeEdit::SetOnPaintLeftMargin(TPaintMargin handler)
{
    d->onPaintLeftMargin = std::move(handler);
}
void TCodeEdit::SetOnScroll(TNotifyEvent handler)
{
    d->onScroll = std::move(handler);
}
void TCodeEdit::SetOnSelectionChange(TNotifyEvent handler)
{
    d->onSelectionChange = std::move(handler);
}
void TCodeEdit::SetOnCaretPtChange(TNotifyEvent handler)
{
    d->onCaretPtChange = std::move(handler);
}
void TCodeEdit::SetOnKeyDown(TKeyEvent handler)
{
    d->onKeyDown = std::move(handler);
}
void TCodeEdit::SetOnGutterClick(TGutterClick handler)
{
    d->onGutterClick = std::move(handler);
}

int TCodeEdit::CharWidth() const
{
    return d->charWidth;
}
int TCodeEdit::LineHeight() const
{
    return d->lineHeight;
}
int TCodeEdit::TopLine() const
{
    return d->topLine;
}
int TCodeEdit::LeftCol() const
{
    return d->leftCol;
}
int TCodeEdit::VisibleLines() const
{
    return d->visibleLines;
}
int TCodeEdit::VisibleCols() const
{
    return d->visibleCols;
}
int TCodeEdit::MaxLineLen() const
{
    return d->maxLineLen;
}
int TCodeEdit::ScrollShift() const
{
    return d->scrollShift;
}
int TCodeEdit::CaretX() const
{
    return d->caretX;
}
int TCodeEdit::CaretY() const
{
    return d->caretY;
}
int64_t TCodeEdit::SelAnchor() const
{
    return d->selAnchor;
}
int64_t TCodeEdit::SelCaret() const
{
    return d->selCaret;
}
bool TCodeEdit::HasSelection() const
{
    return d->selAnchor != d->selCaret;
}
bool TCodeEdit::CaretInView() const
{
    return d->caretInView;
}
QPoint TCodeEdit::CaretPos() const
{
    return d->caretPos;
}

std::string TCodeEdit::SelectedText() const
{
    if (!HasSelection()) return {};
    QPoint from = OffsetToCaret(d->SelStart()), to = OffsetToCaret(d->SelEnd());
    if (from.y() == to.y()) return Utf8Mid(d->lines.Get(from.y()), from.x(), to.x());
    std::string text = Utf8Mid(d->lines.Get(from.y()), from.x());
    for (int line = from.y() + 1; line < to.y(); ++line) text += "\r\n" + d->lines.Get(line);
    return text + "\r\n" + Utf8Mid(d->lines.Get(to.y()), 0, to.x());
}

void TCodeEdit::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() != QEvent::FontChange) return;
    d->ReadFontMetrics();
    d->UpdateGeometry();
    d->ResizeGutter();
    d->PlaceCaret();
    viewport()->update();
}

void TCodeEdit::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    d->UpdateGeometry();
    d->UpdateScrollBars();
}

// The view moves only through its own scroll positions; the scroll area must not shift pixels.
void TCodeEdit::scrollContentsBy(int, int) {}

// ---- metrics and geometry ----

void TCodeEdit::Impl::ReadFontMetrics()
{
    QFontMetrics metrics(q->font());
    charWidth = std::max(1, metrics.averageCharWidth());
    lineHeight = std::max(1, metrics.height() + std::max(0, metrics.leading()));
}

void TCodeEdit::Impl::ResizeGutter()
{
    if (autoLineNum) q->SetGutterWidth((DigitCount(lines.Count()) + 1) * charWidth);
}

void TCodeEdit::Impl::UpdateGeometry()
{
    const int oldLines = visibleLines, oldCols = visibleCols;
    visibleLines = (q->viewport()->height() - TopMargin) / lineHeight - 1;
    if (topLine >= 1 && visibleLines > oldLines && lines.Count() < topLine + visibleLines)
        StoreTopLine(std::max(0, lines.Count() - visibleLines));
    visibleCols = (q->viewport()->width() - gutterWidth - LeftMargin) / charWidth - 1;
    if (leftCol >= 1 && visibleCols > oldCols && leftCol + visibleCols > maxLineLen)
        StoreLeftCol(std::max(0, maxLineLen - visibleCols));
}

int TCodeEdit::Impl::WholeVisibleLines() const
{
    return (q->viewport()->height() - TopMargin) / lineHeight;
}
int TCodeEdit::Impl::PageCols() const
{
    return (q->viewport()->width() - gutterWidth) / charWidth;
}

// The vertical range is halved until it fits 16-bit thumb positions; ScrollShift counts
// the halvings. Ranges count like a page-sized thumb in [0, max], so the last position is
// max - page + 1.
void TCodeEdit::Impl::UpdateScrollBars()
{
    settingScrollBars = true;
    int vMax = lines.Count();
    scrollShift = 0;
    while (vMax >= 32767) {
        vMax /= 2;
        ++scrollShift;
    }
    const int vPage = std::max(1, (q->viewport()->height() / lineHeight) >> scrollShift);
    QScrollBar* v = q->verticalScrollBar();
    v->setRange(0, std::max(0, vMax - vPage + 1));
    v->setPageStep(vPage);
    v->setSingleStep(1);
    v->setValue(topLine >> scrollShift);
    const int hPage = std::max(1, PageCols());
    QScrollBar* h = q->horizontalScrollBar();
    h->setRange(0, std::max(0, maxLineLen + 2 - hPage + 1));
    h->setPageStep(hPage);
    h->setSingleStep(1);
    h->setValue(leftCol);
    settingScrollBars = false;
}

// ---- scrolling ----

void TCodeEdit::Impl::StoreTopLine(int line)
{
    if (line == topLine) return;
    topLine = line;
    settingScrollBars = true;
    q->verticalScrollBar()->setValue(topLine >> scrollShift);
    settingScrollBars = false;
    PlaceCaret();
    if (onScroll) onScroll(q);
    q->viewport()->update();
}

void TCodeEdit::Impl::StoreLeftCol(int col)
{
    if (col == leftCol) return;
    leftCol = col;
    settingScrollBars = true;
    q->horizontalScrollBar()->setValue(leftCol);
    settingScrollBars = false;
    PlaceCaret();
    if (onScroll) onScroll(q);
    q->viewport()->update();
}

void TCodeEdit::Impl::ApplyTopLine(int line)
{
    line = std::min(line, std::max(0, lines.Count() - visibleLines + 1));
    StoreTopLine(std::max(0, line));
}

void TCodeEdit::Impl::ApplyLeftCol(int col)
{
    col = std::min(col, std::max(0, maxLineLen - PageCols() + 3));
    StoreLeftCol(std::max(0, col));
}

void TCodeEdit::Impl::VScrollAction(int action)
{
    QScrollBar* bar = q->verticalScrollBar();
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            ApplyTopLine(topLine - 1);
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            ApplyTopLine(topLine + 1);
            break;
        case QAbstractSlider::SliderPageStepSub:
            ApplyTopLine(topLine - WholeVisibleLines());
            break;
        case QAbstractSlider::SliderPageStepAdd:
            ApplyTopLine(topLine + WholeVisibleLines());
            break;
        case QAbstractSlider::SliderMove:
            ApplyTopLine(bar->sliderPosition() << scrollShift);
            break;
        default:
            break;
    }
    // The slider applies its own position after this signal: make it ours.
    bar->setSliderPosition(topLine >> scrollShift);
}

void TCodeEdit::Impl::HScrollAction(int action)
{
    QScrollBar* bar = q->horizontalScrollBar();
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            ApplyLeftCol(leftCol - 1);
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            ApplyLeftCol(leftCol + 1);
            break;
        case QAbstractSlider::SliderPageStepSub:
            ApplyLeftCol(leftCol - PageCols());
            break;
        case QAbstractSlider::SliderPageStepAdd:
            ApplyLeftCol(leftCol + PageCols());
            break;
        case QAbstractSlider::SliderMove:
            ApplyLeftCol(bar->sliderPosition());
            break;
        default:
            break;
    }
    bar->setSliderPosition(leftCol);
}

void TCodeEdit::SetTopLine(int line)
{
    if (line == d->topLine) return;
    d->ApplyTopLine((std::max(0, line) >> d->scrollShift) << d->scrollShift);
}

void TCodeEdit::SetLeftCol(int col)
{
    if (col != d->leftCol) d->ApplyLeftCol(col);
}

void TCodeEdit::Impl::ScrollToCaret()
{
    if (caretX < leftCol)
        StoreLeftCol(std::max(0, caretX));
    else if (caretX > leftCol + visibleCols)
        StoreLeftCol(std::max(0, caretX - visibleCols));
    if (caretY < topLine)
        StoreTopLine(std::max(0, caretY));
    else if (caretY > topLine + visibleLines)
        StoreTopLine(std::max(0, caretY - visibleLines));
}

void TCodeEdit::ScrollToCaret()
{
    d->ScrollToCaret();
}

// ---- caret and selection ----

int64_t TCodeEdit::CaretToOffset(int x, int y) const
{
    if (d->lines.Count() == 0) return 0;
    return d->lines.GetLineObj(y).StartOffset + x;
}

QPoint TCodeEdit::OffsetToCaret(int64_t offset) const
{
    const int count = d->lines.Count();
    if (count == 0) return {0, 0};
    int lo = 0, hi = count;  // lines [0, lo) start at or before offset
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        if (d->lines.GetLineObj(mid).StartOffset <= offset)
            lo = mid + 1;
        else
            hi = mid;
    }
    const int line = std::max(0, lo - 1);
    const TLineObj& obj = d->lines.GetLineObj(line);
    return {static_cast<int>(std::clamp<int64_t>(offset - obj.StartOffset, 0, obj.CharCount)), line};
}

void TCodeEdit::Impl::InvalidateCaret()
{
    q->viewport()->update(QRect(caretPos, QSize(2, lineHeight)));
}

// Re-placing: limits the caret to the text, derives SelCaret (except while a selection is
// being moved) and the caret's pixel position from it.
void TCodeEdit::Impl::PlaceCaret()
{
    InvalidateCaret();
    const int count = lines.Count();
    caretY = std::clamp(caretY, 0, std::max(0, count - 1));
    int visualCol = 0;
    if (count > 0) {
        const std::string& text = lines.Get(caretY);
        caretX = std::clamp(caretX, 0, LineLength(caretY));
        visualCol = caretX;
        const std::string head = Utf8Mid(text, 0, caretX);
        visualCol += static_cast<int>(std::count(head.begin(), head.end(), '\t')) * (TabWidth - 1);
    } else {
        caretX = 0;
    }
    if (dragState != TDragState::Moving) selCaret = q->CaretToOffset(caretX, caretY);
    caretInView = !(caretY < topLine || visualCol < leftCol);
    caretPos = QPoint(gutterWidth + LeftMargin + (visualCol - leftCol) * charWidth,
                      (caretY - topLine) * lineHeight + TopMargin + 1);
    caretBlinkOn = true;
    InvalidateCaret();
}

void TCodeEdit::Impl::ReportChanges()
{
    if (!hasReportedCaret || caretX != reportedCaretX || caretY != reportedCaretY) {
        hasReportedCaret = true;
        reportedCaretX = caretX;
        reportedCaretY = caretY;
        if (onCaretPtChange) onCaretPtChange(q);
    }
    const int64_t start = SelStart(), end = SelEnd();
    if (start != reportedSelStart || end != reportedSelEnd) {
        const bool eitherNonEmpty = start != end || reportedSelStart != reportedSelEnd;
        reportedSelStart = start;
        reportedSelEnd = end;
        if (eitherNonEmpty && onSelectionChange) onSelectionChange(q);
    }
}

void TCodeEdit::Impl::SetCaret(int x, int y, bool extend)
{
    caretX = x;
    caretY = y;
    desiredCol = x;
    PlaceCaret();
    if (!extend) selAnchor = selCaret;
    ReportChanges();
}

// A vertical move keeps the column remembered from the last horizontal move.
void TCodeEdit::Impl::MoveVertical(int line, bool extend)
{
    caretY = line;
    caretX = std::max(desiredCol, caretX);
    PlaceCaret();
    if (!extend) selAnchor = selCaret;
    ReportChanges();
}

void TCodeEdit::MoveCaretTo(int column, int line)
{
    d->SetCaret(column, line, false);
    d->ScrollToCaret();
    viewport()->update();
}

void TCodeEdit::SelectAll()
{
    const int count = d->lines.Count();
    const int last = std::max(0, count - 1);
    d->SetCaret(count > 0 ? d->LineLength(last) : 0, last, true);
    d->selAnchor = 0;
    d->ScrollToCaret();
    viewport()->update();
    d->ReportChanges();
}

QPoint TCodeEdit::PointToCaret(QPoint client) const
{
    const int count = d->lines.Count();
    if (count == 0) return {0, 0};
    const int line = std::min(count, std::max(0, (client.y() - TopMargin) / d->lineHeight + d->topLine));
    if (line == count) return {65535, count - 1};
    const int target = std::max(0, (client.x() - d->gutterWidth - LeftMargin) / d->charWidth + d->leftCol);
    const std::string& text = d->lines.Get(line);
    int column = target;
    if (text.find('\t') != std::string::npos) {
        const std::u32string chars = Utf8Decode(text);
        int walked = 0, shown = 0;
        while (shown < target && walked < static_cast<int>(chars.size()))
            shown += chars[static_cast<size_t>(walked++)] == U'\t' ? TabWidth : 1;
        column = walked;
    }
    return {std::min(column, d->LineLength(line)), line};
}

// ---- bookkeeping reported by TLines ----

void TCodeEdit::Impl::LineLengthSeen(int32_t length)
{
    maxLineLen = std::max(maxLineLen, length);
}

void TCodeEdit::Impl::LinesCleared()
{
    maxLineLen = 60;
    if (autoLineNum) gutterWidth = 20;
    topLine = leftCol = 0;
    caretX = caretY = desiredCol = 0;
    selAnchor = selCaret = 0;
}

void TCodeEdit::Impl::LinesChanged()
{
    if (destroying) return;
    UpdateScrollBars();
    ResizeGutter();
    PlaceCaret();
    q->viewport()->update();
}

}  // namespace kn
