// TCodeEdit editing: character input, deleting and inserting text, cut and paste, and moving
// the selection by dragging it. Every change goes through TLines, which keeps offsets,
// MaxLineLen, the gutter and repainting in step. Nothing changes while ReadOnly is true.
#include <QApplication>
#include <QClipboard>

#include "diff/kn_unitTextEncoding.h"
#include "diff/kn_unitTextFile.h"
#include "ui/kn_unitCodeEditorPrivate.h"

namespace kn {

namespace {

constexpr char32_t DeleteForwardCode = 7;
constexpr char32_t BackspaceCode = 8;
constexpr char32_t TabCode = 9;
constexpr char32_t EnterCode = 13;

std::string EncodeUtf8(char32_t cp)
{
    std::string out;
    AppendUtf8(out, cp);
    return out;
}

}  // namespace

void TCodeEdit::CharInput(char32_t code)
{
    if (d->readOnly ||
        (code < 32 && code != DeleteForwardCode && code != BackspaceCode && code != TabCode && code != EnterCode) ||
        code == 127 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return;
    if (d->lines.Count() == 0) {
        if (code == DeleteForwardCode || code == BackspaceCode) return;
        d->lines.Add(std::string());
        d->caretX = d->caretY = 0;
        if (code == EnterCode) {
            d->AfterCharInput();
            return;
        }
    }
    // One update, so the view re-places the caret only once the edit has moved it.
    d->lines.BeginUpdate();
    switch (code) {
        case DeleteForwardCode:
            d->DeleteForward();
            break;
        case BackspaceCode:
            d->Backspace();
            break;
        case EnterCode:
            d->Enter();
            break;
        default:
            d->InsertCharacter(code);
            break;
    }
    d->lines.EndUpdate();
    d->AfterCharInput();
}

void TCodeEdit::Impl::AfterCharInput()
{
    desiredCol = caretX;
    PlaceCaret();
    selAnchor = selCaret;
    ScrollToCaret();
    q->viewport()->update();
    ReportChanges();
}

void TCodeEdit::Impl::DeleteForward()
{
    if (selAnchor != selCaret) {
        q->DeleteSelection();
        return;
    }
    const std::string& text = lines.Get(caretY);
    const int length = LineLength(caretY);
    if (caretX < length) {
        lines.Put(caretY, Utf8Mid(text, 0, caretX) + Utf8Mid(text, caretX + 1));
    } else if (caretY == lines.Count() - 1) {
        return;
    } else if (length > 0) {
        const std::string next = lines.Get(caretY + 1);
        lines.BeginUpdate();
        if (!next.empty()) lines.Put(caretY, text + next);
        lines.Delete(caretY + 1);
        lines.EndUpdate();
    } else {
        lines.Delete(caretY);
    }
}

void TCodeEdit::Impl::Backspace()
{
    if (selAnchor != selCaret) {
        q->DeleteSelection();
        return;
    }
    if (caretX > 0) {
        const std::string& text = lines.Get(caretY);
        lines.Put(caretY, Utf8Mid(text, 0, caretX - 1) + Utf8Mid(text, caretX));
        --caretX;
        return;
    }
    if (caretY == 0) return;
    const std::string previous = lines.Get(caretY - 1);
    if (previous.empty()) {
        lines.Delete(caretY - 1);
        --caretY;
        return;
    }
    const int previousEnd = LineLength(caretY - 1);
    const std::string text = lines.Get(caretY);
    lines.BeginUpdate();
    lines.Delete(caretY);
    if (!text.empty()) lines.Put(caretY - 1, previous + text);
    lines.EndUpdate();
    --caretY;
    caretX = previousEnd;
}

void TCodeEdit::Impl::Enter()
{
    q->DeleteSelection();
    if (lines.Count() == 0) {
        lines.Add(std::string());
        caretX = caretY = 0;
        return;
    }
    const std::string text = lines.Get(caretY);
    if (caretX == 0) {
        lines.Insert(caretY, std::string());
    } else if (caretX >= LineLength(caretY)) {
        lines.Insert(caretY + 1, std::string());
    } else {
        lines.BeginUpdate();
        lines.Put(caretY, Utf8Mid(text, 0, caretX));
        lines.Insert(caretY + 1, Utf8Mid(text, caretX));
        lines.EndUpdate();
    }
    ++caretY;
    caretX = 0;
}

void TCodeEdit::Impl::InsertCharacter(char32_t code)
{
    q->DeleteSelection();
    if (lines.Count() == 0) {
        lines.Add(std::string());
        caretX = caretY = 0;
    }
    const std::string& text = lines.Get(caretY);
    lines.Put(caretY, Utf8Mid(text, 0, caretX) + EncodeUtf8(code) + Utf8Mid(text, caretX));
    ++caretX;
}

// Joins the text before the selection with the text after it.
void TCodeEdit::DeleteSelection()
{
    if (d->readOnly || !HasSelection()) return;
    const QPoint from = OffsetToCaret(d->SelStart()), to = OffsetToCaret(d->SelEnd());
    TLines& lines = d->lines;
    const int last = lines.Count() - 1;
    if (from == QPoint(0, 0) && to == QPoint(d->LineLength(last), last)) {
        lines.Clear();
    } else {
        lines.BeginUpdate();
        const std::string tail = Utf8Mid(lines.Get(to.y()), to.x());
        if (from.x() == 0) {
            for (int line = to.y() - 1; line >= from.y(); --line) lines.Delete(line);
            lines.Put(from.y(), tail);
        } else {
            lines.Put(from.y(), Utf8Mid(lines.Get(from.y()), 0, from.x()) + tail);
            for (int line = to.y(); line > from.y(); --line) lines.Delete(line);
        }
        lines.EndUpdate();
    }
    d->SetCaret(from.x(), from.y(), false);
}

// Inserts text at the caret, replacing the selection; breaks are CR LF, CR or LF.
void TCodeEdit::InsertText(std::string_view text)
{
    if (d->readOnly || text.empty()) return;
    DeleteSelection();
    TLines& lines = d->lines;
    lines.BeginUpdate();
    if (lines.Count() == 0) lines.Add(std::string());
    std::vector<std::string> pieces = SplitTextLines(text);
    if (pieces.empty())  // the text ends at a NUL byte before anything else
        pieces.emplace_back();
    const bool endsWithBreak = text.back() == '\r' || text.back() == '\n';
    int& x = d->caretX;
    int& y = d->caretY;
    const std::string line = lines.Get(y);
    if (x != 0) {
        if (endsWithBreak) pieces.emplace_back();
        const std::string tail = Utf8Mid(line, x);
        lines.Put(y, Utf8Mid(line, 0, x) + pieces[0]);
        x = Utf8CharCount(lines.Get(y));
        for (size_t i = 1; i < pieces.size(); ++i) {
            lines.Insert(++y, pieces[i]);
            x = Utf8CharCount(pieces[i]);
        }
        lines.Put(y, lines.Get(y) + tail);
    } else {
        const size_t before = endsWithBreak ? pieces.size() : pieces.size() - 1;
        for (size_t i = 0; i < before; ++i) lines.Insert(y++, pieces[i]);
        if (!endsWithBreak) {
            lines.Put(y, pieces.back() + line);
            x = Utf8CharCount(pieces.back());
        }
    }
    lines.EndUpdate();
    d->SetCaret(x, y, false);
    d->ScrollToCaret();
    viewport()->update();
}

void TCodeEdit::CutToClipboard()
{
    if (d->readOnly) return;
    CopyToClipboard();
    DeleteSelection();
    if (d->onSelectionChange) d->onSelectionChange(this);
}

void TCodeEdit::PasteFromClipboard()
{
    if (d->readOnly) return;
    InsertText(QApplication::clipboard()->text().toStdString());
    if (d->onSelectionChange) d->onSelectionChange(this);
}

// Completes moving the selection to the caret (the drop point). A drop inside the selection,
// or any drop in a read-only view, moves nothing.
void TCodeEdit::Impl::FinishMove()
{
    dragState = TDragState::None;
    int64_t drop = q->CaretToOffset(caretX, caretY);
    if (readOnly || (drop >= SelStart() && drop <= SelEnd())) {
        SetCaret(caretX, caretY, false);
        q->viewport()->update();
        return;
    }
    const std::string moved = q->SelectedText();
    const int dropX = caretX, dropY = caretY;
    q->DeleteSelection();
    if (drop <= SelStart()) {
        caretX = dropX;
        caretY = dropY;
    } else {
        drop -= Utf8CharCount(moved);
        const QPoint pos = q->OffsetToCaret(drop);
        caretX = pos.x();
        caretY = pos.y();
    }
    PlaceCaret();
    selAnchor = selCaret = drop;
    q->InsertText(moved);
    selAnchor = drop;
    q->viewport()->update();
    ReportChanges();
}

}  // namespace kn
