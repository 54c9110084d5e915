// TCodeEdit keyboard, mouse, focus, dropped files and copying.
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

#include "ui/kn_unitCodeEditorPrivate.h"

namespace kn {

namespace {

constexpr int LineEnd = 65535;

bool IsWordChar(char32_t c)
{
    return c >= 33;
}
bool IsAsciiAlnum(char32_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Control codes of Ctrl+letter, the way the character handler receives them.
constexpr char32_t CtrlCode(Qt::Key key)
{
    return static_cast<char32_t>(key - Qt::Key_A + 1);
}

}  // namespace

// ---- keyboard ----

void TCodeEdit::Impl::WordRight()
{
    const std::u32string chars = Utf8Decode(lines.Get(caretY));
    int x = std::min(caretX, static_cast<int>(chars.size()));
    int y = caretY;
    if (x < static_cast<int>(chars.size())) {
        while (x < static_cast<int>(chars.size()) && IsWordChar(chars[static_cast<size_t>(x)])) ++x;
        while (x < static_cast<int>(chars.size()) && !IsWordChar(chars[static_cast<size_t>(x)])) ++x;
    } else if (y < lines.Count() - 1) {
        x = 0;
        ++y;
    }
    caretX = x;
    caretY = y;
}

void TCodeEdit::Impl::WordLeft()
{
    const std::u32string chars = Utf8Decode(lines.Get(caretY));
    int x = std::min(caretX, static_cast<int>(chars.size()));
    while (x > 0 && !IsWordChar(chars[static_cast<size_t>(x - 1)])) --x;
    if (x > 0)
        while (x > 0 && IsWordChar(chars[static_cast<size_t>(x - 1)])) --x;
    if (x == 0 && caretY > 0) {
        --caretY;
        x = LineLength(caretY);
    }
    caretX = x;
}

// Returns false for keys that are not navigation keys.
bool TCodeEdit::Impl::HandleNavigationKey(QKeyEvent* event)
{
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const int count = lines.Count();
    const int lastLine = std::max(0, count - 1);
    switch (event->key()) {
        case Qt::Key_PageUp:
            MoveVertical(caretY - visibleLines, shift);
            return true;
        case Qt::Key_PageDown:
            MoveVertical(caretY + visibleLines, shift);
            return true;
        case Qt::Key_Up:
            MoveVertical(caretY - 1, shift);
            return true;
        case Qt::Key_Down:
            MoveVertical(caretY + 1, shift);
            return true;
        case Qt::Key_Home:
            SetCaret(0, ctrl ? 0 : caretY, shift);
            return true;
        case Qt::Key_End:
            SetCaret(LineEnd, ctrl ? lastLine : caretY, shift);
            return true;
        case Qt::Key_Left:
            if (count == 0)
                SetCaret(0, 0, shift);
            else if (ctrl) {
                WordLeft();
                SetCaret(caretX, caretY, shift);
            } else if (caretX == 0 && caretY > 0)
                SetCaret(LineLength(caretY - 1), caretY - 1, shift);
            else
                SetCaret(caretX - 1, caretY, shift);
            return true;
        case Qt::Key_Right:
            if (count == 0)
                SetCaret(0, 0, shift);
            else if (ctrl) {
                WordRight();
                SetCaret(caretX, caretY, shift);
            } else if (caretX >= LineLength(caretY) && caretY < lastLine)
                SetCaret(0, caretY + 1, shift);
            else
                SetCaret(caretX + 1, caretY, shift);
            return true;
        default:
            return false;
    }
}

void TCodeEdit::keyPressEvent(QKeyEvent* event)
{
    if (d->onKeyDown && d->onKeyDown(this, event)) return;
    if (event->modifiers() & Qt::AltModifier) return;
    const bool hadSelection = HasSelection();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (d->HandleNavigationKey(event)) {
        d->ScrollToCaret();
        if (hadSelection || (event->modifiers() & Qt::ShiftModifier)) viewport()->update();
        return;
    }
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        event->ignore();  // leaves Esc to the window (closing a dialog)
    } else if (key == Qt::Key_Delete) {
        if (!ctrl) CharInput(7);
    } else if (key == Qt::Key_Backspace) {
        CharInput(8);
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        CharInput(13);
    } else if (key == Qt::Key_Tab && !ctrl) {
        CharInput(9);
    } else if (ctrl && key >= Qt::Key_A && key <= Qt::Key_Z) {
        const char32_t code = CtrlCode(static_cast<Qt::Key>(key));
        if (code == CtrlCode(Qt::Key_A))
            SelectAll();
        else if (code == CtrlCode(Qt::Key_C))
            CopyToClipboard();
        else if (code == CtrlCode(Qt::Key_X))
            d->readOnly ? CopyToClipboard() : CutToClipboard();
        else if (code == CtrlCode(Qt::Key_V))
            PasteFromClipboard();
        else
            CharInput(code);
    } else {
        const std::u32string typed = event->text().toStdU32String();
        for (char32_t c : typed) CharInput(c);
        if (typed.empty()) event->ignore();
    }
}

// Tab reaches the view only when it wants tabs; otherwise it moves the focus.
bool TCodeEdit::focusNextPrevChild(bool next)
{
    if (d->wantTabs) return false;
    return QAbstractScrollArea::focusNextPrevChild(next);
}

// ---- mouse ----

void TCodeEdit::Impl::SelectWordAt(int x, int y)
{
    const std::u32string chars = Utf8Decode(lines.Get(y));
    if (chars.empty() || x >= static_cast<int>(chars.size()) || !IsAsciiAlnum(chars[static_cast<size_t>(x)])) return;
    int start = x, end = x;
    while (start > 0 && IsAsciiAlnum(chars[static_cast<size_t>(start - 1)])) --start;
    while (end < static_cast<int>(chars.size()) && IsAsciiAlnum(chars[static_cast<size_t>(end)])) ++end;
    SetCaret(end, y, false);
    selAnchor = q->CaretToOffset(start, y);
    ReportChanges();
}

void TCodeEdit::mousePressEvent(QMouseEvent* event)
{
    if (!d->StartLeftClick(event)) return;
    const QPoint point = event->position().toPoint();
    if (point.x() < d->gutterWidth && d->onGutterClick && d->lines.Count() > 0) {
        d->dragState = TDragState::None;
        const int line = (point.y() - TopMargin) / d->lineHeight + d->topLine;
        if (line >= 0 && line < d->lines.Count()) d->onGutterClick(this, line);
        return;
    }
    if (point.x() > d->gutterWidth) {
        const QPoint pos = PointToCaret(point);
        const int64_t offset = CaretToOffset(pos.x(), pos.y());
        if (HasSelection() && offset > d->SelStart() && offset < d->SelEnd()) {
            d->dragState = TDragState::Moving;
            d->movePressCaret = pos;
            viewport()->setCursor(Qt::DragMoveCursor);
        } else {
            d->SetCaret(pos.x(), pos.y(), false);
        }
    }
    viewport()->update();
}

void TCodeEdit::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (!d->StartLeftClick(event)) return;
    const QPoint point = event->position().toPoint();
    if (point.x() > d->gutterWidth && d->lines.Count() > 0) {
        const QPoint pos = PointToCaret(point);
        d->SelectWordAt(pos.x(), pos.y());
    }
    viewport()->update();
}

bool TCodeEdit::Impl::StartLeftClick(const QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return false;
    if (!q->hasFocus()) q->setFocus(Qt::MouseFocusReason);
    dragState = TDragState::Selecting;
    return true;
}

void TCodeEdit::Impl::AutoScroll(QPoint point)
{
    const QRect client = q->viewport()->rect();
    if (point.y() < lineHeight)
        ApplyTopLine(topLine - 1);
    else if (point.y() > client.height() - lineHeight)
        ApplyTopLine(topLine + 1);
    if (point.x() < gutterWidth + LeftMargin + charWidth)
        ApplyLeftCol(leftCol - 1);
    else if (point.x() > client.width() - charWidth)
        ApplyLeftCol(leftCol + 1);
}

void TCodeEdit::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() != Qt::LeftButton || d->dragState == TDragState::None) return;
    const QPoint point = event->position().toPoint();
    if (point.x() > d->gutterWidth) {
        const QPoint pos = PointToCaret(point);
        if (pos.x() != d->caretX || pos.y() != d->caretY) {
            d->SetCaret(pos.x(), pos.y(), true);
            viewport()->update();
        }
    }
    d->AutoScroll(point);
}

void TCodeEdit::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    if (d->dragState == TDragState::Moving && PointToCaret(event->position().toPoint()) == d->movePressCaret) {
        // Pressed and released on one place: no move, the click places the caret there.
        d->SetCaret(d->movePressCaret.x(), d->movePressCaret.y(), false);
        viewport()->update();
    } else if (d->dragState == TDragState::Moving) {
        d->FinishMove();
    }
    d->dragState = TDragState::None;
    viewport()->setCursor(Qt::IBeamCursor);
}

// ---- focus ----

void TCodeEdit::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    d->caretBlinkOn = true;
    d->caretBlink.start();
    viewport()->update();
}

void TCodeEdit::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    d->caretBlink.stop();
    viewport()->update();
}

// ---- dropped files ----

void TCodeEdit::dragEnterEvent(QDragEnterEvent* event)
{
    if (d->onDropFiles && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TCodeEdit::dropEvent(QDropEvent* event)
{
    if (!d->onDropFiles || !event->mimeData()->hasUrls() || event->mimeData()->urls().isEmpty()) return;
    const QString fileName = event->mimeData()->urls().first().toLocalFile().left(260);
    bool accepted = false;
    d->onDropFiles(this, fileName, accepted);
    if (accepted)
        event->acceptProposedAction();
    else
        event->ignore();
}

// ---- searching ----

namespace {

char FoldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The byte offset of `needle` in `line` from `from` on (forward) or the last one starting
// before `from` (backward); npos for none.
size_t FindIn(std::string_view line, std::string_view needle, size_t from, bool forward, bool caseSensitive)
{
    auto equalAt = [&](size_t at) {
        for (size_t k = 0; k < needle.size(); ++k)
            if (caseSensitive ? line[at + k] != needle[k] : FoldAscii(line[at + k]) != FoldAscii(needle[k]))
                return false;
        return true;
    };
    if (line.size() < needle.size()) return std::string_view::npos;
    const size_t last = line.size() - needle.size();
    if (forward) {
        for (size_t at = from; at <= last; ++at)
            if (equalAt(at)) return at;
    } else {
        for (size_t at = std::min(last + 1, from); at-- > 0;)
            if (equalAt(at)) return at;
    }
    return std::string_view::npos;
}

}  // namespace

// Line by line from the caret's line round to it again; a match never spans lines.
bool TCodeEdit::FindText(std::string_view text, bool forward, bool caseSensitive)
{
    const int count = d->lines.Count();
    if (text.empty() || count == 0) return false;
    const QPoint from = OffsetToCaret(forward ? d->SelEnd() : d->SelStart());
    for (int step = 0; step <= count; ++step) {
        const int line = ((forward ? from.y() + step : from.y() - step) % count + count) % count;
        const std::string& content = d->lines.Get(line);
        size_t start = forward ? 0 : content.size();
        if (step == 0) start = Utf8ByteOffset(content, from.x());
        if (step == count && forward) start = 0;
        const size_t at = FindIn(content, text, start, forward, caseSensitive);
        if (at == std::string_view::npos) continue;
        const int first = Utf8CharCount(std::string_view(content).substr(0, at));
        const int length = Utf8CharCount(text);
        d->SetCaret(first + length, line, false);
        d->selAnchor = CaretToOffset(first, line);
        d->ScrollToCaret();
        d->ReportChanges();
        viewport()->update();
        return true;
    }
    return false;
}

// ---- clipboard ----

// The clipboard holds the selection with this platform's line breaks.
void TCodeEdit::CopyToClipboard()
{
    if (!HasSelection()) return;
    QString text = QString::fromUtf8(SelectedText());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QApplication::clipboard()->setText(text);
}

}  // namespace kn
