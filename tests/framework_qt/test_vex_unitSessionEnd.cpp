// The ends of a session: SIGTERM saves on the main thread, once, before the program goes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <csignal>

#include "framework/qt/vex_unitSessionEnd.h"

TEST(SessionEnd, ATermSignalSavesOnTheMainThread)
{
    int saves = 0;
    Qt::HANDLE savedOn = nullptr;
    vex::SaveAtSessionEnd([&] {
        ++saves;
        savedOn = QThread::currentThreadId();
    });
    EXPECT_EQ(saves, 0);
    ASSERT_EQ(raise(SIGTERM), 0) << "the process lives on: the signal is taken";
    QElapsedTimer timer;
    timer.start();
    while (saves == 0 && timer.elapsed() < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(savedOn, QThread::currentThreadId());
    std::signal(SIGHUP, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
}
