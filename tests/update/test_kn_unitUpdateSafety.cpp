// Update runs that must lose nothing: folders that cannot be listed, links on either side,
// roots inside each other, concurrent backups and the program's left-over temporary files.
// Every case uses real trees and real links and checks what is on disk afterwards.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <thread>

#include "engine/kn_unitRun.h"
#include "framework/vex_unitFileSystem.h"
#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"

using namespace testutil;
using Tree = std::map<std::string, std::string>;

namespace {

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

void Link(const std::string& target, const std::string& link)
{
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
}

}  // namespace

// With L/secret unreadable, a forced mirror to the right must not take it for empty.
TEST(UpdateUnlisted, AFolderThatCannotBeReadLosesNothingOnEitherSide)
{
    for (kn::TKNAction direction : {kn::TKNAction::LeftToRight, kn::TKNAction::RightToLeft, kn::TKNAction::Auto}) {
        TempDir dir;
        Put(dir / "L/secret/mine.txt", "left only", 0);
        Put(dir / "L/secret/both.txt", "older", 0);
        Put(dir / "R/secret/both.txt", "newer", 100);
        Put(dir / "R/secret/sub/theirs.txt", "right only", 0);
        Put(dir / "L/plain.txt", "copied", 0);
        chmod(dir.path().c_str(), 0755);
        GiveToUnprivileged(dir.path());
        chmod((dir / "L/secret").c_str(), 0300);  // may be written, never listed
        const int result = RunUnprivileged([&] {
            UpdateHarness h(dir / "L", dir / "R");
            h.Compare();
            if (h.engine.UnlistedCount() != 1) return 1;
            h.Update(direction, true);
            return h.errors.empty() ? 0 : 2;
        });
        chmod((dir / "L/secret").c_str(), 0700);
        ASSERT_EQ(result, 0) << int(direction) << " (99: cannot give up root)";
        Tree right = Snapshot(dir / "R");
        EXPECT_EQ(right.count("secret/sub/theirs.txt"), 1u) << int(direction);
        EXPECT_EQ(right["secret/both.txt"], "newer") << int(direction);
        EXPECT_EQ(right.count("secret/mine.txt"), 0u) << "no copy into a folder it cannot judge";
        EXPECT_EQ(ReadFile(dir / "L/secret/both.txt"), "older") << int(direction);
        EXPECT_EQ(ReadFile(dir / "L/secret/mine.txt"), "left only") << int(direction);
        if (direction == kn::TKNAction::LeftToRight) {
            EXPECT_EQ(right["plain.txt"], "copied");
        } else if (direction == kn::TKNAction::RightToLeft) {
            EXPECT_FALSE(Exists(dir / "L/plain.txt")) << "forced: deleted";
        }
    }
}

// R/sub is a link to a folder outside the tree: nothing goes through it, whatever the action.
TEST(UpdateLinks, NothingIsWrittenThroughALinkOnTheWrittenSide)
{
    ProgramFolderHere program;
    for (kn::TKNAction direction : {kn::TKNAction::LeftToRight, kn::TKNAction::Auto}) {
        TempDir dir;
        Put(dir / "outside/a.txt", "outside, old", 0);
        Put(dir / "L/sub/a.txt", "left, new", 100);
        Put(dir / "L/sub/new.txt", "left", 100);
        MakeDirs(dir / "R");
        Link(dir / "outside", dir / "R/sub");
        const Tree outsideBefore = Snapshot(dir / "outside");
        for (int run = 0; run < 2; ++run) {
            UpdateHarness h(dir / "L", dir / "R");
            h.Compare();
            h.Update(direction, true, true);
        }
        EXPECT_EQ(Snapshot(dir / "outside"), outsideBefore) << int(direction);
        // A mirror replaces the link by the left's folder; Auto has a link against a folder.
        EXPECT_EQ(vex::IsSymLink(dir / "R/sub"), direction == kn::TKNAction::Auto);
    }
}

// Links on the read side, to a file outside the tree, to one inside it and to a folder outside:
// no content is read through any of them, so nothing of the outside arrives on the other side.
TEST(UpdateLinks, NothingIsReadThroughALinkOnTheReadSide)
{
    for (kn::TKNAction direction : {kn::TKNAction::LeftToRight, kn::TKNAction::Auto}) {
        TempDir dir;
        Put(dir / "outside/passwd", "outside secret", 0);
        Put(dir / "outside/keys/id", "outside key", 0);
        Put(dir / "L/real.txt", "inside", 100);
        MakeDirs(dir / "R");
        Link(dir / "outside/passwd", dir / "L/abs");
        Link(dir / "outside/keys", dir / "L/keys");
        Link("real.txt", dir / "L/in.txt");
        UpdateHarness h(dir / "L", dir / "R");
        h.Compare();
        h.Update(direction, true, true);
        const Tree right = Snapshot(dir / "R");
        EXPECT_EQ(right.at("real.txt"), "inside") << int(direction);
        for (const auto& [name, content] : right) {
            EXPECT_NE(content, "outside secret") << name << " " << int(direction);
            EXPECT_NE(content, "outside key") << name << " " << int(direction);
            EXPECT_FALSE(name == "in.txt" && !vex::IsSymLink(dir / "R/in.txt")) << "read through a link";
        }
    }
}

// Links in the written tree to a file and to a folder outside it, where the source holds a real
// file and folder: a forced mirror replaces each link as an entry of its own (the folder once
// the link is gone, in a second run) and changes neither target.
TEST(UpdateLinks, LinksInTheWrittenTreeAreReplacedNeverWrittenThrough)
{
    TempDir dir;
    Put(dir / "outside/secret.txt", "secret", 0);
    chmod((dir / "outside/secret.txt").c_str(), 0644);
    MakeDirs(dir / "outside/dd");
    chmod((dir / "outside/dd").c_str(), 0755);
    Put(dir / "L/secret.txt", "mine", 0);
    chmod((dir / "L/secret.txt").c_str(), 0444);
    Put(dir / "L/dd/in.txt", "in", 0);
    MakeDirs(dir / "R");
    Link(dir / "outside/secret.txt", dir / "R/secret.txt");
    Link(dir / "outside/dd", dir / "R/dd");
    const Tree outside = Snapshot(dir / "outside");
    for (int run = 0; run < 2; ++run) {
        UpdateHarness h(dir / "L", dir / "R");
        h.Compare();
        h.Update(kn::TKNAction::LeftToRight, true);
        for (const auto& e : h.errors)
            EXPECT_NE(e.find("is a symbolic link; nothing is written through it"), std::string::npos) << e;
        EXPECT_EQ(Snapshot(dir / "outside"), outside);
        EXPECT_EQ(ModeOf(dir / "outside/secret.txt"), 0644u);
        EXPECT_EQ(ModeOf(dir / "outside/dd"), 0755u);
    }
    EXPECT_EQ(Snapshot(dir / "R"), (Tree{{"dd", "<dir>"}, {"dd/in.txt", "in"}, {"secret.txt", "mine (ro)"}}));
}

// L/dd is a link to a folder elsewhere; R/dd is a real folder: one forced mirror makes R/dd the
// same link once the folder of the right side's own is gone (removed as in any mirror), and
// nothing is deleted through the link, on either side.
TEST(UpdateLinks, ALinkToAFolderInTheSourceIsMirroredAsALink)
{
    TempDir dir;
    Put(dir / "elsewhere/x.txt", "x", 0);
    MakeDirs(dir / "L");
    Link(dir / "elsewhere", dir / "L/dd");
    Put(dir / "R/dd/own.txt", "the right side's", 0);
    UpdateHarness h(dir / "L", dir / "R");
    h.Compare();
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Snapshot(dir / "R"), (Tree{{"dd", "-> " + dir / "elsewhere"}}));
    EXPECT_EQ(Snapshot(dir / "elsewhere"), (Tree{{"x.txt", "x"}}));
}

TEST(UpdateRoots, RootsInsideEachOtherAreRefusedButCompare)
{
    TempDir dir;
    Put(dir / "data/a.txt", "a", 100);
    Put(dir / "data/backup/old.txt", "b", 0);
    Link(dir / "data", dir / "alias");
    struct Case {
        std::string left, right, problem;
    } cases[] = {
        {dir / "data", dir / "data/backup",
         "The folder \"" + dir / "data/backup" + "\" lies inside \"" + dir / "data" + "\"."},
        {dir / "data/backup", dir / "data",
         "The folder \"" + dir / "data/backup" + "\" lies inside \"" + dir / "data" + "\"."},
        {dir / "data", dir / "alias",
         "The folders \"" + dir / "data" + "\" and \"" + dir / "alias" + "\" are one folder."},
    };
    for (const auto& c : cases) {
        const Tree before = Snapshot(dir.path());
        UpdateHarness h(c.left, c.right);
        h.Compare();
        EXPECT_TRUE(h.engine.ErrorText.empty()) << "a comparison still works";
        for (bool dryRun : {true, false}) {
            h.engine.UpdateDryRun = dryRun;
            std::vector<std::string> planned;
            h.engine.OnDryRunOperation = [&](void*, const std::string& text) { planned.push_back(text); };
            h.errors.clear();
            h.Update(kn::TKNAction::LeftToRight, true);
            EXPECT_EQ(h.errors, std::vector<std::string>{c.problem});
            EXPECT_TRUE(planned.empty());
        }
        EXPECT_EQ(Snapshot(dir.path()), before);
    }
}

// One folder under two names, by a bind mount (in a mount namespace of its own): the run layer
// refuses a folder inside the other's alias and a folder against its own alias before anything
// is compared, whatever the action; the engine's update refuses them too.
TEST(UpdateRoots, ABindMountIsTheFolderItShows)
{
    TempDir dir;
    Put(dir / "L/top.txt", "top", 100);
    Put(dir / "L/sub/x.txt", "x", 100);
    MakeDirs(dir / "B");
    const Tree before = Snapshot(dir / "L");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount((dir / "L").c_str(), (dir / "B").c_str(), nullptr, MS_BIND, nullptr) != 0)
            _exit(77);
        int failures = 0;
        for (const auto& [left, action] :
             {std::pair{dir / "L/sub", kn::TKNAction::LeftToRight}, std::pair{dir / "L", kn::TKNAction::TwoWay},
              std::pair{dir / "L", kn::TKNAction::Auto}}) {
            ProgramFolderHere program;
            kn::TKNFileCompare engine;
            kn::TKNRunObserver observer;
            kn::TKNRun run(engine, observer);
            kn::TKNRunRequest request;
            request.Left = left;
            request.Right = dir / "B";
            request.Options = kn::DefaultOptions("/");
            request.Action = action;
            request.Force = true;
            const kn::TKNRunResult result = run.Execute(request);
            if (result.Refusal.find(left == dir / "L" ? "are one folder" : "lies inside") == std::string::npos ||
                result.Compared)
                ++failures;
        }
        UpdateHarness h(dir / "L/sub", dir / "B");
        h.Compare();
        h.Update(kn::TKNAction::LeftToRight, true);
        if (h.errors.size() != 1 || h.errors[0].find("lies inside") == std::string::npos) ++failures;
        _exit(failures);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no mount namespace here";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "refusals missed: " << WEXITSTATUS(status);
    EXPECT_EQ(Snapshot(dir / "L"), before);
}

TEST(UpdateBackup, ConcurrentRunsNeverShareABackupFolder)
{
    TempDir home;
    const std::string base = home / "251209101010";
    std::vector<std::string> made(8);
    std::vector<std::thread> runs;
    for (auto& folder : made) runs.emplace_back([&folder, &base] { folder = kn::MakeBackupFolder(base); });
    for (auto& run : runs) run.join();
    std::set<std::string> distinct(made.begin(), made.end());
    EXPECT_EQ(distinct.size(), made.size());
    EXPECT_EQ(distinct.count(base), 1u);
    EXPECT_EQ(distinct.count(base + "-8"), 1u);
    for (const auto& folder : made) EXPECT_TRUE(Exists(folder)) << folder;
}

// Whatever a scan takes for a left-over, the update removes only a name the program can prove
// its own (see test_kn_unitUpdateSides.cpp for those): an older name pattern is a user's file.
TEST(UpdateTempFiles, ALeftOverOfAnotherNamePatternIsKept)
{
    TempDir dir;
    Put(dir / "R/.kn-b.txt-0z9y8x", "looks like a partial copy", 0);
    Put(dir / "L/a.txt", "a", 0);
    UpdateHarness h(dir / "L", dir / "R");
    h.Compare();
    h.engine.RightList.StaleTempFiles = {dir / "R/.kn-b.txt-0z9y8x"};
    // Not forced: the scan lists the look-alike as the user's file, which only a mirror deletes.
    h.Update(kn::TKNAction::LeftToRight, false);
    EXPECT_TRUE(h.errors.empty());
    EXPECT_EQ(ReadFile(dir / "R/.kn-b.txt-0z9y8x"), "looks like a partial copy");
    EXPECT_EQ(h.engine.LastUpdate().Planned.TempFilesToRemove, 0);
}
