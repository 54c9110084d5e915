// Set-up shared by the main-window tests of this suite: the main-window fixture with the
// program folder (backups) in the test's own folder, and small tree and list helpers.
#pragma once

#include <QAction>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/qt/vex_unitStatusBar.h"
#include "tests/ui/ui_test_support.h"
#include "ui/kn_unitResultModel.h"

namespace updateui_test {

class UpdateWindowTest : public testutil::MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        setenv("KESTRUNE_HOME", home.path().c_str(), 1);
    }
    void TearDown() override { unsetenv("KESTRUNE_HOME"); }

    // The folders in the program folder: one per update run that made a backup.
    std::vector<std::string> BackupFolders() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(home.path()))
            if (entry.is_directory()) names.push_back(entry.path().filename().string());
        return names;
    }

    static bool WaitIdle(kn::TKNMainForm& window)
    {
        return testutil::WaitUntil([&] { return !window.IsBusy() && window.Engine().State == 0; });
    }
};

// The window tests that open one window on the test's own configuration with an action chosen.
class ActionWindowTest : public UpdateWindowTest {
protected:
    // A shown main window on `config` (opened here when the test has not opened it) with
    // `action` chosen, in expert mode when asked.
    std::unique_ptr<kn::TKNMainForm> Open(kn::TKNAction action, bool expert = false)
    {
        if (!config) config = OpenConfig();
        auto window = std::make_unique<kn::TKNMainForm>(*config);
        window->resize(800, 600);
        window->show();
        for (int i = 0; i < 3 && window->CurrentAction() != action; ++i)
            window->FindAction("actCompareAction")->trigger();
        if (expert) window->FindAction("actHelpExpertMode")->trigger();
        return window;
    }

    static QString StatusText(kn::TKNMainForm& window, int panel)
    {
        return static_cast<vex::TvexStatusBar*>(window.statusBar())->Panel(panel)->Text();
    }

    std::unique_ptr<kn::TKNConfig> config;
};

// left: a.txt (newer, "new"), b.txt (left only, "only-left"); right: a.txt (older, "old"),
// c.txt (right only, "only-right").
inline void MakeUpdateTrees(const std::string& left, const std::string& right)
{
    constexpr int64_t kTime = 1700000000;
    testutil::WriteFile(left + "/a.txt", "new");
    testutil::SetMTime(left + "/a.txt", kTime + 100);
    testutil::WriteFile(right + "/a.txt", "old");
    testutil::SetMTime(right + "/a.txt", kTime);
    testutil::WriteFile(left + "/b.txt", "only-left");
    testutil::WriteFile(right + "/c.txt", "only-right");
}

// The model row whose left or right name is `name`; -1 when none.
inline int FindRow(kn::TKNResultModel& model, const QString& name)
{
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.CellText(row, 0) == name || model.CellText(row, 6) == name) return row;
    return -1;
}

// Selects the given rows of the list (in the given order), replacing the selection.
inline void SelectRows(kn::TKNMainForm& window, const std::vector<int>& rows)
{
    QItemSelectionModel* selection = window.ListViewFiles->selectionModel();
    selection->clearSelection();
    for (int row : rows)
        selection->select(window.ListViewFiles->model()->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

}  // namespace updateui_test
