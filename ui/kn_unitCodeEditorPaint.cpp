// TCodeEdit painting: only the visible rows and, of each, only the visible columns.
#include <QPainter>
#include <algorithm>

#include "ui/kn_unitCodeEditorPrivate.h"

namespace kn {

namespace {

QColor Blend(const QColor& a, const QColor& b, int bPercent)
{
    auto mix = [bPercent](int x, int y) { return (x * (100 - bPercent) + y * bPercent) / 100; };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

bool IsDark(const QColor& c)
{
    return c.lightness() < 128;
}

// Columns of the selected range on a shown line, each tab widening what precedes it.
int ShownColumn(const std::string& text, int64_t chars)
{
    if (chars <= 0) return 0;
    const std::string head = Utf8Mid(text, 0, static_cast<int32_t>(std::min<int64_t>(chars, INT32_MAX)));
    return static_cast<int>(chars) +
           static_cast<int>(std::count(head.begin(), head.end(), '\t')) * (TCodeEdit::TabWidth - 1);
}

}  // namespace

void TCodeEdit::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    d->Paint(painter);
}

// The gutter takes the window colour, tinted with the highlight while the view has the focus.
QColor TCodeEdit::Impl::GutterColor() const
{
    const QPalette& palette = q->palette();
    const QColor window = palette.color(QPalette::Window);
    return q->hasFocus() ? Blend(window, palette.color(QPalette::Highlight), 18) : window;
}

QColor TCodeEdit::Impl::LineBackground(int line) const
{
    const TLineObj& obj = lines.GetLineObj(line);
    return ToQColor(obj.Modified ? modifiedLineColor : obj.Color, q->palette());
}

void TCodeEdit::Impl::Paint(QPainter& painter)
{
    const QPalette& palette = q->palette();
    const QRect client = q->viewport()->rect();
    painter.fillRect(QRect(gutterWidth, 0, client.width() - gutterWidth, client.height()), ToQColor(color, palette));
    if (gutterWidth > 0) {
        painter.fillRect(QRect(0, 0, gutterWidth, client.height()), GutterColor());
        painter.setPen(palette.color(QPalette::Dark));
        painter.drawLine(gutterWidth - 1, 0, gutterWidth - 1, client.height());
        painter.setPen(palette.color(QPalette::Midlight));
        painter.drawLine(gutterWidth - 2, 0, gutterWidth - 2, client.height());
    }
    painter.setFont(q->font());
    const int textLeft = gutterWidth + LeftMargin;
    for (int i = 0; i <= visibleLines && topLine + i < lines.Count(); ++i) {
        const int y = i * lineHeight + TopMargin;
        if (i == 0) {
            QColor above = topLine > 0 ? LineBackground(topLine - 1) : ToQColor(color, palette);
            painter.fillRect(QRect(textLeft, 0, client.width() - textLeft, TopMargin), above);
        }
        PaintRow(painter, topLine + i, y);
    }
    if (caretInView && q->hasFocus() && caretBlinkOn)
        painter.fillRect(QRect(caretPos, QSize(2, lineHeight - 2)), palette.color(QPalette::Text));
}

void TCodeEdit::Impl::PaintRow(QPainter& painter, int line, int y)
{
    const QPalette& palette = q->palette();
    const QRect client = q->viewport()->rect();
    const TLineObj& obj = lines.GetLineObj(line);
    const std::string& text = lines.Get(line);

    const QRect margin(0, y, gutterWidth - 3, lineHeight);
    if (autoLineNum) {
        painter.setPen(palette.color(QPalette::WindowText));
        painter.drawText(QRect(0, y, gutterWidth - 4, lineHeight), Qt::AlignRight | Qt::AlignTop,
                         QString::number(line + 1));
    } else if (onPaintLeftMargin && gutterWidth > 0) {
        painter.save();
        painter.setBrush(GutterColor());
        painter.setPen(palette.color(QPalette::WindowText));
        onPaintLeftMargin(q, painter, margin, line + 1, obj.Tag);
        painter.restore();
    }

    const QRect row(gutterWidth + LeftMargin, y, client.width() - gutterWidth - LeftMargin, lineHeight);
    painter.fillRect(row, LineBackground(line));
    // Only the visible columns are shaped: a long line costs no more than a short one.
    const QString shown = ExpandTabs(text).mid(leftCol, std::max(0, visibleCols + 2));
    painter.save();
    painter.setClipRect(row);
    PaintMarks(painter, line, row);
    if (showWhitespace) PaintWhitespace(painter, line, row);
    painter.setPen(palette.color(QPalette::Text));
    painter.drawText(QRect(row.left(), y, row.width(), lineHeight), Qt::AlignLeft | Qt::AlignTop, shown);

    const int64_t selStart = SelStart(), selEnd = SelEnd();
    if (selStart != selEnd && obj.StartOffset + obj.CharCount >= selStart && selEnd >= obj.StartOffset) {
        const int a = ShownColumn(text, std::max<int64_t>(0, selStart - obj.StartOffset));
        const int b = ShownColumn(text, std::min<int64_t>(obj.CharCount, selEnd - obj.StartOffset));
        const int aShown = std::max(0, a - leftCol);
        const int width = std::max(0, b - leftCol - aShown);
        const bool endsHere = selEnd - obj.StartOffset <= obj.CharCount;
        const int left = row.left() + aShown * charWidth;
        const int right = endsHere ? row.left() + (aShown + width) * charWidth : row.right() + 1;
        const QRect selected(left, y, std::max(0, right - left), lineHeight);
        if (selected.width() > 0) {
            const bool focused = q->hasFocus();
            painter.setClipRect(selected.intersected(row));
            painter.fillRect(selected, focused
                                           ? palette.color(QPalette::Highlight)
                                           : Blend(palette.color(QPalette::Base), palette.color(QPalette::Text), 25));
            painter.setPen(ToQColor(clHighlightText, palette));
            painter.drawText(QRect(row.left(), y, row.width(), lineHeight), Qt::AlignLeft | Qt::AlignTop, shown);
        }
    }
    painter.restore();
}

// Marked runs in the line's colour made stronger: darker on a light background, lighter on a
// dark one.
void TCodeEdit::Impl::PaintMarks(QPainter& painter, int line, const QRect& row)
{
    const std::vector<TInlineMark>& marks = lines.Marks(line);
    if (marks.empty()) return;
    const std::string& text = lines.Get(line);
    const QColor background = LineBackground(line);
    const QColor strong = IsDark(background) ? background.lighter(160) : background.darker(125);
    for (const TInlineMark& mark : marks) {
        const int a = ShownColumn(text, mark.First) - leftCol;
        const int b = ShownColumn(text, mark.First + mark.Count) - leftCol;
        if (b <= 0 || a > visibleCols + 2) continue;
        painter.fillRect(
            QRect(row.left() + std::max(0, a) * charWidth, row.top(), (b - std::max(0, a)) * charWidth, lineHeight),
            strong);
    }
}

// Faint signs: an arrow at each tab, a dot for each blank after the last other character, and
// a pilcrow after the line's end.
void TCodeEdit::Impl::PaintWhitespace(QPainter& painter, int line, const QRect& row)
{
    const std::u32string chars = Utf8Decode(lines.Get(line));
    size_t trailing = chars.size();
    while (trailing > 0 && (chars[trailing - 1] == U' ' || chars[trailing - 1] == U'\t')) --trailing;
    const QPalette& palette = q->palette();
    painter.setPen(Blend(LineBackground(line), palette.color(QPalette::Text), 45));
    const QRect cell(0, row.top(), charWidth, lineHeight);
    int column = 0;
    auto sign = [&](int at, QChar c) {
        if (at >= leftCol && at <= leftCol + visibleCols + 1)
            painter.drawText(cell.translated(row.left() + (at - leftCol) * charWidth, 0), Qt::AlignCenter, QString(c));
    };
    for (size_t k = 0; k < chars.size(); ++k) {
        if (chars[k] == U'\t') sign(column, QChar(0x2192));
        if (chars[k] == U' ' && k >= trailing) sign(column, QChar(0x00B7));
        column += chars[k] == U'\t' ? TabWidth : 1;
    }
    sign(column, QChar(0x00B6));
}

}  // namespace kn
