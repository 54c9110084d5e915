// Marks that every theme keeps in sight: the keyboard focus on small controls (some dark themes
// draw it in a shade next to the background) and the colours of a notice line above a list
// (tooltip colours stay a light yellow in some dark themes and glare).
#pragma once

#include <QPalette>

class QWidget;

namespace vex {

// Frames `widget` (a tool button or a check box) in the palette's highlight colour, two pixels
// wide, while it has the keyboard focus.
void MarkFocusPlainly(QWidget* widget);

// The colours of a notice line on `palette`: the window colour tinted with a quarter of the
// highlight, and the window text, which reads on it in a light and a dark palette alike.
QPalette NoticePalette(const QPalette& palette);

}  // namespace vex
