#include "framework/qt/vex_unitSessionEnd.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <csignal>

namespace vex {

namespace {

constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGINT};
// The signal handler only writes a byte here (the one thing it may do safely); the event loop
// reads it and does the work on the main thread.
int wakeFds[2] = {-1, -1};

extern "C" void OnEndSignal(int signal)
{
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = write(wakeFds[1], &byte, 1);
    std::signal(signal, SIG_DFL);  // a second one ends the program at once
}

}  // namespace

void SaveAtSessionEnd(std::function<void()> save)
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app == nullptr) return;
    QObject::connect(app, &QGuiApplication::commitDataRequest, app, [save](QSessionManager&) { save(); });
    if (wakeFds[0] < 0 && pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [save] {
        char byte = 0;
        while (read(wakeFds[0], &byte, 1) == 1) {
        }
        save();
        QCoreApplication::quit();
    });
    for (int signal : kEndSignals) std::signal(signal, OnEndSignal);
}

}  // namespace vex
