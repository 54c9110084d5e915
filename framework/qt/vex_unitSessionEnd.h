// The ends of a program that are not a click on its close button: the desktop session asks it
// to keep its state before a logout (the session manager's commitData), and a logout or `kill`
// sends SIGTERM (or SIGHUP when its terminal goes). Either way the program's settings are
// written first; after a signal the event loop then ends as at a normal quit.
#pragma once

#include <functional>

namespace vex {

// Calls `save` on the main thread when the session manager asks the application to commit its
// data, and when SIGTERM, SIGHUP or SIGINT arrives; after a signal, QCoreApplication::quit
// follows. Call once, after the application object exists; the signals keep their default
// action until then. A second signal while the first is handled ends the program at once.
void SaveAtSessionEnd(std::function<void()> save);

}  // namespace vex
