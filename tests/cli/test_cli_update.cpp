// kestrune-cli update, run as a program: the operations it prints, dry runs, failures, backups
// and exit statuses.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <future>

#include "engine/kn_unitRootIdentity.h"
#include "engine/kn_unitRunLock.h"
#include "side/kn_unitSideRules.h"
#include "tests/cli/cli_run.h"
#include "tests/common/temp_tree.h"

using clitest::RunCli;
using namespace testutil;

namespace {

struct Trees {
    TempDir dir;
    std::string left = dir / "L", right = dir / "R";
    Trees()
    {
        WriteFile(left + "/sub/a.txt", "a");
        SetMTime(left + "/sub/a.txt", 1500000000);
        WriteFile(right + "/gone.txt", "g");
        SetMTime(right + "/gone.txt", 1500000000);
    }
};

int CountEntries(const std::string& folder)
{
    int n = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(folder); it != std::filesystem::end(it); ++it) ++n;
    return n;
}

}  // namespace

TEST(CliUpdate, PrintsEachOperationThenWhatIsLeft)
{
    Trees t;
    auto r = RunCli({"update", "--action", "left-to-right", t.left, t.right});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, t.right + "/sub\n" + t.right + "/sub/a.txt\n" + "right\t\t\t\t2017-07-14 02:40:00\t1\tgone.txt\n")
        << "the follow-up comparison still lists the right-only file";
    EXPECT_NE(r.err.find("Found 1 folder(s) and file(s)."), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(t.right + "/sub/a.txt"), "a");
}

TEST(CliUpdate, ForceDeletesWhatOnlyTheWrittenSideHas)
{
    Trees t;
    auto r = RunCli({"update", t.left, t.right, "--action=left-to-right", "--force"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(Exists(t.right + "/gone.txt"));
    EXPECT_NE(r.err.find("Found 0 folder(s) and file(s)."), std::string::npos) << r.err;
}

TEST(CliUpdate, DryRunSaysWhatEachOperationWouldDoAndChangesNothing)
{
    Trees t;
    auto dry = RunCli({"update", "--dry-run", "--force", "--action", "left-to-right", t.left, t.right});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(CountEntries(t.right), 1);
    EXPECT_EQ(ReadFile(t.right + "/gone.txt"), "g");
    auto real = RunCli({"update", "--force", "--action", "left-to-right", t.left, t.right});
    // Folders first, then the copies, then the deletions.
    EXPECT_EQ(real.out, t.right + "/sub\n" + t.right + "/sub/a.txt\n" + t.right + "/gone.txt\n");
    const std::string planned = "create folder " + t.right + "/sub\n" + "copy " + t.left + "/sub/a.txt -> " + t.right +
                                "/sub/a.txt\n" + "delete " + t.right + "/gone.txt\n";
    EXPECT_EQ(dry.out.substr(0, planned.size()), planned) << dry.out;
}

TEST(CliUpdate, AFailureGoesToStandardErrorAndTheStatusIsOne)
{
    TempDir dir;
    WriteFile(dir / "L/clash/in.txt", "i");
    WriteFile(dir / "R/clash", "a file");
    WriteFile(dir / "L/ok.txt", "copied anyway");
    auto r = RunCli({"update", "--action", "left-to-right", dir / "L", dir / "R"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Failed to create directory \"" + dir / "R/clash" + "\".\r\na file is in the way.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFile(dir / "R/ok.txt"), "copied anyway");
    EXPECT_EQ(ReadFile(dir / "R/clash"), "a file");
}

TEST(CliUpdate, BackupGoesToTheConfigurationFolder)
{
    Trees t;
    TempDir config;
    WriteFile(t.right + "/sub/a.txt", "older");
    SetMTime(t.right + "/sub/a.txt", 1400000000);
    auto r =
        RunCli({"update", "--config-dir", config.path(), "--backup", "--action", "left-to-right", t.left, t.right});
    EXPECT_EQ(r.status, 0) << r.err;
    bool found = false;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(config.path()))
        if (entry.path().string().ends_with("/Right/sub/a.txt")) found = ReadFile(entry.path()) == "older";
    EXPECT_TRUE(found) << "the replaced file is kept under <yymmddhhnnss>/Right";
}

TEST(CliUpdate, UsageErrors)
{
    Trees t;
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {"unknown direction", {"update", "--action", "sideways", t.left, t.right}, "sideways"},
        {"one folder", {"update", t.left}, "LEFT and RIGHT"},
        {"missing root", {"update", t.left, t.dir / "nowhere"}, "nowhere"},
    };
    for (const Case& c : cases) {
        auto r = RunCli(c.args);
        EXPECT_EQ(r.status, 2) << c.name;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
    }
    EXPECT_EQ(CountEntries(t.right), 1) << "nothing was written";
}

// L/secret may be written but not listed: a forced mirror must leave R/secret alone, say which
// folder it could not read, and not end as a full success.
TEST(CliUpdate, AFolderThatCannotBeReadIsNamedAndNothingInItIsDeleted)
{
    TempDir dir;
    WriteFile(dir / "L/secret/a.txt", "left");
    WriteFile(dir / "R/secret/a.txt", "right");
    WriteFile(dir / "R/secret/b.txt", "right only");
    chmod(dir.path().c_str(), 0755);
    GiveToUnprivileged(dir.path());
    chmod((dir / "L/secret").c_str(), 0300);
    auto r = clitest::RunCliUnprivileged({"update", dir / "L", dir / "R", "--action", "left-to-right", "--force"});
    chmod((dir / "L/secret").c_str(), 0700);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("Could not read 1 folder(s); nothing in them was compared or changed:\n  " + dir / "L/secret" +
                         ": Permission denied\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFile(dir / "R/secret/a.txt"), "right");
    EXPECT_EQ(ReadFile(dir / "R/secret/b.txt"), "right only");
}

TEST(CliUpdate, NamesInOperationLinesAreEscaped)
{
    TempDir dir;
    const std::string name = "a\x1b]0;owned\x07\x1b[2Jb.txt";
    WriteFile(dir / ("L/" + name), "x");
    MakeDirs(dir / "R");
    for (bool dryRun : {true, false}) {  // the dry run first: afterwards nothing is left to do
        std::vector<std::string> args = {"update", dir / "L", dir / "R", "--action", "left-to-right", "--force"};
        if (dryRun) args.push_back("--dry-run");
        auto r = RunCli(args);
        EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("a\\x1B]0;owned\\x07\\x1B[2Jb.txt"), std::string::npos) << r.out;
    }
}

TEST(CliUpdate, RootsInsideEachOtherAreRefused)
{
    TempDir dir;
    WriteFile(dir / "data/a.txt", "a");
    WriteFile(dir / "data/backup/b.txt", "b");
    auto r = RunCli({"update", dir / "data", dir / "data/backup", "--action", "left-to-right", "--force"});
    EXPECT_EQ(r.status, 2) << "a refusal that changed nothing";
    EXPECT_NE(r.err.find("The folder \"" + dir / "data/backup" + "\" lies inside \"" + dir / "data" + "\"."),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFile(dir / "data/backup/b.txt"), "b");
    EXPECT_FALSE(Exists(dir / "data/backup/backup"));
    EXPECT_FALSE(Exists(dir / "data/backup/a.txt"));
}

TEST(CliUpdate, ContentSetsTheTimeOfEqualFilesInsteadOfCopying)
{
    TempDir dir;
    const std::string left = dir / "L", right = dir / "R";
    WriteFile(left + "/same.txt", "same");
    SetMTime(left + "/same.txt", 1500000100);
    WriteFile(right + "/same.txt", "same");
    SetMTime(right + "/same.txt", 1500000000);
    WriteFile(left + "/new.txt", "new!");
    SetMTime(left + "/new.txt", 1500000100);
    WriteFile(right + "/new.txt", "old!");
    SetMTime(right + "/new.txt", 1500000000);
    auto dry = RunCli({"update", "--content", "--dry-run", left, right});
    EXPECT_EQ(dry.status, 0) << dry.err;
    const std::string planned =
        "copy " + left + "/new.txt -> " + right + "/new.txt\n" + "set time of " + right + "/same.txt\n";
    EXPECT_EQ(dry.out.substr(0, planned.size()), planned) << dry.out;

    auto real = RunCli({"update", "--content", left, right});
    EXPECT_EQ(real.status, 0) << real.err;
    // Both are file operations of one stage, carried out by two workers in either order.
    EXPECT_TRUE(real.out == right + "/new.txt\n" + right + "/same.txt\n" ||
                real.out == right + "/same.txt\n" + right + "/new.txt\n")
        << real.out << "no rows are left afterwards";
    struct stat st;
    ASSERT_EQ(stat((right + "/same.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1500000100);
    EXPECT_EQ(ReadFile(right + "/new.txt"), "new!");
    EXPECT_EQ(RunCli({"compare", left, right}).status, 0) << "the time-only comparison agrees";
}

// Trees: L has sub/a.txt (1 byte); R has gone.txt. Forced left to right: one copy, one
// deletion, one new folder.
TEST(CliUpdate, DryRunEndsWithThePlanAndARealRunWithWhatItDid)
{
    Trees t;
    auto dry = RunCli({"update", "--dry-run", "--force", "--action", "left-to-right", t.left, t.right});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_TRUE(
        dry.err.ends_with("Plan: 1 file to copy (1 byte), 1 to delete, 1 folder to create, 0 folders to "
                          "remove, 0 attribute changes.\n"))
        << dry.err;
    auto real = RunCli({"update", "--force", "--action", "left-to-right", t.left, t.right});
    EXPECT_EQ(real.status, 0) << real.err;
    EXPECT_TRUE(
        real.err.ends_with("Done: 1 file copied (1 byte), 1 deleted, 1 folder created, 0 folders "
                           "removed, 0 attribute changes, 0 failed.\n"))
        << real.err;
}

TEST(CliUpdate, DoneNamesTheBackupFolderAndCountsFailures)
{
    Trees t;
    TempDir config;
    WriteFile(t.dir / "R/clash", "a file where a folder goes");
    testutil::MakeDirs(t.dir / "L/clash");
    auto r = RunCli(
        {"update", "--config-dir", config.path(), "--backup", "--force", "--action", "left-to-right", t.left, t.right});
    EXPECT_EQ(r.status, 1);
    const std::size_t done = r.err.rfind("Done: ");
    ASSERT_NE(done, std::string::npos) << r.err;
    const std::string line = r.err.substr(done);
    EXPECT_NE(line.find(", 1 failed. Backup folder: " + config.path() + "/"), std::string::npos) << line;
    EXPECT_NE(line.find("2 deleted"), std::string::npos) << line;  // gone.txt and the clashing file
}

TEST(CliUpdate, MaxDeleteRefusesTheWholeUpdate)
{
    Trees t;
    WriteFile(t.right + "/gone2.txt", "g");
    auto refused = RunCli({"update", "--max-delete", "1", "--force", "--action", "left-to-right", t.left, t.right});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("would delete 2 entries, more than --max-delete 1; nothing was changed"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(CountEntries(t.right), 2) << "not even the copies were made";
    EXPECT_EQ(RunCli({"update", "--max-delete", "-1", t.left, t.right}).status, 2);
    auto allowed = RunCli({"update", "--max-delete=2", "--force", "--action", "left-to-right", t.left, t.right});
    EXPECT_EQ(allowed.status, 0) << allowed.err;
    EXPECT_FALSE(Exists(t.right + "/gone2.txt"));
}

// Two-way from the command line: a first run records the pair; a dry run lists the conflict and
// changes nothing, the state included; a policy settles it and keeps the dropped version in the
// backup folder; a rename is one record; a side that lists empty refuses the run.
TEST(CliUpdate, TwoWayRunsAgainstTheStateOfTheLastOne)
{
    Trees t;
    TempDir config;
    auto twoWay = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = {"update", "--config-dir", config.path(), "--action", "two-way"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(t.left);
        args.push_back(t.right);
        return RunCli(args);
    };
    ASSERT_EQ(twoWay({}).status, 0);
    EXPECT_EQ(ReadFile(t.left + "/gone.txt"), "g");
    WriteFile(t.left + "/sub/a.txt", "left edit");
    SetMTime(t.left + "/sub/a.txt", 1600000000);
    WriteFile(t.right + "/sub/a.txt", "right edit, newer");
    SetMTime(t.right + "/sub/a.txt", 1600000100);
    auto dry = twoWay({"--dry-run"});
    EXPECT_EQ(dry.status, 1) << dry.err;
    EXPECT_NE(dry.err.find("conflict  sub/a.txt: kept both"), std::string::npos) << dry.err;
    EXPECT_NE(dry.out.find("rename left  sub/a.txt -> sub/a.conflict-20200913-122640.txt"), std::string::npos)
        << dry.out;
    EXPECT_EQ(CountEntries(t.left), 3) << "a dry run changes nothing";

    auto settled = twoWay({"--conflict", "left"});
    EXPECT_EQ(settled.status, 0) << settled.err;
    EXPECT_EQ(ReadFile(t.right + "/sub/a.txt"), "left edit");
    bool kept = false;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(config.path()))
        if (entry.path().string().ends_with("/Right/sub/a.txt")) kept = ReadFile(entry.path()) == "right edit, newer";
    EXPECT_TRUE(kept) << "the dropped version is kept in the backup folder";

    std::filesystem::rename(t.left + "/gone.txt", t.left + "/moved.txt");
    auto moved = twoWay({"--format", "jsonl"});
    EXPECT_EQ(moved.status, 0) << moved.err;
    EXPECT_NE(moved.out.find(R"("op":"rename","path":"gone.txt","direction":"left-to-right")"), std::string::npos)
        << moved.out;
    EXPECT_NE(moved.out.find(R"("to":"moved.txt")"), std::string::npos) << moved.out;
    EXPECT_NE(moved.out.find(R"("renamed":1,)"), std::string::npos) << "a rename is counted: " << moved.out;
    EXPECT_NE(moved.err.find(", 1 renamed, 0 failed."), std::string::npos) << moved.err;
    EXPECT_EQ(ReadFile(t.right + "/moved.txt"), "g");
    // The text line of a rename names where the entry was and where it is now.
    std::filesystem::rename(t.left + "/moved.txt", t.left + "/again.txt");
    auto text = twoWay({});
    EXPECT_NE(text.out.find(t.right + "/moved.txt -> " + t.right + "/again.txt\n"), std::string::npos) << text.out;

    EXPECT_EQ(twoWay({"--conflict", "bogus"}).status, 2);
    std::filesystem::remove_all(t.right);
    std::filesystem::create_directory(t.right);
    auto refused = twoWay({});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("lists no entries"), std::string::npos) << refused.err;
    EXPECT_EQ(CountEntries(t.left), 3) << "nothing was changed";
}

// One run per pair of roots: while a run of the pair holds its lock, another is refused and
// names it, or waits with --wait; the held run's temporary files are its copies in work, left
// alone, and once it has ended they are left-overs that the next run removes, whatever their
// time (a killed run's of the same second once stayed hidden).
TEST(CliUpdate, OneRunPerPairOfRootsAndItsTemporariesToldByItsLock)
{
    Trees t;
    kn::TKNRootIdentity left, right;
    std::string error;
    ASSERT_TRUE(kn::RootIdentityOf(t.left, left, error) && kn::RootIdentityOf(t.right, right, error)) << error;
    auto lock = kn::TKNRunLock::Take(right.Key, left.Key, "another run", false, nullptr, error);
    ASSERT_TRUE(lock) << error;
    std::string inWork;
    {
        const kn::TKNTempTag tag(lock->Tag());
        inWork = t.right + "/" + kn::TempName("gone.txt");
    }
    WriteFile(inWork, "a copy in work");
    SetMTime(inWork, std::time(nullptr) + 5);  // no older than the run: time tells nothing

    auto refused = RunCli({"update", "--format", "jsonl", t.left, t.right});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("Another run of these folders is in progress (process "), std::string::npos)
        << refused.err;
    EXPECT_NE(refused.out.find("\"type\":\"summary\""), std::string::npos);
    EXPECT_FALSE(Exists(t.right + "/sub/a.txt"));
    // A run of another pair writing into the same folder meanwhile leaves the copy in work alone.
    WriteFile(t.dir / "O/o.txt", "o");
    const auto other = RunCli({"update", t.dir / "O", t.right});
    EXPECT_EQ(other.status, 0) << other.err;
    EXPECT_EQ(ReadFile(inWork), "a copy in work");

    auto waiting = std::async(std::launch::async, [&t] { return RunCli({"update", "--wait", t.left, t.right}); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(600)), std::future_status::timeout) << "it waits";
    lock.reset();
    const auto waited = waiting.get();
    EXPECT_EQ(waited.status, 0) << waited.err;
    EXPECT_EQ(ReadFile(t.right + "/sub/a.txt"), "a");
    EXPECT_FALSE(Exists(inWork)) << "a left-over once its run is over";
    EXPECT_NE(waited.err.find("(1 left-over temporary file)"), std::string::npos) << waited.err;
}

// The state of a pair belongs to the folders, whatever names them: a root reached through a
// link finds the pair's state, so a deletion made since is carried out, not undone.
TEST(CliUpdate, TwoWayStateIsKeyedByWhatTheRootsAre)
{
    Trees t;
    TempDir config;
    WriteFile(t.left + "/d.txt", "delete me");
    const std::string alias = t.dir / "alias";
    ASSERT_EQ(symlink(t.left.c_str(), alias.c_str()), 0);
    auto twoWay = [&](const std::string& left) {
        return RunCli({"update", "--config-dir", config.path(), "--action", "two-way", left, t.right});
    };
    ASSERT_EQ(twoWay(t.left).status, 0);
    ASSERT_EQ(ReadFile(t.right + "/d.txt"), "delete me");
    std::filesystem::remove(t.left + "/d.txt");
    const auto run = twoWay(alias);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(Exists(t.right + "/d.txt")) << "deleted, as the state recorded it on both sides";
    EXPECT_FALSE(Exists(t.left + "/d.txt")) << "not copied back as by a first run";
}

// The one mass-deletion guard holds for two-way too: a root that lost most of its entries since
// the last run does not make the run delete them on the other side unless --max-delete says so.
TEST(CliUpdate, TwoWayIsGuardedAgainstMassDeletion)
{
    TempDir dir, config;
    const std::string left = dir / "L", right = dir / "R";
    for (int i = 0; i < 201; ++i) WriteFile(left + "/" + std::to_string(i) + ".txt", "x");
    MakeDirs(right);
    auto twoWay = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = {"update", "--config-dir", config.path(), "--action", "two-way"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {left, right});
        return RunCli(args);
    };
    ASSERT_EQ(twoWay({}).status, 0);
    for (int i = 1; i < 201; ++i) std::filesystem::remove(left + "/" + std::to_string(i) + ".txt");
    const auto refused = twoWay({});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("would delete 200 of the 201 entries"), std::string::npos) << refused.err;
    EXPECT_EQ(CountEntries(right), 201);
    EXPECT_EQ(twoWay({"--max-delete", "200"}).status, 0);
    EXPECT_EQ(CountEntries(right), 1);
}
