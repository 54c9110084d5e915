// TCodeEdit painting: only the visible rows and, of each, only the visible columns.
#include <QPainter>
#include <algorithm>

#include "ui/kn_unitCodeEditorPrivate.h"

namespace kn {

namespace {

constexpr TColor FocusedGutterColor = 0xAAEEEE;
constexpr TColor UnfocusedGutterColor = 0xD0D0D0;
constexpr TColor GutterEdgeDark = 0x808080;
constexpr TColor GutterEdgeLight = 0xC0C0C0;
constexpr TColor UnfocusedSelectionColor = 0xC0C0C0;

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

QColor TCodeEdit::Impl::GutterColor() const
{
    return ToQColor(q->hasFocus() ? FocusedGutterColor : UnfocusedGutterColor, q->palette());
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
        painter.setPen(ToQColor(GutterEdgeDark, palette));
        painter.drawLine(gutterWidth - 1, 0, gutterWidth - 1, client.height());
        painter.setPen(ToQColor(GutterEdgeLight, palette));
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
        painter.setPen(palette.color(QPalette::Text));
        painter.drawText(QRect(0, y, gutterWidth - 4, lineHeight), Qt::AlignRight | Qt::AlignTop,
                         QString::number(line + 1));
    } else if (onPaintLeftMargin && gutterWidth > 0) {
        painter.save();
        painter.setBrush(GutterColor());
        painter.setPen(palette.color(QPalette::Text));
        onPaintLeftMargin(q, painter, margin, line + 1, obj.Tag);
        painter.restore();
    }

    const QRect row(gutterWidth + LeftMargin, y, client.width() - gutterWidth - LeftMargin, lineHeight);
    painter.fillRect(row, LineBackground(line));
    // Only the visible columns are shaped: a long line costs no more than a short one.
    const QString shown = ExpandTabs(text).mid(leftCol, std::max(0, visibleCols + 2));
    painter.save();
    painter.setClipRect(row);
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
            painter.fillRect(selected, ToQColor(focused ? clHighlight : UnfocusedSelectionColor, palette));
            painter.setPen(ToQColor(clHighlightText, palette));
            painter.drawText(QRect(row.left(), y, row.width(), lineHeight), Qt::AlignLeft | Qt::AlignTop, shown);
        }
    }
    painter.restore();
}

}  // namespace kn
