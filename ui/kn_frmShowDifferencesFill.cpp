// The differences window's comparison on a worker thread, laying both texts out row by row from
// the change records with the marks inside modified lines, the overview strip, linked
// scrolling, next and previous difference and search.
#include <QLocale>
#include <QSplitter>
#include <algorithm>

#include "framework/qt/vex_unitStatusBar.h"
#include "ui/kn_frmShowDifferencesPrivate.h"
#include "ui/kn_unitShownText.h"

namespace kn {

namespace {

int DigitCount(size_t n)
{
    int digits = 1;
    for (; n > 9; n /= 10) ++digits;
    return digits;
}

QString Count(int64_t n)
{
    return QLocale().toString(static_cast<qlonglong>(n));
}

// "1 line added", "2 lines added".
QString Lines(int64_t n, const QString& what)
{
    return QStringLiteral("%1 %2 %3").arg(Count(n), n == 1 ? QStringLiteral("line") : QStringLiteral("lines"), what);
}

QString BinarySummary(const TBinaryComparison& binary)
{
    if (binary.Identical) return QStringLiteral("The files are binary and are identical.");
    return QStringLiteral("The files are binary and differ. The first difference is at byte offset %1.")
        .arg(Count(binary.FirstDifference));
}

bool DarkPalette(const QPalette& palette)
{
    return palette.color(QPalette::Base).lightness() < 128;
}

// Room in the gutter for the arrow that copies a change.
constexpr int ArrowWidth = 12;

}  // namespace

// ---- comparing ----

// The worker reads only the sides' line views, which stay untouched until it has ended.
void TKNShowDifferencesForm::Impl::StartComparison()
{
    StopComparison();
    Stop = false;
    Comparing = true;
    SetSummary(QStringLiteral("Comparing..."));
    const int run = ++Run;
    Worker = std::thread([this, run, ignore = Settings.Ignore] {
        Found =
            CompareTextLines(Left.Compared, Right.Compared, ignore, TDiffOptions{.Stop = &Stop}, Result, CompareError);
        Marks.clear();
        for (const TDiffChange& c : Result.Changes) {
            if (c.Kind != TDiffKind::dkModify) continue;
            for (int32_t r = 0; r < c.Count && !Stop; ++r)
                Marks.push_back(InlineChanges(Left.Lines[static_cast<size_t>(c.Index1 + r)],
                                              Right.Lines[static_cast<size_t>(c.Index2 + r)]));
        }
        // Dropped with the form's other posted events if the form goes first.
        QMetaObject::invokeMethod(
            q, [this, run] { ComparisonDone(run); }, Qt::QueuedConnection);
    });
}

// Edits compare at once: the rows must match the texts before the next step.
void TKNShowDifferencesForm::Impl::WaitForComparison()
{
    if (!Worker.joinable()) return;
    Worker.join();
    ComparisonDone(Run);
}

// A report of a run that was stopped (or replaced by a newer one) is stale: its worker has
// been joined already and its result is not the views' to show.
void TKNShowDifferencesForm::Impl::ComparisonDone(int run)
{
    if (run != Run || !Comparing) return;
    if (Worker.joinable()) Worker.join();
    Comparing = false;
    if (!Found) {
        SetSummary(QString::fromStdString(CompareError));  // too large, or a bad -I expression
        return;
    }
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

TColor TKNShowDifferencesForm::Impl::ColorOf(const TDiffChange& change) const
{
    const bool dark = DarkPalette(q->palette());
    if (change.Ignored) return dark ? DarkIgnoredColor : IgnoredColor;
    switch (change.Kind) {
        case TDiffKind::dkAdd:
            return dark ? DarkAddedColor : AddedColor;
        case TDiffKind::dkModify:
            return dark ? DarkModifiedColor : ModifiedColor;
        case TDiffKind::dkDelete:
            return dark ? DarkDeletedColor : DeletedColor;
    }
    return clWindow;
}

// Rows and status panels take the colours of the palette now in use.
void TKNShowDifferencesForm::Impl::Recolour()
{
    const TColor light[] = {AddedColor, ModifiedColor, DeletedColor, IgnoredColor};
    const TColor dark[] = {DarkAddedColor, DarkModifiedColor, DarkDeletedColor, DarkIgnoredColor};
    const bool isDark = DarkPalette(q->palette());
    for (int k = 0; k < 3; ++k) {
        vex::TvexStatusPanel* panel = StatusBar->Panel(k);
        QPalette palette = panel->palette();
        palette.setColor(QPalette::Window, ToQColor(isDark ? dark[k] : light[k], palette));
        palette.setColor(QPalette::WindowText, q->palette().color(QPalette::Text));
        panel->setPalette(palette);
    }
    if (Left.View == nullptr) return;
    for (TCodeEdit* view : {Left.View, Right.View}) {
        for (int row = 0; row < view->Lines().Count(); ++row) {
            TLineObj& obj = view->Lines().GetLineObj(row);
            for (int k = 0; k < 4; ++k)
                if (obj.Color == (isDark ? light[k] : dark[k])) obj.Color = isDark ? dark[k] : light[k];
        }
        view->viewport()->update();
    }
    BuildMarkerBitmap();
}

// Appends one row to both views: a file line, or a filler (-1).
void TKNShowDifferencesForm::Impl::AppendRow(int64_t& counter, TColor color, int leftLine, int rightLine)
{
    auto append = [color](TCodeEdit* view, const std::vector<std::string_view>& text, int line) {
        TLines& lines = view->Lines();
        const int row = lines.Add(line >= 0 ? std::string(text[static_cast<size_t>(line)]) : std::string());
        TLineObj& obj = lines.GetLineObj(row);
        obj.Color = color;
        obj.Tag = line >= 0 ? line + 1 : FillerTag;
    };
    append(Left.View, Left.Lines, leftLine);
    append(Right.View, Right.Lines, rightLine);
    ++counter;
}

void TKNShowDifferencesForm::Impl::FillViews()
{
    Filling = true;
    TLines& left = Left.View->Lines();
    TLines& right = Right.View->Lines();
    left.BeginUpdate();
    right.BeginUpdate();
    left.Clear();
    right.Clear();
    const int rows = static_cast<int>(Left.Lines.size() + Right.Lines.size());
    left.SetCapacity(rows);
    right.SetCapacity(rows);
    for (TDiffSide* side : {&Left, &Right}) {
        side->View->SetAutoLineNum(false);
        side->View->SetGutterWidth((DigitCount(side->Lines.size()) + 1) * side->View->CharWidth() + ArrowWidth);
    }

    int64_t added = 0, modified = 0, deleted = 0, same = 0;
    int i = 0, j = 0;
    size_t mark = 0;
    Blocks.clear();
    for (const TDiffChange& c : Result.Changes) {
        for (; i < c.Index1; ++i, ++j) AppendRow(same, clWindow, i, j);
        const int first = left.Count();
        int64_t ignored = 0;
        const TColor color = ColorOf(c);
        int64_t& counter = c.Ignored                       ? ignored
                           : c.Kind == TDiffKind::dkAdd    ? added
                           : c.Kind == TDiffKind::dkModify ? modified
                                                           : deleted;
        for (int r = 0; r < c.Count; ++r) {
            AppendRow(counter, color, c.Kind == TDiffKind::dkAdd ? -1 : c.Index1 + r,
                      c.Kind == TDiffKind::dkDelete ? -1 : c.Index2 + r);
            if (c.Kind != TDiffKind::dkModify || mark >= Marks.size()) continue;
            left.SetMarks(left.Count() - 1, Marks[mark].Left);
            right.SetMarks(right.Count() - 1, std::move(Marks[mark++].Right));
        }
        if (c.Kind != TDiffKind::dkAdd) i = c.Index1 + c.Count;
        if (c.Kind != TDiffKind::dkDelete) j = c.Index2 + c.Count;
        if (!c.Ignored && left.Count() > first) Blocks.emplace_back(first, left.Count());
    }
    for (; i < static_cast<int>(Left.Lines.size()); ++i, ++j) AppendRow(same, clWindow, i, j);

    left.EndUpdate();
    right.EndUpdate();
    left.SetModified(false);
    right.SetModified(false);
    Filling = false;
    BuildMarkerBitmap();
    QString summary = added == 0 && modified == 0 && deleted == 0
                          ? QStringLiteral("No differences.")
                          : QStringLiteral("%1, %2, %3.")
                                .arg(Lines(added, QStringLiteral("added")), Lines(modified, QStringLiteral("modified")),
                                     Lines(deleted, QStringLiteral("deleted")));
    if (Result.Approximate) summary += QStringLiteral(" (approximate)");
    if (Left.Format.Encoding != Right.Format.Encoding || Left.Format.Bom != Right.Format.Bom)
        summary += QStringLiteral(" The encodings differ.");
    SetSummary(summary);
    UpdateTitle();
}

// Both views hold one line saying what the side is; nothing is laid out row by row.
void TKNShowDifferencesForm::Impl::ShowBinary(const TBinaryComparison& binary)
{
    Blocks.clear();
    Filling = true;
    for (TDiffSide* side : {&Left, &Right}) {
        TLines& lines = side->View->Lines();
        lines.BeginUpdate();
        lines.Clear();
        lines.Add(QStringLiteral("Binary file, %1 bytes.")
                      .arg(Count(static_cast<int64_t>(side->Bytes.size())))
                      .toStdString());
        lines.EndUpdate();
        lines.SetModified(false);
        side->View->SetGutterWidth(0);
        side->View->SetReadOnly(true);
    }
    Filling = false;
    MarkerBitmap = QImage();
    pbDiffMarker->update();
    SetSummary(BinarySummary(binary));
}

void TKNShowDifferencesForm::Impl::SetSummary(const QString& text)
{
    SummaryText = text;
    for (const QString& notice : ServerNotices) SummaryText += QStringLiteral("  ") + notice;
    StatusBar->Panel(3)->SetText(SummaryText);
}

void TKNShowDifferencesForm::Impl::TakeNotices(const std::vector<std::string>& notices)
{
    for (const std::string& notice : notices) {
        const QString shown = ShownText(notice);
        if (ServerNotices.contains(shown)) continue;
        ServerNotices << shown;
        SummaryText += QStringLiteral("  ") + shown;
    }
    StatusBar->Panel(3)->SetText(SummaryText);
}

// The file's line number and, on the first row of a change, an arrow that copies it across.
void TKNShowDifferencesForm::Impl::PaintGutter(TCodeEdit* sender, QPainter& canvas, const QRect& rec, int line, int tag)
{
    const int height = sender->LineHeight();
    if (tag > 0)
        canvas.drawText(QRect(rec.left(), rec.top(), sender->GutterWidth() - 4 - ArrowWidth, height),
                        Qt::AlignRight | Qt::AlignTop, QString::number(tag));
    const int block = BlockAt(line - 1);
    const bool toRight = sender == Left.View;
    const TDiffSide& target = toRight ? Right : Left;
    if (block < 0 || Blocks[static_cast<size_t>(block)].first != line - 1 || !target.Editable()) return;
    canvas.drawText(QRect(sender->GutterWidth() - 3 - ArrowWidth, rec.top(), ArrowWidth, height), Qt::AlignCenter,
                    QString(QChar(toRight ? 0x25B6 : 0x25C0)));
}

// The whole file as a strip of the overview's size: a bar per run of changed rows of one
// colour, at least kMinBar pixels tall however long the file, so that one changed line among
// thousands still shows.
void TKNShowDifferencesForm::Impl::BuildMarkerBitmap()
{
    if (Left.View == nullptr) return;
    const TLines& rows = Left.View->Lines();
    if (rows.Count() == 0 || Right.View->Lines().Count() == 0) return;
    constexpr int kMinBar = 3;
    const int height = std::max(1, pbDiffMarker->height());
    const auto at = [&](int row) { return static_cast<int>(static_cast<int64_t>(row) * height / rows.Count()); };
    MarkerBitmap = QImage(std::max(1, pbDiffMarker->width()), height, QImage::Format_RGB32);
    MarkerBitmap.fill(ToQColor(clWindow, pbDiffMarker->palette()));
    QPainter painter(&MarkerBitmap);
    for (int k = 0; k < rows.Count();) {
        const TColor color = rows.GetLineObj(k).Color;
        int end = k + 1;
        while (end < rows.Count() && rows.GetLineObj(end).Color == color) ++end;
        if (color != clWindow && color != IgnoredColor && color != DarkIgnoredColor)
            painter.fillRect(0, at(k), MarkerBitmap.width(), std::max(kMinBar, at(end) - at(k)),
                             ToQColor(color, pbDiffMarker->palette()));
        k = end;
    }
    pbDiffMarker->update();
}

// The strip, and over it a box around the rows in view.
void TKNShowDifferencesForm::Impl::PaintOverview(QPainter& painter)
{
    const int count = Left.View->Lines().Count();
    if (MarkerBitmap.isNull() || count == 0) return;
    if (MarkerBitmap.size() != pbDiffMarker->size()) BuildMarkerBitmap();
    painter.drawImage(0, 0, MarkerBitmap);
    const QRect client = pbDiffMarker->rect();
    const auto at = [&](int row) {
        return static_cast<int>(static_cast<int64_t>(std::clamp(row, 0, count)) * client.height() / count);
    };
    const int top = at(Left.View->TopLine());
    const int bottom =
        std::min(client.height(), std::max(top + 5, at(Left.View->TopLine() + Left.View->VisibleLines())));
    const QRect box(0, std::min(top, client.height() - 5), client.width(), bottom - std::min(top, client.height() - 5));
    QColor shade = q->palette().color(QPalette::Highlight);
    shade.setAlpha(70);
    painter.fillRect(box, shade);
    painter.setPen(QPen(q->palette().color(QPalette::WindowText), 1));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
}

// ---- scrolling and navigation ----

// Each view follows the other both ways: rows up and down, columns left and right.
void TKNShowDifferencesForm::Impl::ViewScrolled(TCodeEdit* sender)
{
    if (Scrolling) return;
    Scrolling = true;
    TCodeEdit* other = sender == Left.View ? Right.View : Left.View;
    other->SetTopLine(sender->TopLine());
    other->SetLeftCol(sender->LeftCol());
    Scrolling = false;
    pbDiffMarker->update();
}

void TKNShowDifferencesForm::ShowOverviewPoint(int y)
{
    const int rows = d->Left.View->Lines().Count();
    if (rows == 0) return;
    const int row = static_cast<int>(static_cast<int64_t>(std::clamp(y, 0, 10000)) * rows / 10000);
    d->Left.View->SetTopLine(std::max(0, row - d->Left.View->VisibleLines() / 2));
}

// Tool buttons take no focus, so the view that had it still has it; the search box leaves it
// with the view that had it last.
TCodeEdit* TKNShowDifferencesForm::Impl::FocusedView() const
{
    QWidget* focused = q->focusWidget();
    if (focused == Left.View) return Left.View;
    if (focused == Right.View) return Right.View;
    return LastFocused;
}

// The block holding a row, or -1.
int TKNShowDifferencesForm::Impl::BlockAt(int row) const
{
    const auto block = std::upper_bound(Blocks.begin(), Blocks.end(), row,
                                        [](int r, const std::pair<int, int>& b) { return r < b.first; });
    if (block == Blocks.begin() || std::prev(block)->second <= row) return -1;
    return static_cast<int>(std::prev(block) - Blocks.begin());
}

// Next: the first block that starts below the caret's row. Previous: the last block that
// ends at or above it, so a caret inside a block goes to the block before.
// Example: blocks [2,3) and [5,7), caret on row 5 -> next: none, previous: row 2.
void TKNShowDifferencesForm::tbNextClick()
{
    TCodeEdit* view = d->FocusedView();
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
    TCodeEdit* view = d->FocusedView();
    if (!view) return;
    const int caret = view->CaretY();
    const auto block =
        std::find_if(d->Blocks.rbegin(), d->Blocks.rend(), [caret](const auto& b) { return b.second <= caret; });
    if (block != d->Blocks.rend()) view->MoveCaretTo(0, block->first);
}

bool TKNShowDifferencesForm::Find(const QString& text, bool forward)
{
    TCodeEdit* view = d->FocusedView();
    if (view == nullptr) view = d->Left.View;
    const bool found = view->FindText(text.toStdString(), forward);
    d->StatusBar->Panel(3)->SetText(found ? d->SummaryText : QStringLiteral("\"%1\" was not found.").arg(text));
    return found;
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

}  // namespace kn
