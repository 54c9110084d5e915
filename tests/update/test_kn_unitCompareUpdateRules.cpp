// The row rules of an update: every status against every direction, with and without force,
// on real trees, and what the follow-up comparison finds afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"

using namespace testutil;
using Tree = std::map<std::string, std::string>;

namespace {

// Left and right trees with one row of every kind:
//   newer.txt      TKNStatus::Left  (left newer)          older.txt     TKNStatus::Right (right newer)
//   onlyleft.txt   TKNStatus::Left  (left only)           onlyright.txt TKNStatus::Right (right only, read-only)
//   size.txt       TKNStatus::Differ (same time, sizes)   attr.txt      TKNStatus::Differ (left read-only)
//   dirleft/...    folders and a file on the left only
//   dirright/...   folders and a file on the right only
struct RuleTrees {
    TempDir dir;
    std::string left = dir / "L", right = dir / "R";

    RuleTrees()
    {
        Put(left, "newer.txt", "L-new", 100);
        Put(right, "newer.txt", "R-old", 0);
        Put(left, "older.txt", "L-old", 0);
        Put(right, "older.txt", "R-new", 100);
        Put(left, "onlyleft.txt", "only on the left", 0);
        Put(right, "onlyright.txt", "only on the right", 0);
        chmod((right + "/onlyright.txt").c_str(), 0444);
        Put(left, "size.txt", "12345", 0);
        Put(right, "size.txt", "123", 0);
        Put(left, "attr.txt", "same", 0);
        Put(right, "attr.txt", "same", 0);
        chmod((left + "/attr.txt").c_str(), 0444);
        Put(left, "dirleft/sub/f.txt", "f", 0);
        Put(right, "dirright/deep/g.txt", "g", 0);
    }

    static void Put(const std::string& root, const std::string& rel, const std::string& content, int age)
    {
        WriteFile(root + "/" + rel, content);
        Age(root + "/" + rel, age);
    }
};

const Tree kLeft = {
    {"attr.txt", "same (ro)"},
    {"dirleft", "<dir>"},
    {"dirleft/sub", "<dir>"},
    {"dirleft/sub/f.txt", "f"},
    {"newer.txt", "L-new"},
    {"older.txt", "L-old"},
    {"onlyleft.txt", "only on the left"},
    {"size.txt", "12345"},
};
const Tree kRight = {
    {"attr.txt", "same"},
    {"dirright", "<dir>"},
    {"dirright/deep", "<dir>"},
    {"dirright/deep/g.txt", "g"},
    {"newer.txt", "R-old"},
    {"older.txt", "R-new"},
    {"onlyright.txt", "only on the right (ro)"},
    {"size.txt", "123"},
};

Tree With(Tree tree, const Tree& changes, std::initializer_list<const char*> removed = {})
{
    for (const auto& [path, value] : changes) tree[path] = value;
    for (const char* path : removed) tree.erase(path);
    return tree;
}

const Tree kLeftFolderOnRight = {{"dirleft", "<dir>"}, {"dirleft/sub", "<dir>"}, {"dirleft/sub/f.txt", "f"}};
const Tree kRightFolderOnLeft = {{"dirright", "<dir>"}, {"dirright/deep", "<dir>"}, {"dirright/deep/g.txt", "g"}};

struct RuleCase {
    const char* name;
    kn::TKNAction direction;
    bool force;
    Tree left, right;
    size_t rowsAfter;  // rows of a new comparison after the update

    friend void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }
};

std::string CaseName(const testing::TestParamInfo<RuleCase>& info)
{
    return info.param.name;
}

class UpdateRules : public testing::TestWithParam<RuleCase> {};

}  // namespace

TEST_P(UpdateRules, TreesAfterUpdate)
{
    const RuleCase& c = GetParam();
    RuleTrees t;
    UpdateHarness h(t.left, t.right);
    ASSERT_EQ(h.Compare(), 12u) << "one row per entry that differs";
    h.Update(c.direction, c.force);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Snapshot(t.left), c.left);
    EXPECT_EQ(Snapshot(t.right), c.right);
    EXPECT_EQ(h.updateDone, 1);
    EXPECT_EQ(h.stateZeroReports, 1);
    EXPECT_EQ(h.engine.State, 0);
    EXPECT_EQ(h.Compare(), c.rowsAfter) << "copies keep their source's time and mode";
}

INSTANTIATE_TEST_SUITE_P(
    StatusDirectionForce, UpdateRules,
    testing::Values(
        RuleCase{"LeftToRight", kn::TKNAction::LeftToRight, false, kLeft,
                 With(kRight, With({{"newer.txt", "L-new"}, {"onlyleft.txt", "only on the left"}}, kLeftFolderOnRight)),
                 7},
        RuleCase{"ForceLeftToRight", kn::TKNAction::LeftToRight, true, kLeft, With(kLeft, {}), 0},
        RuleCase{"RightToLeft", kn::TKNAction::RightToLeft, false,
                 With(kLeft,
                      With({{"older.txt", "R-new"}, {"onlyright.txt", "only on the right (ro)"}}, kRightFolderOnLeft)),
                 kRight, 7},
        RuleCase{"ForceRightToLeft", kn::TKNAction::RightToLeft, true, With(kRight, {}), kRight, 0},
        RuleCase{"Auto", kn::TKNAction::Auto, false,
                 With(kLeft,
                      With({{"older.txt", "R-new"}, {"onlyright.txt", "only on the right (ro)"}}, kRightFolderOnLeft)),
                 With(kRight, With({{"newer.txt", "L-new"}, {"onlyleft.txt", "only on the left"}}, kLeftFolderOnRight)),
                 2},
        RuleCase{"ForceAutoTouchesNoDifferRow", kn::TKNAction::Auto, true,
                 With(kLeft,
                      With({{"older.txt", "R-new"}, {"onlyright.txt", "only on the right (ro)"}}, kRightFolderOnLeft)),
                 With(kRight, With({{"newer.txt", "L-new"}, {"onlyleft.txt", "only on the left"}}, kLeftFolderOnRight)),
                 2}),
    CaseName);

TEST(UpdateRun, ForcedDeletionRemovesFoldersDeepestFirst)
{
    RuleTrees t;
    UpdateHarness h(t.left, t.right);
    h.Compare();
    h.Update(kn::TKNAction::LeftToRight, true);
    ASSERT_GE(h.progress.size(), 2u);
    // The folder pass and file pass come first; the deletion pass ends the run.
    EXPECT_EQ(h.progress[h.progress.size() - 2], t.right + "/dirright/deep");
    EXPECT_EQ(h.progress.back(), t.right + "/dirright");
}

TEST(UpdateRun, NewFolderExistsBeforeItsFilesAreCopied)
{
    TempDir dir;
    WriteFile(dir / "L/a/b/c/file.txt", "x");
    MakeDirs(dir / "R");
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), 4u);
    h.Update(kn::TKNAction::LeftToRight, false);
    EXPECT_EQ(h.progress,
              (std::vector<std::string>{dir / "R/a", dir / "R/a/b", dir / "R/a/b/c", dir / "R/a/b/c/file.txt"}));
    EXPECT_EQ(h.positions, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(ReadFile(dir / "R/a/b/c/file.txt"), "x");
}

// The copy brings the attributes along, so the row is one operation, not attributes and copy.
TEST(UpdateRun, ForcedDifferRowOfOtherSizeIsOneCopy)
{
    TempDir dir;
    RuleTrees::Put(dir / "L", "size.txt", "12345", 0);
    chmod((dir / "L/size.txt").c_str(), 0444);
    RuleTrees::Put(dir / "R", "size.txt", "123", 0);
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), 1u);
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(h.progress, (std::vector<std::string>{dir / "R/size.txt"}));
    EXPECT_EQ(h.positions.back(), 1);
    EXPECT_EQ(Snapshot(dir / "R"), (Tree{{"size.txt", "12345 (ro)"}}));
}

TEST(UpdateRun, CopyReplacesReadOnlyFileAndDeleteRemovesOne)
{
    TempDir dir;
    RuleTrees::Put(dir / "L", "a.txt", "new", 10);
    RuleTrees::Put(dir / "R", "a.txt", "old", 0);
    chmod((dir / "R/a.txt").c_str(), 0444);
    RuleTrees::Put(dir / "R", "gone.txt", "x", 0);
    chmod((dir / "R/gone.txt").c_str(), 0444);
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), 2u);
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_TRUE(h.errors.empty()) << h.errors.front();
    EXPECT_EQ(Snapshot(dir / "R"), (Tree{{"a.txt", "new"}}));
}

TEST(UpdateRun, FollowUpComparisonShowsWhatIsLeft)
{
    TempDir dir;
    RuleTrees::Put(dir / "L", "a.txt", "new", 10);
    RuleTrees::Put(dir / "R", "b.txt", "right", 0);
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), 2u);
    h.engine.Update(kn::TKNAction::LeftToRight, false, h.AllRows(), true, true, false);
    EXPECT_EQ(h.engine.State, 0);
    ASSERT_EQ(h.engine.Items.size(), 1u) << "only the right-only file is left";
    EXPECT_EQ(h.engine.Items[0]->Right.Name, "b.txt");
    EXPECT_EQ(h.updateDone, 1);
}

TEST(UpdateRun, OnlyTheGivenRowsInTheGivenOrder)
{
    TempDir dir;
    for (const char* name : {"a", "b", "c", "d"}) RuleTrees::Put(dir / "L", name, name, 0);
    MakeDirs(dir / "R");
    UpdateHarness h(dir / "L", dir / "R");
    ASSERT_EQ(h.Compare(), 4u);
    h.engine.Update(kn::TKNAction::LeftToRight, false, {3, 1, 99, -1}, true, false, false);
    EXPECT_EQ(h.progress, (std::vector<std::string>{dir / "R/d", dir / "R/b"}));
    EXPECT_EQ(Snapshot(dir / "R"), (Tree{{"b", "b"}, {"d", "d"}}));
}

TEST(UpdateRun, NothingStartsWhileAComparisonRuns)
{
    TempDir dir;
    RuleTrees::Put(dir / "L", "a", "a", 0);
    MakeDirs(dir / "R");
    UpdateHarness h(dir / "L", dir / "R");
    h.Compare();
    h.engine.State = 1;  // as while a comparison is running
    h.engine.Update(kn::TKNAction::LeftToRight, false, h.AllRows(), false, false, false);
    EXPECT_EQ(h.engine.State, 1);
    h.engine.State = 0;
    EXPECT_FALSE(Exists(dir / "R/a"));
    EXPECT_EQ(h.updateDone, 0);
}
