#include "framework/qt/vex_unitQtHandOver.h"

#include <QCoreApplication>
#include <QTimer>

#include "framework/vex_unitThreads.h"

namespace vex {

void InstallQtHandOver()
{
    SetSynchronizeWakeUp([] {
        // Runs on the worker: post the drain into the main thread's event loop.
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app, [] { ProcessSynchronized(); }, Qt::QueuedConnection);
    });
    SetNewestWakeUp([](int delayMs) {
        // Runs on a worker or the main thread: the timer must start on the main thread.
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app,
                [app, delayMs] { QTimer::singleShot(delayMs, Qt::PreciseTimer, app, [] { ProcessSynchronized(); }); },
                Qt::QueuedConnection);
    });
    SetProcessMessages([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); });
}

}  // namespace vex
