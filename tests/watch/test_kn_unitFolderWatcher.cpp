// The watcher against real folders: each case changes a tree in phases and waits (on the
// watcher's descriptor, never on a clock) until every event it expects has come.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/common/temp_tree.h"
#include "watch/kn_unitFolderWatcher.h"

namespace {

using testutil::MakeDirs;
using testutil::WriteFile;

std::string Text(const kn::TKNWatchEvent& event)
{
    static const char* const kinds[] = {"changed ", "appeared ", "overflow "};
    return kinds[event.What] + event.Folder;
}

// Reads events until all of `expected` have come (false if the watcher falls silent first).
bool AwaitEvents(kn::TKNFolderWatcher& watcher, const std::vector<std::string>& expected,
                 std::vector<std::string>& seen)
{
    auto missing = [&] {
        return std::any_of(expected.begin(), expected.end(),
                           [&](const std::string& e) { return std::find(seen.begin(), seen.end(), e) == seen.end(); });
    };
    while (missing()) {
        pollfd waiting{watcher.Fd(), POLLIN, 0};
        // Only a bound for a watcher that is broken: every expected event comes at once.
        if (poll(&waiting, 1, 20000) <= 0) return false;
        std::vector<kn::TKNWatchEvent> events;
        watcher.Read(events);
        for (const kn::TKNWatchEvent& event : events) seen.push_back(Text(event));
    }
    return true;
}

struct Phase {
    std::function<void(const std::string& root)> Act;
    std::vector<std::string> Expect;
    std::string Never;  // no event of the phase names this (empty: no such check)
};

struct Case {
    const char* Name;
    std::vector<std::string> Folders;  // made before the watch starts
    std::vector<Phase> Phases;
};

void Rename(const std::string& from, const std::string& to)
{
    ASSERT_EQ(std::rename(from.c_str(), to.c_str()), 0);
}

const Case kCases[] = {
    {"WritesInEveryFolder",
     {"a/b", "c"},
     {{[](const std::string& r) {
           WriteFile(r + "/a/b/f", "1");
           WriteFile(r + "/c/g", "2");
           WriteFile(r + "/h", "3");
       },
       {"changed /a/b", "changed /c", "changed "},
       ""}}},
    {"NewFolderIsWatchedAtOnce",
     {},
     {{[](const std::string& r) { WriteFile(r + "/n/m/f", "1"); }, {"appeared /n", "changed "}, ""},
      {[](const std::string& r) { WriteFile(r + "/n/m/late", "2"); }, {"changed /n/m"}, ""}}},
    {"RenamedFolderIsWatchedUnderItsNewName",
     {"a/b"},
     {{[](const std::string& r) { Rename(r + "/a", r + "/z"); }, {"changed ", "appeared /z"}, ""},
      {[](const std::string& r) { WriteFile(r + "/z/b/f", "1"); }, {"changed /z/b"}, "/a"}}},
    {"FolderMovedOutIsForgotten",
     {"in/a", "out"},
     {{[](const std::string& r) { Rename(r + "/in/a", r + "/out/a"); }, {"changed /in", "appeared /out/a"}, ""},
      {[](const std::string& r) { WriteFile(r + "/out/a/f", "1"); }, {"changed /out/a"}, "/in/a"}}},
    {"SaveByRenameIsAChangeOfItsFolder",
     {"doc"},
     {{[](const std::string& r) {
           WriteFile(r + "/doc/f.tmp", "new");
           Rename(r + "/doc/f.tmp", r + "/doc/f");
       },
       {"changed /doc"},
       "appeared"}}},
};

class FolderWatcher : public ::testing::TestWithParam<Case> {};

TEST_P(FolderWatcher, ReportsEveryChange)
{
    const Case& c = GetParam();
    testutil::TempDir dir;
    const std::string root = dir / "root";
    MakeDirs(root);
    for (const std::string& folder : c.Folders) MakeDirs(root + "/" + folder);
    kn::TKNFolderWatcher watcher(root);
    ASSERT_TRUE(watcher.Start()) << watcher.Error();
    EXPECT_EQ(watcher.LimitText(), "");
    for (std::size_t i = 0; i < c.Phases.size(); ++i) {
        SCOPED_TRACE("phase " + std::to_string(i));
        const Phase& phase = c.Phases[i];
        phase.Act(root);
        std::vector<std::string> seen;
        ASSERT_TRUE(AwaitEvents(watcher, phase.Expect, seen)) << testing::PrintToString(seen);
        for (const std::string& event : seen) {
            if (!phase.Never.empty()) {
                EXPECT_EQ(event.find(phase.Never), std::string::npos) << event;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, FolderWatcher, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& row) { return std::string(row.param.Name); });

// Links to folders are not followed: a change beyond one is none of the tree's.
TEST(FolderWatcherLinks, LinkedFolderIsNotWatched)
{
    testutil::TempDir dir;
    MakeDirs(dir / "root/a");
    MakeDirs(dir / "outside");
    ASSERT_EQ(symlink((dir / "outside").c_str(), (dir / "root/link").c_str()), 0);
    kn::TKNFolderWatcher watcher(dir / "root");
    ASSERT_TRUE(watcher.Start()) << watcher.Error();
    EXPECT_EQ(watcher.Watches(), 2u);  // the root and /a
    WriteFile(dir / "outside/f", "1");
    WriteFile(dir / "root/a/g", "2");
    std::vector<std::string> seen;
    ASSERT_TRUE(AwaitEvents(watcher, {"changed /a"}, seen));
    for (const std::string& event : seen) EXPECT_EQ(event.find("link"), std::string::npos) << event;
}

// Beyond its watch limit the watcher says which folders it does not watch, and what it takes.
TEST(FolderWatcherLimit, UnwatchedFoldersAreNamedWithTheLimit)
{
    testutil::TempDir dir;
    for (const char* folder : {"a/b", "c", "d"}) MakeDirs(dir / (std::string("root/") + folder));
    kn::TKNFolderWatcher watcher(dir / "root", 3);
    ASSERT_TRUE(watcher.Start()) << watcher.Error();
    EXPECT_EQ(watcher.Watches(), 3u);
    std::size_t beneath = 0;  // each unwatched folder with what is beneath it: 2 of the 5
    for (const std::string& folder : watcher.Unwatched()) beneath += folder == "/a" ? 2 : 1;
    EXPECT_EQ(beneath, 2u) << testing::PrintToString(watcher.Unwatched());
    EXPECT_EQ(watcher.LimitText(),
              "2 of the 5 folders of " + dir / "root" + " are not watched: this watch may set 3 watches");
    MakeDirs(dir / "root/e");
    std::vector<std::string> seen;
    ASSERT_TRUE(AwaitEvents(watcher, {"appeared /e"}, seen));
    EXPECT_NE(std::find(watcher.Unwatched().begin(), watcher.Unwatched().end(), "/e"), watcher.Unwatched().end());
}

}  // namespace
