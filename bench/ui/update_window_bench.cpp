// The main window's update of a tree, timed as a user starts it: compare, Update (expert mode,
// so no confirmation), and the comparison after the update, until the window is idle again.
//   bench_update_window LEFT RIGHT     (prints the seconds; RIGHT is brought in line with LEFT)
// The configuration lives in a temporary folder (KESTRUNE_HOME).
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "config/kn_unitConfig.h"
#include "framework/qt/vex_unitQtHandOver.h"
#include "framework/vex_unitThreads.h"
#include "ui/kn_frmMain.h"

namespace {

// Runs the event loop, as the program does, until the window has finished what it is doing;
// a timer looks every 10 ms, so the main thread sleeps between events as it would.
void WaitIdle(kn::TKNMainForm& window)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!window.IsBusy() && window.Engine().State == 0) loop.quit();
    });
    poll.start(10);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_update_window LEFT RIGHT\n");
        return 2;
    }
    QTemporaryDir home;
    setenv("KESTRUNE_HOME", home.path().toLocal8Bit().constData(), 1);
    vex::InstallQtHandOver();
    kn::TKNConfig config(home.filePath("Kestrune.bin").toStdString(), kn::TKNWorkArea{0, 0, 1000, 700});
    kn::TKNMainForm window(config);
    window.show();
    window.FindAction("actHelpExpertMode")->trigger();
    while (window.CurrentAction() != kn::TKNAction::LeftToRight) window.FindAction("actCompareAction")->trigger();
    window.edFolderLeft->setText(QString::fromLocal8Bit(argv[1]));
    window.edFolderRight->setText(QString::fromLocal8Bit(argv[2]));
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    window.FindAction("actCompareCompare")->trigger();
    WaitIdle(window);
    window.FindAction("actCompareUpdate")->trigger();
    WaitIdle(window);
    std::printf("%.3f\n", static_cast<double>(clock.nsecsElapsed()) / 1e9);
    return window.Engine().Items.empty() ? 0 : 1;
}
