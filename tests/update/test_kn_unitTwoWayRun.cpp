// Two-way runs carried out end to end: one table of decisions run with a local left side and,
// on the right, every kind of side (local, FTP, SFTP); then a run killed with SIGKILL at several
// moments and started again, which must end with both sides in line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

#include "engine/kn_unitTwoWayRun.h"
#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"
#include "tests/update/update_kinds.h"

using namespace testutil;
using Tree = std::map<std::string, std::string>;

namespace {

constexpr int64_t kBase = 1500000000;  // the moment Put and Age count from

// One two-way run between `left` and `right` (a location): compares (files larger than
// `maxSize` left out, when it is not negative), calls `between` once the plan is made, carries
// it out. Its exit status as kestrune-cli would give it: 2 refused, 1 something skipped, failed
// or left open, else 0.
int RunTwoWay(const std::string& left, const std::string& right, const std::string& stateFile,
              const std::function<void()>& between = {}, kn::TKNTwoWayPlan* plan = nullptr, int64_t maxSize = -1)
{
    UpdateHarness h(left, right);
    kn::TKNTwoWaySettings settings;
    settings.StateFile = stateFile;
    kn::TKNOptionsRec options = kn::DefaultOptions("/");
    if (maxSize >= 0) {
        options.CheckSize = 1;
        options.MinSize = 0;
        options.MaxSize = maxSize;
        h.engine.SetMaxSize(maxSize);
    }
    auto run = std::make_shared<kn::TKNTwoWayRun>(options, settings);
    h.engine.TwoWay = run;
    h.Compare();
    EXPECT_TRUE(run->Ready()) << run->Problem();
    if (plan) *plan = run->Plan();
    if (!run->Refusal().empty()) return 2;
    if (between) between();
    h.engine.Update(kn::TKNAction::TwoWay, false, {}, true, false, false);
    const bool failed = !h.engine.LastUpdate().Failures.empty();
    return std::max(run->Outcome().ExitStatus(), failed ? 1 : 0);
}

struct Case {
    const char* Name;
    Tree Base;  // both sides, in line and recorded before the change
    // The change after the last synchronisation (L and R are the local paths of both roots).
    std::function<void(const std::string& L, const std::string& R)> Change;
    Tree Left, Right;  // both sides after the run
    int Exit = 0;
    int64_t Moves = 0;  // renames the plan makes instead of copies
    // Called between the plan and its update (a change the run must notice).
    std::function<void(const std::string& L, const std::string& R)> Between;
};

const std::string kConflictName = kn::ConflictName("b.txt", kBase + 20, nullptr);
const std::string kLongName = std::string(240, 'l') + ".txt";  // no room for a conflict's suffix
const std::string kLongConflict = kn::ConflictName(kLongName, kBase + 20, nullptr);

// Rewrites `path` in place (same inode, same size) and gives it back its time: to the second,
// `nsec` nanoseconds after it (an editor's save within that second).
void RewriteInPlace(const std::string& path, const std::string& content, int age, long nsec = 0)
{
    FILE* f = std::fopen(path.c_str(), "r+");
    ASSERT_NE(f, nullptr);
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(kBase + age), nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

const std::vector<Case>& Cases()
{
    static const std::vector<Case> cases = {
        {"EditedOnOneSideIsCopied",
         {{"a.txt", "one"}},
         [](auto& L, auto&) { Put(L + "/a.txt", "one, edited", 50); },
         {{"a.txt", "one, edited"}},
         {{"a.txt", "one, edited"}},
         0,
         0,
         {}},
        {"EditedToAnOlderTimeIsCopied",
         {{"a.txt", "one"}},
         [](auto&, auto& R) { Put(R + "/a.txt", "old", -500); },
         {{"a.txt", "old"}},
         {{"a.txt", "old"}},
         0,
         0,
         {}},
        {"NewOnTheRightIsCopiedLeft",
         {{"a.txt", "one"}},
         [](auto&, auto& R) { Put(R + "/sub/n.txt", "new", 5); },
         {{"a.txt", "one"}, {"sub", "<dir>"}, {"sub/n.txt", "new"}},
         {{"a.txt", "one"}, {"sub", "<dir>"}, {"sub/n.txt", "new"}},
         0,
         0,
         {}},
        {"DeletedOnOneSideIsDeletedOnTheOther",
         {{"a.txt", "one"}, {"d.txt", "gone"}},
         [](auto& L, auto&) { RemoveTree(L + "/d.txt"); },
         {{"a.txt", "one"}},
         {{"a.txt", "one"}},
         0,
         0,
         {}},
        {"DeletedOnOneSideAndChangedOnTheOtherSurvives",
         {{"a.txt", "one"}, {"d.txt", "kept"}},
         [](auto& L, auto& R) {
             RemoveTree(L + "/d.txt");
             Put(R + "/d.txt", "kept, changed", 60);
         },
         {{"a.txt", "one"}, {"d.txt", "kept, changed"}},
         {{"a.txt", "one"}, {"d.txt", "kept, changed"}},
         0,
         0,
         {}},
        {"ChangedOnBothToTheSameBytesIsOnlyRecorded",
         {{"a.txt", "one"}},
         [](auto& L, auto& R) {
             Put(L + "/a.txt", "same", 70);
             Put(R + "/a.txt", "same", 80);
         },
         {{"a.txt", "same"}},
         {{"a.txt", "same"}},
         0,
         0,
         {}},
        {"ChangedOnBothIsAConflictKeptBothWays",
         {{"b.txt", "base"}},
         [](auto& L, auto& R) {
             Put(L + "/b.txt", "left edit", 20);
             Put(R + "/b.txt", "right edit, newer", 30);
         },
         {{"b.txt", "right edit, newer"}, {kConflictName, "left edit"}},
         {{"b.txt", "right edit, newer"}, {kConflictName, "left edit"}},
         1,
         0,
         {}},
        {"DeletedOnBothIsForgotten",
         {{"a.txt", "one"}, {"d.txt", "gone"}},
         [](auto& L, auto& R) {
             RemoveTree(L + "/d.txt");
             RemoveTree(R + "/d.txt");
         },
         {{"a.txt", "one"}},
         {{"a.txt", "one"}},
         0,
         0,
         {}},
        {"MovedOnTheLeftIsRenamedOnTheRight",
         {{"a.txt", "one"}, {"f", "<dir>"}, {"f/m.txt", "moving"}},
         [](auto& L, auto&) {
             MakeDirs(L + "/g");
             ASSERT_EQ(::rename((L + "/f/m.txt").c_str(), (L + "/g/m.txt").c_str()), 0);
         },
         {{"a.txt", "one"}, {"f", "<dir>"}, {"g", "<dir>"}, {"g/m.txt", "moving"}},
         {{"a.txt", "one"}, {"f", "<dir>"}, {"g", "<dir>"}, {"g/m.txt", "moving"}},
         0,
         1,
         {}},
        {"MovedOnTheRightIsRenamedOnTheLeft",
         {{"a.txt", "one"}, {"m.txt", "moving"}},
         [](auto&, auto& R) { ASSERT_EQ(::rename((R + "/m.txt").c_str(), (R + "/n.txt").c_str()), 0); },
         {{"a.txt", "one"}, {"n.txt", "moving"}},
         {{"a.txt", "one"}, {"n.txt", "moving"}},
         0,
         1,
         {}},
        {"FolderRemovedWhileTheOtherSideAddedBeneathIsMadeAgain",
         {{"a.txt", "one"}, {"f", "<dir>"}, {"f/old.txt", "old"}},
         [](auto& L, auto& R) {
             RemoveTree(L + "/f");
             Put(R + "/f/new.txt", "new", 90);
         },
         {{"a.txt", "one"}, {"f", "<dir>"}, {"f/new.txt", "new"}},
         {{"a.txt", "one"}, {"f", "<dir>"}, {"f/new.txt", "new"}},
         0,
         0,
         {}},
        {"ARootListingEmptyRefusesTheRun",
         {{"a.txt", "one"}, {"b.txt", "two"}},
         [](auto&, auto& R) {
             RemoveTree(R + "/a.txt");
             RemoveTree(R + "/b.txt");
         },
         {{"a.txt", "one"}, {"b.txt", "two"}},
         {},
         2,
         0,
         {}},
        // The older version cannot move aside (a file took its conflict name meanwhile): nothing
        // replaces it, and nothing is copied across in its name.
        {"AConflictWhoseOlderVersionCannotMoveAsideReplacesNothing",
         {{"b.txt", "base"}},
         [](auto& L, auto& R) {
             Put(L + "/b.txt", "left edit", 20);
             Put(R + "/b.txt", "right edit, newer", 30);
         },
         {{"b.txt", "left edit"}, {kConflictName, "in the way"}},
         {{"b.txt", "right edit, newer"}},
         1,
         0,
         [](auto& L, auto&) { Put(L + "/" + kConflictName, "in the way", 25); }},
        {"AConflictNameIsShortenedToFit",
         {{kLongName, "base"}},
         [](auto& L, auto& R) {
             Put(L + "/" + kLongName, "left edit", 20);
             Put(R + "/" + kLongName, "right edit, newer", 30);
         },
         {{kLongName, "right edit, newer"}, {kLongConflict, "left edit"}},
         {{kLongName, "right edit, newer"}, {kLongConflict, "left edit"}},
         1,
         0,
         {}},
        // Same size and time, and locally the same inode: only the bytes tell it is no move.
        {"AFileRenamedAndRewrittenInPlaceIsCopiedNotRenamed",
         {{"a.txt", "one"}, {"k.txt", "keep"}},
         [](auto& L, auto&) {
             ASSERT_EQ(::rename((L + "/a.txt").c_str(), (L + "/b.txt").c_str()), 0);
             RewriteInPlace(L + "/b.txt", "two", 1);
         },
         {{"b.txt", "two"}, {"k.txt", "keep"}},
         {{"b.txt", "two"}, {"k.txt", "keep"}},
         0,
         0,
         {}},
        // A file gone and another of its size and time new: a move only if the bytes agree.
        {"OtherBytesOfTheSameSizeAndTimeAreCopiedNotRenamed",
         {{"a.txt", "one"}, {"k.txt", "keep"}},
         [](auto& L, auto&) {
             RemoveTree(L + "/a.txt");
             Put(L + "/b.txt", "two", 1);
         },
         {{"b.txt", "two"}, {"k.txt", "keep"}},
         {{"b.txt", "two"}, {"k.txt", "keep"}},
         0,
         0,
         {}},
        {"AFolderReplacedByAnotherOfTheSameShapeIsCopiedNotRenamed",
         {{"d", "<dir>"}, {"d/x.txt", "one"}},
         [](auto& L, auto&) {
             RemoveTree(L + "/d");
             MakeDirs(L + "/e");
             Put(L + "/e/x.txt", "two", 2);
         },
         {{"e", "<dir>"}, {"e/x.txt", "two"}},
         {{"e", "<dir>"}, {"e/x.txt", "two"}},
         0,
         0,
         {}},
        {"AnEditWithinTheRecordedSecondIsSeen",
         {{"a.txt", "one"}},
         [](auto& L, auto&) { RewriteInPlace(L + "/a.txt", "two", 1, 500000000); },
         {{"a.txt", "two"}},
         {{"a.txt", "two"}},
         0,
         0,
         {}},
        // What lies beneath a link on the other side is left alone, and the run says so.
        {"NewEntriesBeneathALinkOnTheOtherSideAreUnsettled",
         {{"a.txt", "one"}},
         [](auto& L, auto& R) {
             ASSERT_EQ(::symlink("/", (R + "/sub").c_str()), 0);
             Put(L + "/sub/n.txt", "new", 5);
         },
         {{"a.txt", "one"}, {"sub", "<dir>"}, {"sub/n.txt", "new"}},
         {{"a.txt", "one"}, {"sub", "-> /"}},
         1,
         0,
         {}},
        {"ChangedSinceTheComparisonIsSkippedAndKept",
         {{"a.txt", "one"}},
         [](auto& L, auto&) { Put(L + "/a.txt", "left edit", 40); },
         {{"a.txt", "left edit"}},
         {{"a.txt", "right, during the run"}},
         1,
         0,
         [](auto&, auto& R) { Put(R + "/a.txt", "right, during the run", 45); }},
    };
    return cases;
}

class TwoWayKinds : public testing::TestWithParam<std::tuple<std::string, int>> {
protected:
    UpdateKind& kind = KindNamed(std::get<0>(GetParam()));
    const Case& c = Cases()[static_cast<std::size_t>(std::get<1>(GetParam()))];
    const std::string base = kind.Folder();
    const std::string left = base + "/L";
    const std::string right = base + "/R";
    const std::string stateFile = base + "/state.sqlite";
    ProgramFolderHere program;

    int Run(const std::function<void()>& between = {}, kn::TKNTwoWayPlan* plan = nullptr)
    {
        return RunTwoWay(left, kind.Location(right), stateFile, between, plan);
    }
};

}  // namespace

TEST_P(TwoWayKinds, Decides)
{
    MakeDirs(left);
    MakeDirs(right);
    int age = 0;
    for (const auto& [path, content] : c.Base) {
        ++age;
        for (const std::string& root : {left, right}) {
            if (content == "<dir>")
                MakeDirs(root + "/" + path);
            else
                Put(root + "/" + path, content, age);
        }
    }
    ASSERT_EQ(Run(), 0) << "the first run records the pair";
    c.Change(left, right);
    kn::TKNTwoWayPlan plan;
    const int exit = Run(c.Between ? std::function<void()>([&] { c.Between(left, right); }) : nullptr, &plan);
    EXPECT_EQ(exit, c.Exit);
    EXPECT_EQ(plan.Totals.Moves, c.Moves);
    EXPECT_EQ(Snapshot(left), c.Left);
    EXPECT_EQ(Snapshot(right), c.Right);
    if (c.Exit == 2) return;
    // A skipped change stays what it was for the next run to decide; otherwise all is in line.
    kn::TKNTwoWayPlan again;
    Run({}, &again);
    if (c.Between) EXPECT_FALSE(again.Ops.empty() && again.Conflicts.empty()) << "its state was kept";
    // A server that hides links shows nothing where one is: the run tries again, and fails again.
    else if (!kind.ShowsLinks() && std::string(c.Name).find("Link") != std::string::npos)
        EXPECT_EQ(Run(), c.Exit);
    else
        EXPECT_TRUE(again.Ops.empty()) << kn::TwoWayPlanText(again);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, TwoWayKinds,
                         testing::Combine(testing::ValuesIn(KindNames()),
                                          testing::Range(0, static_cast<int>(Cases().size()))),
                         [](const auto& param) {
                             return std::get<0>(param.param) + "_" +
                                    Cases()[static_cast<std::size_t>(std::get<1>(param.param))].Name;
                         });

// A link is carried like a file where both sides hold links: made, given another text, and
// deleted on one side, each reaches the other side as a link; where a side holds none, a link
// stays where it is and nothing is written in its place.
class TwoWayLinks : public testing::TestWithParam<std::string> {};

TEST_P(TwoWayLinks, ALinkIsCarriedAsALink)
{
    UpdateKind& kind = KindNamed(GetParam());
    const std::string base = kind.Folder(), left = base + "/L", right = base + "/R", state = base + "/state.sqlite";
    ProgramFolderHere program;
    Put(left + "/a.txt", "one", 1);
    Put(right + "/a.txt", "one", 1);
    ASSERT_EQ(RunTwoWay(left, kind.Location(right), state), 0);
    ASSERT_EQ(::symlink("a.txt", (left + "/l").c_str()), 0);
    bool holds = false;
    {
        UpdateHarness probe(left, kind.Location(right));
        probe.Compare();
        holds = kn::PairCapsOf(probe.engine).Right.Links;
    }
    EXPECT_EQ(RunTwoWay(left, kind.Location(right), state), 0);
    EXPECT_EQ(Snapshot(right), (holds ? Tree{{"a.txt", "one"}, {"l", "-> a.txt"}} : Tree{{"a.txt", "one"}}));
    EXPECT_EQ(Snapshot(left), (Tree{{"a.txt", "one"}, {"l", "-> a.txt"}}));
    if (!holds) return;
    ASSERT_EQ(::unlink((right + "/l").c_str()), 0);
    ASSERT_EQ(::symlink("elsewhere", (right + "/l").c_str()), 0);
    EXPECT_EQ(RunTwoWay(left, kind.Location(right), state), 0);
    EXPECT_EQ(Snapshot(left), (Tree{{"a.txt", "one"}, {"l", "-> elsewhere"}}));
    ASSERT_EQ(::unlink((left + "/l").c_str()), 0);
    EXPECT_EQ(RunTwoWay(left, kind.Location(right), state), 0);
    EXPECT_EQ(Snapshot(right), (Tree{{"a.txt", "one"}}));
    kn::TKNTwoWayPlan again;
    RunTwoWay(left, kind.Location(right), state, {}, &again);
    EXPECT_TRUE(again.Ops.empty()) << kn::TwoWayPlanText(again);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, TwoWayLinks, testing::ValuesIn(KindNames()),
                         [](const auto& param) { return param.param; });

// A run killed at any moment and started again ends with both sides in line: what was deleted
// stays deleted, every edit and new file reaches the other side, and a further run has nothing
// to do.
TEST(TwoWayKilled, RerunEndsInLine)
{
    ProgramFolderHere program;
    TempDir dir;
    const std::string left = dir.path() + "/L", right = dir.path() + "/R", state = dir.path() + "/state.sqlite";
    const std::string block(32 * 1024, 'x');
    for (int i = 0; i < 60; ++i)
        for (const std::string& root : {left, right}) {
            Put(root + "/d/" + std::to_string(i), "delete me", i);
            Put(root + "/m/" + std::to_string(i), "edit me", i);
        }
    ASSERT_EQ(RunTwoWay(left, right, state), 0);
    for (int i = 0; i < 60; ++i) {
        RemoveTree(left + "/d/" + std::to_string(i));
        Put(right + "/m/" + std::to_string(i), "edited " + std::to_string(i), 1000 + i);
        Put(left + "/n/" + std::to_string(i), block + std::to_string(i), 2000 + i);
    }
    for (int delayMs : {2, 10, 30, 80}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RunTwoWay(left, right, state);
            _exit(0);
        }
        usleep(static_cast<useconds_t>(delayMs) * 1000);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
    }
    // A temporary file of the second a run opens its sides may be another run's copy in work:
    // only older ones are taken for left-overs, so the rerun comes in a later second.
    const time_t killed = time(nullptr);
    while (time(nullptr) == killed) usleep(20 * 1000);
    RunTwoWay(left, right, state);
    const Tree l = Snapshot(left), r = Snapshot(right);
    EXPECT_EQ(l, r);
    for (int i = 0; i < 60; ++i) {
        const std::string n = std::to_string(i);
        EXPECT_EQ(l.count("d/" + n), 0u) << "resurrected d/" << n;
        EXPECT_EQ(l.count("m/" + n) ? l.at("m/" + n) : "", "edited " + n);
        EXPECT_EQ(r.count("n/" + n) ? r.at("n/" + n) : "", block + n);
    }
    kn::TKNTwoWayPlan again;
    EXPECT_EQ(RunTwoWay(left, right, state, {}, &again), 0);
    EXPECT_TRUE(again.Ops.empty() && again.Conflicts.empty()) << kn::TwoWayPlanText(again);
}

// A file that grew past the size filter is left out of the listing: it is unknown there, so the
// other side's copy is neither deleted nor the record dropped.
TEST(TwoWayFiltered, AnEntryTheFiltersLeaveOutIsLeftAlone)
{
    ProgramFolderHere program;
    TempDir dir;
    const std::string left = dir.path() + "/L", right = dir.path() + "/R", state = dir.path() + "/state.sqlite";
    for (const std::string& root : {left, right}) {
        Put(root + "/keep.txt", "k", 1);
        Put(root + "/grows.txt", "small", 2);
    }
    ASSERT_EQ(RunTwoWay(left, right, state, {}, nullptr, 10), 0);
    Put(left + "/grows.txt", "now larger than ten bytes", 3);
    kn::TKNTwoWayPlan plan;
    EXPECT_EQ(RunTwoWay(left, right, state, {}, &plan, 10), 0);
    EXPECT_EQ(plan.Kept, std::vector<std::string>{"grows.txt"});
    EXPECT_EQ(ReadFile(right + "/grows.txt"), "small");
    EXPECT_EQ(ReadFile(left + "/grows.txt"), "now larger than ten bytes");
}

// What the window shows and settles: each row's decision, and one conflict settled by its own
// policy before the update.
TEST(TwoWayRows, EachRowHasItsDecisionAndAConflictIsSettledAlone)
{
    ProgramFolderHere program;
    TempDir dir;
    const std::string left = dir.path() + "/L", right = dir.path() + "/R", state = dir.path() + "/state.sqlite";
    for (const std::string& root : {left, right}) {
        Put(root + "/a.txt", "one", 1);
        Put(root + "/b.txt", "base", 2);
    }
    ASSERT_EQ(RunTwoWay(left, right, state), 0);
    Put(left + "/a.txt", "one, edited", 10);
    Put(left + "/b.txt", "left edit", 20);
    Put(right + "/b.txt", "right edit, newer", 30);
    UpdateHarness h(left, right);
    kn::TKNTwoWaySettings settings;
    settings.StateFile = state;
    auto run = std::make_shared<kn::TKNTwoWayRun>(kn::DefaultOptions("/"), settings);
    h.engine.TwoWay = run;
    ASSERT_EQ(h.Compare(), 2u);
    std::map<std::string, kn::TKNOperation> kinds;
    for (int i = 0; i < 2; ++i)
        kinds[kn::TKNTwoWayRun::RowPath(h.engine, *h.engine.RowAt(i))] = run->RowDecision(h.engine, i).Op;
    EXPECT_EQ(kinds, (std::map<std::string, kn::TKNOperation>{{"a.txt", kn::TKNOperation::CopyLeftToRight},
                                                              {"b.txt", kn::TKNOperation::Conflict}}));
    EXPECT_TRUE(run->SettleConflict("b.txt", kn::TKNConflictPolicy::Left));
    EXPECT_FALSE(run->SettleConflict("a.txt", kn::TKNConflictPolicy::Left)) << "no conflict there";
    EXPECT_EQ(run->Summary(), "2 to copy left to right (20 bytes), 1 conflict");
    h.engine.Update(kn::TKNAction::TwoWay, false, {}, true, false, false);
    EXPECT_EQ(run->Outcome().ExitStatus(), 0);
    EXPECT_EQ(ReadFile(right + "/b.txt"), "left edit");
    EXPECT_EQ(ReadFile(right + "/a.txt"), "one, edited");
}
