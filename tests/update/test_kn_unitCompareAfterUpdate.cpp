// The comparison after an update lists again only the folders whose rows the update acted on
// and the folders above them, and shows what a new comparison of the trees shows. Listings are
// counted by the scans' reports, one per folder listed (every report is delivered while the
// worker waits).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"

using namespace testutil;

namespace {

// The folders listed on each side, relative to the roots ("" the root), with their counts.
struct Listings {
    std::map<std::string, int> left, right;
};

void CountListings(UpdateHarness& h, Listings& counted)
{
    h.engine.OnProgress = [&h, &counted](void* sender, uint8_t state, const std::string& path) {
        if (state != 1 || path.empty()) return;
        const bool left = sender == &h.engine.LeftList;
        const std::string& root = left ? h.engine.GetLeftFolder() : h.engine.GetRightFolder();
        ++(left ? counted.left : counted.right)[path.substr(root.size())];
    };
}

std::map<std::string, int> Once(std::set<std::string> folders)
{
    std::map<std::string, int> counts;
    for (const std::string& folder : folders) counts[folder] = 1;
    return counts;
}

}  // namespace

TEST(CompareAfterUpdate, ListsOnlyTheFoldersTheUpdateActedOnAndThoseAbove)
{
    struct Case {
        const char* what;
        std::function<void(const std::string& left, const std::string& right)> make;
        kn::TKNAction action;
        bool force;
        std::set<std::string> relistedLeft, relistedRight;
        size_t rowsAfter;
    };
    const Case cases[] = {
        {"identical trees: nothing to do",
         [](const std::string& l, const std::string& r) {
             for (const std::string& root : {l, r}) {
                 Put(root + "/a/b/x.txt", "same", 0);
                 Put(root + "/c/y.txt", "same", 0);
             }
         },
         kn::TKNAction::LeftToRight,
         true,
         {},
         {},
         0},
        {"one file in a deep folder",
         [](const std::string& l, const std::string& r) {
             Put(l + "/a/b/new.txt", "new", 100);
             Put(r + "/a/b/old.txt", "old", 0);
             Put(l + "/a/b/old.txt", "old", 0);
             Put(l + "/c/y.txt", "same", 0);
             Put(r + "/c/y.txt", "same", 0);
         },
         kn::TKNAction::LeftToRight,
         false,
         {"", "/a", "/a/b"},
         {"", "/a", "/a/b"},
         0},
        {"a new tree; the newer file on the other side stays",
         [](const std::string& l, const std::string& r) {
             Put(l + "/n/m/f.txt", "new", 100);
             Put(l + "/k.txt", "old", 0);
             Put(r + "/k.txt", "newer", 100);
         },
         kn::TKNAction::LeftToRight,
         false,
         {"", "/n", "/n/m"},
         {"", "/n", "/n/m"},
         1},
        {"a folder deleted: it is not listed where it is gone",
         [](const std::string& l, const std::string& r) {
             Put(r + "/gone/g.txt", "old", 0);
             Put(l + "/kept/k.txt", "same", 0);
             Put(r + "/kept/k.txt", "same", 0);
         },
         kn::TKNAction::LeftToRight,
         true,
         {""},
         {""},
         0},
    };
    for (const Case& c : cases) {
        TempDir dir;
        c.make(dir / "L", dir / "R");
        UpdateHarness h(dir / "L", dir / "R");
        Listings compared, after;
        CountListings(h, compared);
        h.Compare();
        CountListings(h, after);
        h.engine.Update(c.action, c.force, h.AllRows(), true, true, false);
        EXPECT_TRUE(h.errors.empty()) << c.what;
        EXPECT_EQ(after.left, Once(c.relistedLeft)) << c.what;
        EXPECT_EQ(after.right, Once(c.relistedRight)) << c.what;
        for (const auto* counts : {&compared.left, &compared.right})
            for (const auto& [folder, count] : *counts) EXPECT_EQ(count, 1) << c.what << ": " << folder;
        UpdateHarness fresh(dir / "L", dir / "R");
        fresh.Compare();
        EXPECT_EQ(h.engine.Items.size(), c.rowsAfter) << c.what;
        EXPECT_EQ(RowTexts(h.engine), RowTexts(fresh.engine)) << c.what;
        EXPECT_EQ(h.engine.LeftEntries, fresh.engine.LeftEntries) << c.what;
        EXPECT_EQ(h.engine.RightEntries, fresh.engine.RightEntries) << c.what;
    }
}

// A folder no scan listed (here: made by another program during the run, while the folder the
// run wrote into became a link to it) is listed whole where a listing shows it.
TEST(CompareAfterUpdate, AFolderThatAppearedDuringTheRunIsListedWhole)
{
    TempDir dir;
    Put(dir / "L/a/new.txt", "new", 100);
    Put(dir / "L/b/left.txt", "left only", 0);
    MakeDirs(dir / "R/a");
    MakeDirs(dir / "R/b");
    UpdateHarness h(dir / "L", dir / "R");
    h.Compare();
    ASSERT_EQ(h.engine.Items.size(), 2u);
    const std::vector<int> first{h.engine.Items[0]->Left.Name == "new.txt" ? 0 : 1};
    h.onProgress = [&](const std::string&) {
        ASSERT_EQ(rename((dir / "L/a").c_str(), (dir / "L/moved").c_str()), 0);
        ASSERT_EQ(symlink("moved", (dir / "L/a").c_str()), 0);
    };
    Listings after;
    CountListings(h, after);
    h.engine.Update(kn::TKNAction::LeftToRight, false, first, true, true, false);
    EXPECT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(after.left, (std::map<std::string, int>{{"", 1}, {"/moved", 1}}));
    UpdateHarness fresh(dir / "L", dir / "R");
    fresh.Compare();
    EXPECT_EQ(RowTexts(h.engine), RowTexts(fresh.engine));
    EXPECT_EQ(h.engine.LeftEntries, fresh.engine.LeftEntries);
}

// A folder to be listed again that cannot be listed now: what lies below it is unknown in a way
// the kept rows do not show, so both trees are compared whole (as a user whom permissions bind).
TEST(CompareAfterUpdate, AFolderThatCannotBeListedNowMeansAWholeComparison)
{
    TempDir dir;
    Put(dir / "L/a/new.txt", "new", 100);
    Put(dir / "L/b/left.txt", "left only", 0);
    MakeDirs(dir / "R/a");
    MakeDirs(dir / "R/b");
    GiveToUnprivileged(dir.path());
    const int result = RunUnprivileged([&] {
        UpdateHarness h(dir / "L", dir / "R");
        h.Compare();
        if (h.engine.Items.size() != 2) return 1;
        const std::vector<int> first{h.engine.Items[0]->Left.Name == "new.txt" ? 0 : 1};
        // No longer listed (and so the copy out of it fails too).
        h.onProgress = [&](const std::string&) { chmod((dir / "L/a").c_str(), 0100); };
        Listings after;
        CountListings(h, after);
        h.engine.Update(kn::TKNAction::LeftToRight, false, first, true, true, false);
        if (h.errors.size() != 1) return 2;
        if (after.right.count("/b") != 1 || h.engine.UnlistedCount() != 1) return 3;
        UpdateHarness fresh(dir / "L", dir / "R");
        fresh.Compare();
        return RowTexts(h.engine) == RowTexts(fresh.engine) ? 0 : 4;
    });
    chmod((dir / "L/a").c_str(), 0700);
    EXPECT_EQ(result, 0) << "99: cannot give up root";
}
