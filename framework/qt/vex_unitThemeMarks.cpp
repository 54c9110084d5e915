#include "framework/qt/vex_unitThemeMarks.h"

#include <QCheckBox>
#include <QToolButton>
#include <QWidget>

namespace vex {

void MarkFocusPlainly(QWidget* widget)
{
    // A check box keeps a transparent frame of the same width, so that the focus moves nothing;
    // a tool button keeps its own look (raised on hover) until it has the focus.
    if (qobject_cast<QCheckBox*>(widget))
        widget->setStyleSheet(
            QStringLiteral("QCheckBox { border: 2px solid transparent; padding: 1px; } "
                           "QCheckBox:focus { border-color: palette(highlight); }"));
    else if (qobject_cast<QToolButton*>(widget))
        widget->setStyleSheet(
            QStringLiteral("QToolButton:focus { border: 2px solid palette(highlight); border-radius: 3px; }"));
}

QPalette NoticePalette(const QPalette& palette)
{
    const QColor window = palette.color(QPalette::Window), tint = palette.color(QPalette::Highlight);
    const auto mix = [](int a, int b) { return (a * 3 + b) / 4; };
    QPalette notice = palette;
    notice.setColor(QPalette::Window, QColor(mix(window.red(), tint.red()), mix(window.green(), tint.green()),
                                             mix(window.blue(), tint.blue())));
    return notice;
}

}  // namespace vex
