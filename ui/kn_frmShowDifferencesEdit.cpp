// Editing in the differences window. Each side's text (TDiffSide::Content) is what is compared
// and saved; typing in a view is taken into it after a pause (or before any other step), the
// pair is compared again and the rows are laid out anew. Undo and redo keep whole texts, one
// step per taken edit or copied change. Saving encodes the text in the side's encoding with its
// line breaks and replaces the file atomically, only while it is unchanged since it was read: a
// local file directly, a file on a server through its side.
#include <QFile>
#include <QMessageBox>
#include <QPushButton>

#include "diff/kn_unitAtomicSave.h"
#include "framework/qt/vex_unitDialogs.h"
#include "framework/qt/vex_unitStatusBar.h"
#include "ui/kn_frmShowDifferencesPrivate.h"
#include "ui/kn_unitShownText.h"

namespace kn {

namespace {

bool EndsWithBreak(std::string_view text)
{
    return !text.empty() && (text.back() == '\n' || text.back() == '\r');
}

// The byte offset where line `line` of a side starts (the text's size past the last line).
size_t LineOffset(const TDiffSide& side, size_t line)
{
    return line < side.Lines.size() ? static_cast<size_t>(side.Lines[line].data() - side.Content.data())
                                    : side.Content.size();
}

}  // namespace

void TKNShowDifferencesForm::Impl::ViewEdited()
{
    if (Filling) return;
    CommitTimer.start();
}

// The rows of a side's view as its text: filler rows left out unless typed into, each line
// ending with the side's break, the last one only when the file's did.
std::string TKNShowDifferencesForm::Impl::RowsText(const TDiffSide& side) const
{
    const TLines& rows = side.View->Lines();
    const std::string_view lineBreak = LineBreakText(side.Format.WriteEnd);
    std::string text;
    for (int row = 0; row < rows.Count(); ++row) {
        const TLineObj& obj = rows.GetLineObj(row);
        if (obj.Tag == FillerTag && !obj.Modified) continue;
        text += rows.Get(row);
        text += lineBreak;
    }
    if (!side.Format.FinalBreak && !text.empty()) text.resize(text.size() - lineBreak.size());
    return text;
}

void TKNShowDifferencesForm::Impl::ReplaceContent(TDiffSide& side, std::string content)
{
    StopComparison();  // the worker reads the views into the text
    side.Content = std::move(content);
    side.Split();
    const TLineEnd write = side.Format.WriteEnd;
    ScanLineEnds(side.Content, side.Format);
    if (side.Format.LineEnd == TLineEnd::None) side.Format.WriteEnd = write;
    ShowSideHeader(side);
    side.Encoding->setEnabled(!side.Modified());
}

// Compares again at once and puts the caret and scroll position back.
void TKNShowDifferencesForm::CommitEdits()
{
    d->CommitTimer.stop();
    bool changed = false;
    for (TDiffSide* side : {&d->Left, &d->Right}) {
        if (!side->Editable() || !side->View->Lines().Modified()) continue;
        std::string text = d->RowsText(*side);
        side->View->Lines().SetModified(false);
        if (text == side->Content) continue;
        d->UndoSteps.push_back({side == &d->Left, side->Content});
        d->RedoSteps.clear();
        d->ReplaceContent(*side, std::move(text));
        changed = true;
    }
    if (!changed) return;
    TCodeEdit* view = d->FocusedView();
    const int x = view ? view->CaretX() : 0, y = view ? view->CaretY() : 0;
    const int top = d->Left.View->TopLine();
    d->StartComparison();
    d->WaitForComparison();
    d->Left.View->SetTopLine(top);
    if (view) view->MoveCaretTo(x, y);
}

bool TKNShowDifferencesForm::CopyChange(bool toRight)
{
    CommitEdits();
    TCodeEdit* view = d->FocusedView();
    const int caret = view ? view->CaretY() : 0;
    int block = d->BlockAt(caret);
    if (block < 0) {
        const auto next =
            std::find_if(d->Blocks.begin(), d->Blocks.end(), [caret](const auto& b) { return b.first > caret; });
        if (next == d->Blocks.end()) return false;
        block = static_cast<int>(next - d->Blocks.begin());
    }
    TDiffSide& source = toRight ? d->Left : d->Right;
    TDiffSide& target = toRight ? d->Right : d->Left;
    if (!target.Editable()) {
        d->StatusBar->Panel(3)->SetText(
            QStringLiteral("The %1 side cannot be changed.").arg(toRight ? "right" : "left"));
        return false;
    }
    const auto [first, end] = d->Blocks[static_cast<size_t>(block)];
    const std::string_view lineBreak = LineBreakText(target.Format.WriteEnd);
    std::string inserted;
    size_t targetFirst = target.Lines.size(), targetCount = 0;
    for (int row = first; row < end; ++row) {
        const int sourceTag = source.View->Lines().GetLineObj(row).Tag;
        if (sourceTag > 0) (inserted += source.Lines[static_cast<size_t>(sourceTag - 1)]) += lineBreak;
        const int targetTag = target.View->Lines().GetLineObj(row).Tag;
        if (targetTag > 0 && targetCount++ == 0) targetFirst = static_cast<size_t>(targetTag - 1);
    }
    // Lines that exist only on the source side go before the next line of the target.
    for (int row = end; targetCount == 0 && row < target.View->Lines().Count(); ++row) {
        const int tag = target.View->Lines().GetLineObj(row).Tag;
        if (tag <= 0) continue;
        targetFirst = static_cast<size_t>(tag - 1);
        break;
    }
    const size_t from = LineOffset(target, targetFirst), to = LineOffset(target, targetFirst + targetCount);
    if (to == target.Content.size() && !EndsWithBreak(target.Content) && !inserted.empty()) {
        inserted.resize(inserted.size() - lineBreak.size());
        if (targetCount == 0 && !target.Content.empty()) inserted.insert(0, lineBreak);
    }
    std::string content = target.Content;
    content.replace(from, to - from, inserted);
    d->UndoSteps.push_back({&target == &d->Left, target.Content});
    d->RedoSteps.clear();
    d->ReplaceContent(target, std::move(content));
    d->StartComparison();
    d->WaitForComparison();
    if (view) view->MoveCaretTo(0, std::min(first, view->Lines().Count() - 1));
    return true;
}

bool TKNShowDifferencesForm::Undo()
{
    CommitEdits();
    if (d->UndoSteps.empty()) return false;
    TUndoStep step = std::move(d->UndoSteps.back());
    d->UndoSteps.pop_back();
    TDiffSide& side = step.Left ? d->Left : d->Right;
    d->RedoSteps.push_back({step.Left, side.Content});
    d->ReplaceContent(side, std::move(step.Content));
    d->StartComparison();
    d->WaitForComparison();
    return true;
}

bool TKNShowDifferencesForm::Redo()
{
    CommitEdits();
    if (d->RedoSteps.empty()) return false;
    TUndoStep step = std::move(d->RedoSteps.back());
    d->RedoSteps.pop_back();
    TDiffSide& side = step.Left ? d->Left : d->Right;
    d->UndoSteps.push_back({step.Left, side.Content});
    d->ReplaceContent(side, std::move(step.Content));
    d->StartComparison();
    d->WaitForComparison();
    return true;
}

bool TKNShowDifferencesForm::Impl::SaveSide(TDiffSide& side)
{
    if (!side.Modified()) return true;
    std::string bytes, reason;
    bool saved = false;
    if (!side.Editable()) {
        reason = "This side cannot be saved.";
    } else if (EncodeText(side.Content, side.Format, bytes, reason)) {
        saved = side.Source.Server ? SaveToServer(side, bytes, reason)
                                   : SaveFileAtomically(QFile::encodeName(side.Source.FileName).toStdString(), bytes,
                                                        side.Stamp, reason);
    }
    if (saved) {
        side.Saved = side.Content;
        side.Bytes = std::move(bytes);
        side.Encoding->setEnabled(true);
        emit q->Saved();
        return true;
    }
    // No reason: the user chose not to save over a changed file.
    if (!reason.empty())
        vex::ErrorBox(
            q, QStringLiteral("The file \"%1\" was not saved.\n%2").arg(side.Source.ShownName, ShownText(reason)));
    return false;
}

bool TKNShowDifferencesForm::Impl::SaveToServer(TDiffSide& side, const std::string& bytes, std::string& reason)
{
    TKNSideFile& file = *side.Source.Server;
    auto save = [&](TKNSaveAgainst against) {
        return OnServer(QStringLiteral("Saving \"%1\"...").arg(side.Source.ShownName), file,
                        [&](TKNSide& server) { return SaveSideFile(server, file, bytes, against); });
    };
    TKNSideResult saved = save(TKNSaveAgainst::Fetched);
    if (saved.Kind == TKNSideError::Changed) {
        QMessageBox box(QMessageBox::Warning, q->windowTitle(),
                        QStringLiteral("\"%1\" was changed on the server since it was fetched.\n\nReload it (your "
                                       "changes stay one Undo away), or save your text over it?")
                            .arg(side.Source.ShownName),
                        QMessageBox::Cancel, q);
        const QPushButton* reload = box.addButton(QStringLiteral("Reload"), QMessageBox::AcceptRole);
        const QPushButton* overwrite = box.addButton(QStringLiteral("Save Over It"), QMessageBox::DestructiveRole);
        box.setDefaultButton(QMessageBox::Cancel);
        box.exec();
        if (box.clickedButton() == reload) ReloadSide(side);
        if (box.clickedButton() != overwrite) return false;
        saved = save(TKNSaveAgainst::Current);
    }
    reason = saved.Message;
    return static_cast<bool>(saved);
}

void TKNShowDifferencesForm::Impl::ReloadSide(TDiffSide& side)
{
    TKNSideFile file = *side.Source.Server;
    std::string bytes;
    QString error;
    if (!FetchSide(side, file, bytes, error)) {
        vex::ErrorBox(q, error);
        return;
    }
    if (!DetectTextFormat(bytes)) {
        vex::ErrorBox(
            q, QStringLiteral("\"%1\" is no longer a text file; it was not reloaded.").arg(side.Source.ShownName));
        return;
    }
    StopComparison();
    UndoSteps.push_back({&side == &Left, side.Content});
    RedoSteps.clear();
    *side.Source.Server = std::move(file);
    side.Bytes = std::move(bytes);
    DecodeSide(side);
    ShowSideHeader(side);
    side.Encoding->setEnabled(true);
    UpdateTitle();
    StartComparison();
    WaitForComparison();
}

bool TKNShowDifferencesForm::SaveChanges()
{
    CommitEdits();
    const bool left = d->SaveSide(d->Left);
    const bool right = d->SaveSide(d->Right);
    d->UpdateTitle();
    return left && right;
}

std::string TKNShowDifferencesForm::SideText(bool left) const
{
    return (left ? d->Left : d->Right).Content;
}

bool TKNShowDifferencesForm::SideModified(bool left) const
{
    return (left ? d->Left : d->Right).Modified();
}

}  // namespace kn
