// Times the differences window's work before it is shown (reading both files, hashing,
// comparing and filling both views) for one pair of files. Built and run by bench/diff.sh.
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "ui/kn_frmShowDifferences.h"

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: diff_window_fill LEFT-FILE RIGHT-FILE\n");
        return 2;
    }
    kn::TKNShowDifferencesForm form;
    QString error;
    QElapsedTimer clock;
    clock.start();
    const std::clock_t cpuStart = std::clock();
    if (!form.LoadFiles(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 2;
    }
    while (form.Comparing())  // the comparison runs on a worker; its end arrives as an event
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // CPU seconds, wall seconds, rows: the CPU figure is the one other work cannot blur.
    std::printf("%.2f %.2f %d\n", static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC,
                static_cast<double>(clock.nsecsElapsed()) / 1e9, form.LeftView()->Lines().Count());
    return 0;
}
