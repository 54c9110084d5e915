// Where a top-level window goes: a first placement of a comfortable size, and a saved or
// proposed placement brought inside the screen's available area with its frame (title bar and
// borders), which the window manager adds outside the window's own area.
#pragma once

#include <QMargins>
#include <QRect>

class QWidget;

namespace vex {

// Two thirds of `area` in each direction, centred in it.
QRect FirstPlacement(const QRect& area);

// `place` holds the frame's top-left corner and the size of the window's own area, as pos()
// and size() report them. The result fits the whole frame into `area`: the size shrunk to the
// room left by `frame`, then the corner moved as little as it takes.
// Example: area 0,0 1000x800, frame 4,30,4,4, place 900,10 1000x800 -> 0,0 992x766.
QRect FitPlacement(const QRect& place, const QRect& area, const QMargins& frame);

// The available area of the screen that holds most of `window` (the primary screen when none
// does, 0,0 1024x768 without screens).
QRect AvailableArea(const QWidget* window);

// A guess of the frame a window manager draws, for placing a window before it is shown.
QMargins EstimatedFrame(const QWidget* window);

// Places `window` at `place` (see FitPlacement) on its screen, with the estimated frame; once
// the window is shown and its real frame is known, it is fitted again if it still sticks out.
void PlaceOnScreen(QWidget* window, const QRect& place);

}  // namespace vex
