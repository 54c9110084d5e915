// The four update commands of the main window, driven as a user would: the confirmation and
// its answers, the rows handed to the update, backups, expert mode, and the result on disk.
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>

#include "engine/kn_unitRootIdentity.h"
#include "engine/kn_unitRunLock.h"
#include "framework/qt/vex_unitStatusBar.h"
#include "modal_script.h"
#include "ui/kn_frmConfirm.h"
#include "updateui_support.h"

namespace updateui_test {
namespace {

using testutil::Exists;
using testutil::ReadFile;
using testutil::WriteFile;

class UpdateCommands : public UpdateWindowTest {
protected:
    void MakeTrees() { MakeUpdateTrees(left, right); }

    static void SetWindowAction(kn::TKNMainForm& window, kn::TKNAction action)
    {
        for (int i = 0; i < 3 && window.CurrentAction() != action; ++i)
            window.FindAction("actCompareAction")->trigger();
        ASSERT_EQ(window.CurrentAction(), action);
    }

    // The window compared left and right with the action Left to Right.
    std::unique_ptr<kn::TKNMainForm> OpenCompared(std::unique_ptr<kn::TKNConfig>& config)
    {
        config = OpenConfig();
        auto window = std::make_unique<kn::TKNMainForm>(*config);
        window->resize(800, 600);
        window->show();
        SetWindowAction(*window, kn::TKNAction::LeftToRight);
        Compare(*window, left, right);
        return window;
    }

    std::vector<int> RowsNamed(kn::TKNMainForm& window, const std::vector<QString>& names)
    {
        std::vector<int> rows;
        for (const QString& name : names) {
            rows.push_back(FindRow(window.ResultModel(), name));
            EXPECT_GE(rows.back(), 0) << name.toStdString();
        }
        return rows;
    }
};

struct CommandCase {
    const char* name;
    const char* action;
    std::vector<QString> selected;  // rows selected before the command
    const char* actionText;
    const char* rightA;  // content of right/a.txt afterwards
    bool rightB;         // right/b.txt exists afterwards
    bool rightC;         // right/c.txt exists afterwards
};

const CommandCase kCommands[] = {
    {"Update", "actCompareUpdate", {}, "Left to Right, All Files", "new", true, true},
    {"UpdateSelection", "actCompareUpdateSelection", {"b.txt"}, "Left to Right, Selection Only", "old", true, true},
    {"ForceUpdate", "actCompareForceUpdate", {}, "Left to Right, All Files, Force Update", "new", true, false},
    {"ForceUpdateSelection",
     "actCompareForceUpdateSelection",
     {"c.txt"},
     "Left to Right, Selection Only, Force Update",
     "old",
     false,
     false},
};

void PrintTo(const CommandCase& c, std::ostream* os)
{
    *os << c.name;
}

class UpdateCommandAnswers : public UpdateCommands, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(UpdateCommandAnswers, AcceptedUpdatesTheRightRows)
{
    const CommandCase& c = GetParam();
    MakeTrees();
    std::unique_ptr<kn::TKNConfig> config;
    auto window = OpenCompared(config);
    SelectRows(*window, RowsNamed(*window, c.selected));

    ModalScript script({ModalScript::Confirm()});
    window->FindAction(c.action)->trigger();
    ASSERT_TRUE(WaitIdle(*window));
    ASSERT_EQ(script.Seen.size(), 1) << "the confirmation is shown once";
    EXPECT_EQ(script.Seen[0].toStdString(), "confirm: " + left + " | " + right + " | " + c.actionText);
    EXPECT_TRUE(script.Unexpected.isEmpty()) << script.Unexpected.join("; ").toStdString();
    EXPECT_EQ(ReadFile(right + "/a.txt"), c.rightA);
    EXPECT_EQ(Exists(right + "/b.txt"), c.rightB);
    EXPECT_EQ(Exists(right + "/c.txt"), c.rightC);
    EXPECT_EQ(ReadFile(left + "/a.txt"), "new") << "the read side is never written";
    EXPECT_TRUE(BackupFolders().empty()) << "no backup unless the box is ticked";
    EXPECT_EQ(window->ResultModel().rowCount(), static_cast<int>(window->Engine().Items.size()))
        << "the follow-up comparison refreshed the list";
}

TEST_P(UpdateCommandAnswers, CancelChangesNothingAndEndsTheBusyState)
{
    const CommandCase& c = GetParam();
    MakeTrees();
    std::unique_ptr<kn::TKNConfig> config;
    auto window = OpenCompared(config);
    SelectRows(*window, RowsNamed(*window, c.selected));
    const int rowsBefore = window->ResultModel().rowCount();

    ModalScript script({ModalScript::CancelDialog()});
    window->FindAction(c.action)->trigger();
    EXPECT_FALSE(window->IsBusy()) << "a cancelled confirmation ends the busy state at once";
    EXPECT_EQ(window->Engine().State, 0) << "no update started";
    ASSERT_EQ(script.Seen.size(), 1);
    EXPECT_EQ(ReadFile(right + "/a.txt"), "old");
    EXPECT_TRUE(Exists(right + "/c.txt"));
    EXPECT_FALSE(Exists(right + "/b.txt"));
    EXPECT_EQ(window->ResultModel().rowCount(), rowsBefore);
}

INSTANTIATE_TEST_SUITE_P(Commands, UpdateCommandAnswers, ::testing::ValuesIn(kCommands),
                         [](const ::testing::TestParamInfo<CommandCase>& row) { return std::string(row.param.name); });

TEST_F(UpdateCommands, BackupKeepsWhatIsOverwrittenAndDeletedOnlyWhenTicked)
{
    MakeTrees();
    std::unique_ptr<kn::TKNConfig> config;
    auto window = OpenCompared(config);
    ModalScript script({ModalScript::Confirm(true)});
    window->FindAction("actCompareForceUpdate")->trigger();
    ASSERT_TRUE(WaitIdle(*window));
    std::vector<std::string> backups = BackupFolders();
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups[0].size(), 12u) << backups[0] << ": named yymmddhhnnss";
    EXPECT_EQ(ReadFile(home / (backups[0] + "/Right/a.txt")), "old") << "the overwritten file";
    EXPECT_EQ(ReadFile(home / (backups[0] + "/Right/c.txt")), "only-right") << "the deleted file";
    EXPECT_FALSE(Exists(right + "/c.txt"));
}

TEST_F(UpdateCommands, ExpertModeUpdatesAtOnceWithoutBackup)
{
    MakeTrees();
    std::unique_ptr<kn::TKNConfig> config;
    auto window = OpenCompared(config);
    window->FindAction("actHelpExpertMode")->trigger();
    ASSERT_TRUE(window->IsExpertMode());
    ModalScript script;
    window->FindAction("actCompareForceUpdate")->trigger();
    ASSERT_TRUE(WaitIdle(*window));
    EXPECT_TRUE(script.Unexpected.isEmpty()) << "no dialog: " << script.Unexpected.join("; ").toStdString();
    EXPECT_EQ(ReadFile(right + "/a.txt"), "new");
    EXPECT_FALSE(Exists(right + "/c.txt"));
    EXPECT_TRUE(BackupFolders().empty());
}

TEST_F(UpdateCommands, UpdateSelectionHandsTheSelectedRowsInViewOrder)
{
    for (int i = 0; i < 10; ++i) WriteFile(left + "/f" + std::to_string(i) + ".txt", "x");
    std::unique_ptr<kn::TKNConfig> config;
    auto window = OpenCompared(config);
    ASSERT_EQ(window->ResultModel().rowCount(), 10);
    window->FindAction("actHelpExpertMode")->trigger();
    SelectRows(*window, {7, 2, 5});
    std::vector<std::string> chosen;
    for (int row : {2, 5, 7}) chosen.push_back(window->ResultModel().CellText(row, 0).toStdString());

    window->FindAction("actCompareUpdateSelection")->trigger();
    EXPECT_EQ(window->UpdateSelection(), (std::vector<int>{2, 5, 7}));
    ASSERT_TRUE(WaitIdle(*window));
    for (int i = 0; i < 10; ++i) {
        std::string name = "f" + std::to_string(i) + ".txt";
        bool wanted = std::find(chosen.begin(), chosen.end(), name) != chosen.end();
        EXPECT_EQ(Exists(right + "/" + name), wanted) << name;
    }
    EXPECT_EQ(window->ResultModel().rowCount(), 7);
}

TEST_F(UpdateCommands, CommandsDoNothingWhileBusy)
{
    MakeTrees();
    std::unique_ptr<kn::TKNConfig> config;
    auto window = OpenCompared(config);
    window->FindAction("actHelpExpertMode")->trigger();
    window->FindAction("actCompareCompare")->trigger();
    ASSERT_TRUE(window->IsBusy());
    window->FindAction("actCompareForceUpdate")->trigger();
    ASSERT_TRUE(WaitIdle(*window));
    EXPECT_EQ(ReadFile(right + "/a.txt"), "old");
    EXPECT_TRUE(Exists(right + "/c.txt"));
}

TEST_F(UpdateCommands, EveryFailureIsShownAndTheUpdateGoesOn)
{
    MakeTrees();
    // A folder where the file should go: the copy of a.txt cannot replace it.
    std::filesystem::remove(right + "/a.txt");
    testutil::MakeDirs(right + "/a.txt/inside");
    WriteFile(left + "/d.txt", "also");
    std::unique_ptr<kn::TKNConfig> config;
    auto window = OpenCompared(config);
    window->FindAction("actHelpExpertMode")->trigger();
    ModalScript script({ModalScript::Ok(), ModalScript::Ok(), ModalScript::Ok()});
    window->FindAction("actCompareUpdate")->trigger();
    ASSERT_TRUE(WaitIdle(*window));
    ASSERT_FALSE(script.Seen.isEmpty()) << "the failure was shown";
    EXPECT_TRUE(script.Seen[0].startsWith("error: ")) << script.Seen[0].toStdString();
    EXPECT_EQ(ReadFile(right + "/b.txt"), "only-left") << "the rows after the failure were done";
    EXPECT_EQ(ReadFile(right + "/d.txt"), "also");
    EXPECT_TRUE(Exists(right + "/a.txt/inside")) << "nothing lost";
}

// The window runs through the run layer: one folder under two names is refused before it is
// compared, and while another run of the pair holds its lock, an update starts nothing.
TEST_F(UpdateCommands, OneFolderUnderTwoNamesAndAPairInUseAreRefused)
{
    MakeTrees();
    const std::string alias = trees / "alias";
    ASSERT_EQ(::symlink(left.c_str(), alias.c_str()), 0);
    std::unique_ptr<kn::TKNConfig> config = OpenConfig();
    kn::TKNMainForm window(*config);
    window.show();
    SetWindowAction(window, kn::TKNAction::LeftToRight);
    {
        ModalScript script({ModalScript::Ok()});
        Compare(window, left, alias);
        ASSERT_EQ(script.Seen.size(), 1);
        EXPECT_TRUE(script.Seen[0].contains("are one folder")) << script.Seen[0].toStdString();
        EXPECT_EQ(window.ResultModel().rowCount(), 0) << "nothing compared";
    }
    Compare(window, left, right);
    kn::TKNRootIdentity l, r;
    std::string error;
    ASSERT_TRUE(kn::RootIdentityOf(left, l, error) && kn::RootIdentityOf(right, r, error));
    auto held = kn::TKNRunLock::Take(l.Key, r.Key, "the command line", false, nullptr, error);
    ASSERT_TRUE(held) << error;
    window.FindAction("actHelpExpertMode")->trigger();
    ModalScript script({ModalScript::Ok()});
    window.FindAction("actCompareUpdate")->trigger();
    ASSERT_TRUE(WaitIdle(window));
    ASSERT_EQ(script.Seen.size(), 1);
    EXPECT_TRUE(script.Seen[0].contains("in progress")) << script.Seen[0].toStdString();
    EXPECT_FALSE(Exists(right + "/b.txt"));
    held.reset();
    window.FindAction("actCompareUpdate")->trigger();
    ASSERT_TRUE(WaitIdle(window));
    EXPECT_EQ(ReadFile(right + "/b.txt"), "only-left");
}

// With "Compare file contents" on, a pair with the same bytes and other times is no row, yet the
// window's update of the whole result sets the written side's time, as kestrune-cli's does.
struct TimeOnlyCase {
    const char* name;
    kn::TKNAction action;
    const char* command;
    std::vector<QString> selected;
    bool timeSet;      // the confirmation counts the time and the written side takes it
    bool writesRight;  // the side the action writes
};

const TimeOnlyCase kTimeOnlyCases[] = {
    {"LeftToRight", kn::TKNAction::LeftToRight, "actCompareUpdate", {}, true, true},
    {"Auto", kn::TKNAction::Auto, "actCompareUpdate", {}, true, true},
    {"ForcedRightToLeft", kn::TKNAction::RightToLeft, "actCompareForceUpdate", {}, true, false},
    {"SelectionLeavesIt", kn::TKNAction::LeftToRight, "actCompareUpdateSelection", {"a.txt"}, false, true},
};

void PrintTo(const TimeOnlyCase& c, std::ostream* os)
{
    *os << c.name;
}

int64_t MTimeOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mtime;
}

class ContentEqualTimes : public UpdateCommands, public ::testing::WithParamInterface<TimeOnlyCase> {};

TEST_P(ContentEqualTimes, TheWindowsUpdateSetsTheWrittenSidesTime)
{
    const TimeOnlyCase& c = GetParam();
    constexpr int64_t kLeftTime = 1700000600, kRightTime = 1700000000;
    MakeTrees();
    WriteFile(left + "/same.bin", "same bytes");
    testutil::SetMTime(left + "/same.bin", kLeftTime);
    WriteFile(right + "/same.bin", "same bytes");
    testutil::SetMTime(right + "/same.bin", kRightTime);
    std::unique_ptr<kn::TKNConfig> config = OpenConfig();
    config->Header.CurrentOptions.CompareContent = 1;
    kn::TKNMainForm window(*config);
    window.resize(800, 600);
    window.show();
    SetWindowAction(window, c.action);
    Compare(window, left, right);
    ASSERT_EQ(FindRow(window.ResultModel(), "same.bin"), -1) << "equal bytes are no difference";
    const QString status = static_cast<vex::TvexStatusBar*>(window.statusBar())->Panel(1)->Text();
    EXPECT_TRUE(status.startsWith("1 file(s) with equal contents have other times")) << status.toStdString();
    SelectRows(window, RowsNamed(window, c.selected));

    QString totals;
    ModalScript script({ModalScript::Inspect(
        [&](QWidget* modal) {
            if (auto* form = qobject_cast<kn::TKNConfirmForm*>(modal)) totals = form->lblTotals->text();
        },
        ModalScript::Confirm())});
    window.FindAction(c.command)->trigger();
    ASSERT_TRUE(WaitIdle(window));
    EXPECT_EQ(totals.contains("1 time to set"), c.timeSet) << totals.toStdString();
    const int64_t written = MTimeOf((c.writesRight ? right : left) + "/same.bin");
    const int64_t source = c.writesRight ? kLeftTime : kRightTime;
    if (c.timeSet)
        EXPECT_EQ(written, source);
    else
        EXPECT_NE(written, source);
    EXPECT_EQ(MTimeOf((c.writesRight ? left : right) + "/same.bin"), source) << "the read side is never written";
    EXPECT_EQ(ReadFile(right + "/same.bin"), "same bytes");
    EXPECT_EQ(FindRow(window.ResultModel(), "same.bin"), -1);
}

INSTANTIATE_TEST_SUITE_P(Commands, ContentEqualTimes, ::testing::ValuesIn(kTimeOnlyCases),
                         [](const ::testing::TestParamInfo<TimeOnlyCase>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace updateui_test
