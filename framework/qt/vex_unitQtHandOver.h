// Connects the main-thread hand-over of the worker threads to Qt's event loop: a worker that
// queues a call wakes the loop, which runs the queue; newest-only calls are run by a timer when
// their time has come; waits on the main thread keep the
// windows alive by processing pending events.
#pragma once

namespace vex {

// Call once on the main thread after the QApplication exists, before any worker starts.
void InstallQtHandOver();

}  // namespace vex
