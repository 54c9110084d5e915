// Updates of content-equal pairs whose times differ: the written side takes the source's time
// and keeps its file, in every direction rule, in a dry run, and on an FTP server.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "tests/common/ftp_server.h"
#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"

using namespace testutil;
using Tree = std::map<std::string, std::string>;

namespace {

// What a run reported, in path order: the workers of one stage end in any order.
std::vector<std::string> Sorted(std::vector<std::string> paths)
{
    std::sort(paths.begin(), paths.end());
    return paths;
}

struct stat Stat(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st;
}

// Two trees with one content-equal pair (left newer by 100 s) and one pair that really differs.
struct SetTimeTrees {
    TempDir dir;
    std::string L = dir / "L", R = dir / "R";
    SetTimeTrees()
    {
        WriteFile(L + "/same.txt", "same bytes");
        Age(L + "/same.txt", 100);
        WriteFile(R + "/same.txt", "same bytes");
        Age(R + "/same.txt", 0);
        WriteFile(L + "/d/changed.txt", "version 2");
        Age(L + "/d/changed.txt", 100);
        WriteFile(R + "/d/changed.txt", "version 1");
        Age(R + "/d/changed.txt", 100);
        Age(L + "/d", 0);
        Age(R + "/d", 0);
    }
};

void ContentCompare(UpdateHarness& h)
{
    h.engine.CompareContent = true;
    h.engine.KeepContentEqualRows = true;
    h.Compare();
}

}  // namespace

TEST(UpdateSetTime, EqualContentGetsTheSourcesTimeAndIsNotCopied)
{
    SetTimeTrees t;
    const ino_t inode = Stat(t.R + "/same.txt").st_ino;
    UpdateHarness h(t.L, t.R);
    ContentCompare(h);
    ASSERT_EQ(h.engine.Items.size(), 2u);
    EXPECT_TRUE(h.engine.Items[0]->ContentEqual);
    EXPECT_FALSE(h.engine.Items[1]->ContentEqual);
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    // One operation each: the time of the equal pair, a copy of the differing one.
    EXPECT_EQ(Sorted(h.progress), (std::vector<std::string>{t.R + "/d/changed.txt", t.R + "/same.txt"}));
    EXPECT_EQ(Stat(t.R + "/same.txt").st_ino, inode) << "set in place, not copied";
    EXPECT_EQ(Stat(t.R + "/same.txt").st_mtime, Stat(t.L + "/same.txt").st_mtime);
    EXPECT_EQ(ReadFile(t.R + "/d/changed.txt"), "version 2") << "a real difference is still copied";
    EXPECT_EQ(h.Compare(), 0u) << "the time-only comparison agrees now";
    h.engine.CompareContent = false;
    EXPECT_EQ(h.Compare(), 0u);
}

// Without rows for them (the window's comparison), such pairs wait after the rows, in the
// positions an update takes: an update of every position sets their times all the same.
TEST(UpdateSetTime, PairsWithoutRowsFollowTheRowsAndAnUpdateOfAllSetsTheirTimes)
{
    SetTimeTrees t;
    UpdateHarness h(t.L, t.R);
    h.engine.CompareContent = true;
    ASSERT_EQ(h.Compare(), 1u) << "only the real difference is a row";
    ASSERT_EQ(h.engine.TimeOnlyItems.size(), 1u);
    EXPECT_EQ(h.engine.TimeOnlyItems[0]->Left.Name, "same.txt");
    EXPECT_EQ(h.engine.RowAt(1), h.engine.TimeOnlyItems[0].get());
    EXPECT_EQ(h.engine.RowAt(2), nullptr);
    const kn::TKNPlanTotals plan = kn::PlanTotals(h.engine, {0, 1, 2, -1}, kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(plan.TimesToSet, 1);
    EXPECT_EQ(plan.FilesToCopy, 1);
    h.engine.Update(kn::TKNAction::LeftToRight, true, {0, 1}, true, false, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Sorted(h.progress), (std::vector<std::string>{t.R + "/d/changed.txt", t.R + "/same.txt"}));
    EXPECT_EQ(Stat(t.R + "/same.txt").st_mtime, Stat(t.L + "/same.txt").st_mtime);
    EXPECT_EQ(h.Compare(), 0u);
    EXPECT_TRUE(h.engine.TimeOnlyItems.empty()) << "nothing left to set";
}

TEST(UpdateSetTime, FollowsTheDirectionRuleOfACopy)
{
    struct Case {
        const char* name;
        kn::TKNAction direction;
        bool force;
        bool set;  // whether the right side takes the left side's time
    };
    // The right file is the newer one here.
    const Case cases[] = {
        {"auto writes the older side: the left", kn::TKNAction::Auto, false, false},
        {"left to right leaves a newer right file", kn::TKNAction::LeftToRight, false, false},
        {"forced left to right sets the right file", kn::TKNAction::LeftToRight, true, true},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string L = dir / "L", R = dir / "R";
        WriteFile(L + "/a.txt", "abc");
        Age(L + "/a.txt", 0);
        WriteFile(R + "/a.txt", "abc");
        Age(R + "/a.txt", 200);
        UpdateHarness h(L, R);
        ContentCompare(h);
        ASSERT_EQ(h.engine.Items.size(), 1u) << c.name;
        h.Update(c.direction, c.force);
        EXPECT_EQ(h.errors, std::vector<std::string>{}) << c.name;
        const bool rightTookLeft = Stat(R + "/a.txt").st_mtime == Stat(L + "/a.txt").st_mtime;
        EXPECT_EQ(rightTookLeft, c.set || c.direction == kn::TKNAction::Auto)
            << c.name;  // auto: the left took the right's
        if (c.direction == kn::TKNAction::Auto) {
            EXPECT_EQ(Stat(L + "/a.txt").st_mtime, 1500000200) << c.name;
        }
        EXPECT_EQ(ReadFile(R + "/a.txt"), "abc") << c.name;
    }
}

TEST(UpdateSetTime, DryRunNamesTheOperationAndChangesNothing)
{
    SetTimeTrees t;
    UpdateHarness h(t.L, t.R);
    ContentCompare(h);
    std::vector<std::string> operations;
    h.engine.UpdateDryRun = true;
    h.engine.OnDryRunOperation = [&](void*, const std::string& text) { operations.push_back(text); };
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(operations, (std::vector<std::string>{"set time of " + t.R + "/same.txt",
                                                    "copy " + t.L + "/d/changed.txt -> " + t.R + "/d/changed.txt"}));
    EXPECT_EQ(Stat(t.R + "/same.txt").st_mtime, 1500000000);
    EXPECT_EQ(ReadFile(t.R + "/d/changed.txt"), "version 1");
}

TEST(UpdateSetTime, OnAnFtpServerThroughMfmt)
{
    FtpServer server;
    TempDir dir;
    WriteFile(dir / "L/a.txt", "abc");
    WriteFile(server.Root() + "/pub/a.txt", "abc");
    const std::string L = dir / "L", S = server.Location("/pub");
    UpdateHarness h(L, S);
    const double when = vex::EncodeDateTime(2023, 3, 4, 5, 6, 8);
    SetMTime(L + "/a.txt", vex::DateTimeToUnix(when, vex::LocalOffsetNow()));
    auto row = std::make_unique<kn::TMyFileOpt>();
    row->Left.Path = L;
    row->Left.Name = "a.txt";
    row->Left.Size = 3;
    row->Left.Time = when;
    row->Left.Attr = kn::faArchive;
    row->Right = row->Left;
    row->Right.Path = S;
    row->Right.Time = when - 1;
    row->Status = kn::TKNStatus::Left;
    row->ContentEqual = true;
    h.engine.Items.push_back(std::move(row));
    h.Update(kn::TKNAction::Auto, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Stat(server.Root() + "/pub/a.txt").st_mtime, vex::DateTimeToUnix(when, vex::LocalOffsetNow()));
    EXPECT_EQ(ReadFile(server.Root() + "/pub/a.txt"), "abc");
}
