// Shared set-up of the main-window tests: a private configuration file, two temporary trees,
// and waits that keep the event loop and the worker hand-over going.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <memory>

#include "config/kn_unitConfig.h"
#include "framework/qt/vex_unitDialogs.h"
#include "framework/qt/vex_unitQtHandOver.h"
#include "framework/vex_unitThreads.h"
#include "tests/common/temp_tree.h"
#include "ui/kn_frmMain.h"

namespace testutil {

// Serves events and the hand-over until `done` or the time-out; false on time-out.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        vex::ProcessSynchronized();
        QThread::msleep(1);
    }
    return true;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vex::InstallQtHandOver();
        vex::SetApplicationTitle("Kestrune 3.3.2");
        left = trees / "left";
        right = trees / "right";
        MakeDirs(left);
        MakeDirs(right);
    }

    std::unique_ptr<kn::TKNConfig> OpenConfig()
    {
        return std::make_unique<kn::TKNConfig>(home / "Kestrune.bin", kn::TKNWorkArea{0, 0, 800, 600});
    }

    // Types the two folders and runs Compare to its end.
    static void Compare(kn::TKNMainForm& window, const std::string& leftFolder, const std::string& rightFolder)
    {
        window.edFolderLeft->setText(QString::fromStdString(leftFolder));
        window.edFolderRight->setText(QString::fromStdString(rightFolder));
        window.FindAction("actCompareCompare")->trigger();
        ASSERT_TRUE(WaitUntil([&] { return !window.IsBusy(); })) << "the comparison did not end";
    }

    TempDir home;
    TempDir trees;
    std::string left;
    std::string right;
};

}  // namespace testutil
