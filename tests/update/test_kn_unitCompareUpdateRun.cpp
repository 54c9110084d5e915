// An update run as a whole: backups, stop requests, failures, the two-worker file pass, and
// sides that name no folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <set>

#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"

using namespace testutil;
using Tree = std::map<std::string, std::string>;

TEST(UpdateBackup, KeepsWhatIsOverwrittenOrDeletedUnderTheWrittenSide)
{
    ProgramFolderHere program;
    TempDir dir;
    Put(dir / "L/img/a.png", "new picture", 100);
    Put(dir / "R/img/a.png", "old picture", 0);
    Put(dir / "R/stale/b.txt", "deleted text", 0);
    Put(dir / "L/fresh.txt", "no backup: nothing replaced", 0);
    UpdateHarness h(dir / "L", dir / "R");
    h.Compare();
    h.Update(kn::TKNAction::LeftToRight, true, true);
    EXPECT_TRUE(h.errors.empty());
    Tree runs = Snapshot(program.home.path());
    ASSERT_FALSE(runs.empty());
    std::string run = runs.begin()->first;
    EXPECT_TRUE(std::regex_match(run, std::regex("[0-9]{12}"))) << run;
    EXPECT_EQ(runs, (Tree{{run, "<dir>"},
                          {run + "/Right", "<dir>"},
                          {run + "/Right/img", "<dir>"},
                          {run + "/Right/img/a.png", "old picture"},
                          {run + "/Right/stale", "<dir>"},
                          {run + "/Right/stale/b.txt", "deleted text"}}));
    EXPECT_EQ(ReadFile(dir / "R/img/a.png"), "new picture");
    EXPECT_FALSE(Exists(dir / "R/stale"));
}

TEST(UpdateBackup, RightToLeftBacksUpIntoLeft)
{
    ProgramFolderHere program;
    TempDir dir;
    Put(dir / "L/a.txt", "old", 0);
    Put(dir / "R/a.txt", "new", 100);
    UpdateHarness h(dir / "L", dir / "R");
    h.Compare();
    h.Update(kn::TKNAction::RightToLeft, false, true);
    Tree runs = Snapshot(program.home.path());
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs.rbegin()->first.substr(12), "/Left/a.txt");
    EXPECT_EQ(runs.rbegin()->second, "old");
}

TEST(UpdateBackup, OffMakesNoFolder)
{
    ProgramFolderHere program;
    TempDir dir;
    Put(dir / "L/a.txt", "new", 100);
    Put(dir / "R/a.txt", "old", 0);
    UpdateHarness h(dir / "L", dir / "R");
    h.Compare();
    h.Update(kn::TKNAction::LeftToRight, false, false);
    EXPECT_EQ(ReadFile(dir / "R/a.txt"), "new");
    EXPECT_TRUE(Snapshot(program.home.path()).empty());
}

TEST(UpdateBackup, AFailedBackupKeepsTheFileAndIsReported)
{
    ProgramFolderHere program;
    TempDir dir;
    Put(dir / "L/pipe", "a file now", 100);
    MakeDirs(dir / "R");
    ASSERT_EQ(mkfifo((dir / "R/pipe").c_str(), 0644), 0);
    Age(dir / "R/pipe", 0);
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), 1u);
    h.Update(kn::TKNAction::LeftToRight, false, true);
    ASSERT_EQ(h.errors.size(), 1u);
    const std::string prefix = "Failed to copy file \"" + dir / "R/pipe" + "\" to \"" + program.home.path() + "/";
    const std::string suffix = "/Right/pipe\".\r\nnot a regular file (a device, FIFO or socket is never read).";
    EXPECT_EQ(h.errors[0].substr(0, prefix.size()), prefix);
    EXPECT_EQ(h.errors[0].substr(h.errors[0].size() - suffix.size()), suffix);
    struct stat st;
    ASSERT_EQ(lstat((dir / "R/pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "not overwritten without its backup";
}

TEST(UpdateBackup, FolderNameIsTheRunsDateAndTime)
{
    double when = vex::EncodeDateTime(2011, 12, 8, 14, 5, 9);
    EXPECT_EQ(kn::BackupFolderName("/opt/kestrune", when), "/opt/kestrune/111208140509");
}

TEST(UpdateStop, BetweenRowsLeavesTheRestUntouchedAndStillEnds)
{
    TempDir dir;
    for (int i = 0; i < 10; ++i) Put(dir / ("L/f" + std::to_string(i)), "x", 0);
    MakeDirs(dir / "R");
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), 10u);
    h.engine.Transfers = 1;  // one operation in work when the stop comes (the pool's: test_kn_unitUpdatePool)
    h.onProgress = [&](const std::string&) {
        if (h.progress.size() == 3) h.engine.StopCompare();
    };
    h.Update(kn::TKNAction::LeftToRight, false);
    EXPECT_EQ(h.progress.size(), 3u);
    EXPECT_EQ(Snapshot(dir / "R"), (Tree{{"f0", "x"}, {"f1", "x"}, {"f2", "x"}}));
    EXPECT_EQ(h.updateDone, 1);
    EXPECT_EQ(h.stateZeroReports, 1);
    EXPECT_EQ(h.engine.State, 0);
}

TEST(UpdateStop, DuringALargeCopyKeepsTheDestination)
{
    TempDir dir;
    Put(dir / "L/big.bin", std::string(4 * 1048576, 'n'), 100);
    Put(dir / "R/big.bin", "the old file", 0);
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), 1u);
    h.onProgress = [&](const std::string&) { h.engine.StopCompare(); };
    h.Update(kn::TKNAction::LeftToRight, false);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(h.errors[0], "Failed to copy file \"" + dir / "L/big.bin" + "\" to \"" + dir / "R/big.bin" +
                               "\".\r\nOperation canceled");
    EXPECT_EQ(Snapshot(dir / "R"), (Tree{{"big.bin", "the old file"}}));
}

TEST(UpdateFailure, ExactMessagesAndTheRunGoesOn)
{
    TempDir dir;
    // A folder on the left and a file of the same name on the right: neither can replace the
    // other, and nothing is lost.
    Put(dir / "L/clash/inner.txt", "i", 0);
    Put(dir / "R/clash", "a file", 100);
    Put(dir / "L/z-after.txt", "still copied", 0);
    UpdateHarness h(dir / "L", dir / "R");
    h.Compare();
    h.Update(kn::TKNAction::Auto, false);
    const std::string L = dir / "L", R = dir / "R";
    // The two copies share a stage, so two workers may report them in either order.
    std::vector<std::string> errors = h.errors;
    std::sort(errors.begin(), errors.end());
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "Failed to copy file \"" + L + "/clash/inner.txt\" to \"" + R +
                              "/clash/inner.txt\".\r\nNot a directory",
                          "Failed to copy file \"" + R + "/clash\" to \"" + L + "/clash\".\r\na folder is in the way.",
                          "Failed to create directory \"" + R + "/clash\".\r\na file is in the way.",
                      }));
    EXPECT_EQ(ReadFile(dir / "R/clash"), "a file");
    EXPECT_EQ(ReadFile(dir / "L/clash/inner.txt"), "i");
    EXPECT_EQ(ReadFile(dir / "R/z-after.txt"), "still copied");
}

TEST(UpdateFailure, FolderWithEntriesLeftOutIsNotDeleted)
{
    TempDir dir;
    MakeDirs(dir / "L");
    Put(dir / "R/keep/filtered.log", "hidden from the comparison", 0);
    Put(dir / "R/keep/listed.txt", "x", 0);
    UpdateHarness h(dir / "L", dir / "R");
    h.engine.SetExcludeFilter("*.log");
    ASSERT_EQ(h.Compare(), 2u);
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(h.errors, std::vector<std::string>{"Failed to delete directory \"" + dir / "R/keep" +
                                                 "\".\r\nDirectory not empty"});
    EXPECT_EQ(Snapshot(dir / "R"), (Tree{{"keep", "<dir>"}, {"keep/filtered.log", "hidden from the comparison"}}));
}

// A written side whose folder text names no folder cannot be reached: the run ends before
// any operation.
TEST(UpdateFailure, AWrittenSideThatNamesNoFolderEndsTheRunBeforeAnything)
{
    struct Case {
        const char* name;
        const char* otherText;
        kn::TKNAction direction;
    };
    for (const Case& c : {Case{"relative, written", "CC:", kn::TKNAction::LeftToRight},
                          Case{"empty, written", "", kn::TKNAction::LeftToRight},
                          Case{"root, written", "/", kn::TKNAction::LeftToRight}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Put(dir / "L/sub/a.txt", "a", 0);
        Put(dir / "L/b.txt", "b", 0);
        UpdateHarness h(dir / "L", c.otherText);
        ASSERT_EQ(h.Compare(), 3u);
        h.Update(c.direction, true);
        ASSERT_EQ(h.errors.size(), 1u);
        EXPECT_EQ(h.errors[0], "The folder text \"" + h.engine.GetRightFolder() + "\" names no folder.");
        EXPECT_EQ(Snapshot(dir / "L"), (Tree{{"sub", "<dir>"}, {"sub/a.txt", "a"}, {"b.txt", "b"}}));
        EXPECT_FALSE(Exists("/b.txt"));
        EXPECT_FALSE(Exists("CC:"));
    }
}

// A side only read from is reached only when read: deletions alone need nothing from it, so
// a forced mirror from a text that names no folder empties the other side (the desktop
// program's delete command works so).
TEST(UpdateFailure, DeletingEverythingFromAFolderThroughASideThatNamesNone)
{
    TempDir dir;
    Put(dir / "L/sub/a.txt", "a", 0);
    Put(dir / "L/b.txt", "b", 0);
    UpdateHarness h(dir / "L", "CC:");
    ASSERT_EQ(h.Compare(), 3u);
    h.Update(kn::TKNAction::RightToLeft, true);
    EXPECT_TRUE(h.errors.empty());
    EXPECT_TRUE(Snapshot(dir / "L").empty());
}

TEST(UpdateWorkers, EveryRowExactlyOnce)
{
    TempDir dir;
    const int files = 300;
    for (int i = 0; i < files; ++i) Put(dir / ("L/d" + std::to_string(i % 7) + "/f" + std::to_string(i)), "x", 0);
    Put(dir / "R/gone.txt", "deleted by one of the workers", 0);
    MakeDirs(dir / "R/gone-folder");
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), static_cast<size_t>(files + 7 + 2));
    h.engine.Transfers = 4;
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_TRUE(h.errors.empty());
    std::multiset<std::string> seen(h.progress.begin(), h.progress.end());
    std::set<std::string> distinct(h.progress.begin(), h.progress.end());
    EXPECT_EQ(seen.size(), distinct.size()) << "no row handled twice";
    EXPECT_EQ(h.progress.size(), static_cast<size_t>(files + 7 + 2));
    std::vector<int> sorted = h.positions;
    std::sort(sorted.begin(), sorted.end());
    for (size_t i = 0; i < sorted.size(); ++i) ASSERT_EQ(sorted[i], static_cast<int>(i + 1));
    EXPECT_EQ(h.Compare(), 0u) << "both trees are equal afterwards";
}
