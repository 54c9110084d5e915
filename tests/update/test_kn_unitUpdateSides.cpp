// The rules the updater keeps above the sides, run against every kind of side written (a local
// folder, FTP on pyftpdlib, SFTP on sshd) by the same code: concurrent runs between two sides of
// one kind never mix bytes, a file changed since the comparison is skipped, names that are not
// one component on the written side fail their row, files that merely look like temporaries
// are the user's, new folders take their source's bits and set-ID bits never pass to another
// owner.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "engine/kn_unitRun.h"
#include "engine/kn_unitUpdateEvent.h"
#include "engine/kn_unitUpdatePlan.h"
#include "side/kn_unitSideRules.h"
#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"
#include "tests/update/update_kinds.h"

using namespace testutil;
using Tree = std::map<std::string, std::string>;

namespace {

constexpr int64_t kOld = 1577872800;  // 2020-01-01 10:00:00 UTC

void PutAt(const std::string& path, const std::string& content, int64_t mtime)
{
    WriteFile(path, content);
    SetMTime(path, mtime);
}

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// A local left side and, on the right, the kind under test; both in one served folder.
class UpdateSides : public testing::TestWithParam<std::string> {
protected:
    UpdateKind& kind = KindNamed(GetParam());
    const std::string base = kind.Folder();
    const std::string left = base + "/L";
    const std::string right = base + "/R";
    void SetUp() override
    {
        MakeDirs(left);
        MakeDirs(right);
    }
    std::unique_ptr<UpdateHarness> Harness() { return std::make_unique<UpdateHarness>(left, kind.Location(right)); }
};

}  // namespace

// Three runs at once, each between two folders of the kind: every destination holds exactly
// its own source's bytes (a shared staging file once mixed them).
TEST_P(UpdateSides, ConcurrentRunsBetweenTwoSidesOfTheKindNeverMixBytes)
{
    constexpr int kRunsAtOnce = 3, kFiles = 6;
    auto content = [](int run, int file) {
        return std::string(40000 + 997 * file, static_cast<char>('a' + run)) + std::to_string(file);
    };
    for (int run = 0; run < kRunsAtOnce; ++run)
        for (int file = 0; file < kFiles; ++file)
            PutAt(base + "/src" + std::to_string(run) + "/f" + std::to_string(file), content(run, file), kOld);
    std::vector<pid_t> children;
    for (int run = 0; run < kRunsAtOnce; ++run) {
        const std::string src = base + "/src" + std::to_string(run), dst = base + "/dst" + std::to_string(run);
        MakeDirs(dst);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            UpdateHarness h(kind.Location(src), kind.Location(dst));
            const bool compared = h.Compare() == kFiles;
            if (compared) h.Update(kn::TKNAction::LeftToRight, false);
            _exit(compared && h.errors.empty() ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int run = 0; run < kRunsAtOnce; ++run)
        for (int file = 0; file < kFiles; ++file)
            EXPECT_EQ(ReadFile(base + "/dst" + std::to_string(run) + "/f" + std::to_string(file)), content(run, file))
                << "run " << run << " file " << file;
}

// Entries the user changed on the written side after the comparison: each row is skipped with
// "changed since the comparison", counted as a failure, neither overwritten nor backed up. The
// dry run before plans every row; each operation's event tells its result.
TEST_P(UpdateSides, AFileChangedSinceTheComparisonIsSkipped)
{
    ProgramFolderHere program;
    PutAt(left + "/rewritten.txt", "source", kOld + 600);
    PutAt(right + "/rewritten.txt", "older", kOld);
    PutAt(left + "/touched.txt", "source", kOld + 600);
    PutAt(right + "/touched.txt", "saved!", kOld);
    PutAt(left + "/appeared.txt", "source", kOld);
    PutAt(right + "/only-here.txt", "to delete", kOld);
    PutAt(left + "/untouched.txt", "copied", kOld + 600);
    PutAt(right + "/untouched.txt", "old", kOld);
    auto h = Harness();
    ASSERT_EQ(h->Compare(), 5u) << h->engine.ErrorText;
    std::map<std::string, kn::TKNOpResult> results;  // the typed event of each operation
    h->engine.OnOperation = [&](void*, const kn::TKNOpEvent& e) { results[e.Path] = e.Result; };
    h->engine.UpdateDryRun = true;
    h->Update(kn::TKNAction::LeftToRight, true, true);
    EXPECT_EQ(results.size(), 5u);
    for (const auto& [path, result] : results) EXPECT_EQ(result, kn::TKNOpResult::Planned) << path;
    h->engine.UpdateDryRun = false;
    PutAt(right + "/rewritten.txt", "the user's newer save", kOld + 900);
    SetMTime(right + "/touched.txt", kOld + 7200);
    PutAt(right + "/appeared.txt", "made meanwhile", kOld + 900);
    PutAt(right + "/only-here.txt", "now needed", kOld + 900);
    h->Update(kn::TKNAction::LeftToRight, true, true);
    const Tree expected = {{"rewritten.txt", "the user's newer save"},
                           {"touched.txt", "saved!"},
                           {"appeared.txt", "made meanwhile"},
                           {"only-here.txt", "now needed"},
                           {"untouched.txt", "copied"}};
    EXPECT_EQ(Snapshot(right), expected);
    ASSERT_EQ(h->errors.size(), 4u);
    for (const std::string& error : h->errors)
        EXPECT_NE(error.find("changed since the comparison"), std::string::npos) << error;
    EXPECT_EQ(h->engine.LastUpdate().Failures.size(), 4u);
    EXPECT_EQ(results, (std::map<std::string, kn::TKNOpResult>{{"rewritten.txt", kn::TKNOpResult::Skipped},
                                                               {"touched.txt", kn::TKNOpResult::Skipped},
                                                               {"appeared.txt", kn::TKNOpResult::Skipped},
                                                               {"only-here.txt", kn::TKNOpResult::Skipped},
                                                               {"untouched.txt", kn::TKNOpResult::Done}}));
    const Tree backups = Snapshot(program.home.path());
    EXPECT_EQ(std::count_if(backups.begin(), backups.end(), [](const auto& e) { return e.second != "<dir>"; }), 1)
        << "only the replaced file is backed up";
}

// A local name holding "\" is one component here; where the written side takes "\" as a
// separator, its row fails and nothing is written beside or outside it.
TEST_P(UpdateSides, ANameThatIsNotOneComponentThereFailsItsRow)
{
    PutAt(left + "/sub\\victim.txt", "would overwrite sub/victim.txt", kOld + 600);
    PutAt(right + "/sub/victim.txt", "the server's file", kOld);
    auto h = Harness();
    ASSERT_EQ(h->Compare(), 3u) << h->engine.ErrorText;
    h->Update(kn::TKNAction::LeftToRight, false);
    EXPECT_EQ(ReadFile(right + "/sub/victim.txt"), "the server's file");
    if (GetParam() == "Local") {
        EXPECT_TRUE(h->errors.empty());
        EXPECT_EQ(ReadFile(right + "/sub\\victim.txt"), "would overwrite sub/victim.txt");
        return;
    }
    ASSERT_EQ(h->errors.size(), 1u);
    EXPECT_NE(h->errors[0].find("a separator on this side"), std::string::npos) << h->errors[0];
    EXPECT_FALSE(Exists(right + "/sub\\victim.txt"));
}

// ".kn-notes-backup" is the user's; a left-over of the program's own name pattern is a planned,
// counted removal that is backed up like any deletion.
TEST_P(UpdateSides, OnlyTheProgramsOwnLeftOversAreRemoved)
{
    ProgramFolderHere program;
    PutAt(right + "/.kn-notes-backup", "the user's notes", kOld);
    PutAt(right + "/.kn-todo-2024q1", "the user's list", kOld);
    const std::string own = kn::TempName("a.txt");
    PutAt(right + "/" + own, "a killed run's partial copy", kOld);
    PutAt(left + "/a.txt", "a", kOld);
    auto h = Harness();
    h->Compare();
    ASSERT_TRUE(h->engine.ErrorText.empty()) << h->engine.ErrorText;
    // What the scan reports as left-overs: the program's own, and whatever it took for one.
    const std::string shownRoot = h->engine.RightList.Folder;
    h->engine.RightList.StaleTempFiles = {shownRoot + "/" + own, shownRoot + "/.kn-notes-backup",
                                          shownRoot + "/.kn-todo-2024q1"};
    std::vector<int> rows;
    for (std::size_t i = 0; i < h->engine.Items.size(); ++i)
        if (h->engine.Items[i]->Left.Name == "a.txt") rows.push_back(static_cast<int>(i));
    const kn::TKNPlanTotals plan = kn::PlanTotals(h->engine, rows, kn::TKNAction::LeftToRight, false);
    EXPECT_EQ(plan.TempFilesToRemove, 1);
    EXPECT_EQ(plan.FilesToDelete, 1) << "honoured by --max-delete";
    EXPECT_NE(kn::PlanLine(plan).find("1 to delete (1 left-over temporary file)"), std::string::npos);
    h->engine.Update(kn::TKNAction::LeftToRight, false, rows, true, false, true);
    EXPECT_TRUE(h->errors.empty()) << h->errors[0];
    EXPECT_FALSE(Exists(right + "/" + own));
    EXPECT_EQ(ReadFile(right + "/.kn-notes-backup"), "the user's notes");
    EXPECT_EQ(ReadFile(right + "/.kn-todo-2024q1"), "the user's list");
    EXPECT_EQ(h->engine.LastUpdate().Done.TempFilesToRemove, 1);
    const Tree backups = Snapshot(h->engine.LastUpdate().BackupFolder);
    EXPECT_EQ(backups.count("Right/" + own), 1u);
}

// A new folder takes its source folder's bits (a 0700 folder's files stay private), and a copy
// to another owner drops the set-user-ID and set-group-ID bits.
TEST_P(UpdateSides, ModesOfNewFoldersAndSetIdBits)
{
    if (!kind.KeepsModes()) GTEST_SKIP() << "the server keeps no modes";
    MakeDirs(left + "/private");
    ::chmod((left + "/private").c_str(), 0700);
    MakeDirs(left + "/group");
    ::chmod((left + "/group").c_str(), 0750);
    PutAt(left + "/private/f.txt", "secret", kOld);
    PutAt(left + "/tool", "#!/bin/sh\n", kOld);
    PutAt(left + "/gtool", "#!/bin/sh\n", kOld);
    ASSERT_EQ(::chown((left + "/tool").c_str(), 1234, 1234), 0);
    ASSERT_EQ(::chown((left + "/gtool").c_str(), 1234, 1234), 0);
    ::chmod((left + "/tool").c_str(), 04755);
    ::chmod((left + "/gtool").c_str(), 02755);
    auto h = Harness();
    ASSERT_EQ(h->Compare(), 5u) << h->engine.ErrorText;
    h->Update(kn::TKNAction::LeftToRight, false);
    EXPECT_TRUE(h->errors.empty()) << h->errors[0];
    EXPECT_EQ(ModeOf(right + "/private"), 0700u);
    EXPECT_EQ(ModeOf(right + "/group"), 0750u);
    EXPECT_EQ(ModeOf(right + "/tool"), 0755u);
    EXPECT_EQ(ModeOf(right + "/gtool"), 0755u);
}

// What a backup keeps of a private folder stays private: its folders take the modes of the
// folders they stand for.
TEST_P(UpdateSides, BackupFoldersKeepTheModesOfTheFoldersTheyMirror)
{
    if (!kind.KeepsModes()) GTEST_SKIP() << "the server keeps no modes";
    ProgramFolderHere program;
    PutAt(left + "/private/deep/f.txt", "new", kOld + 60);
    PutAt(right + "/private/deep/f.txt", "old", kOld);
    ::chmod((right + "/private").c_str(), 0700);
    ::chmod((right + "/private/deep").c_str(), 0750);
    auto h = Harness();
    h->Compare();
    h->engine.Update(kn::TKNAction::LeftToRight, false, h->AllRows(), true, false, true);
    EXPECT_TRUE(h->errors.empty()) << h->errors[0];
    const std::string backup = h->engine.LastUpdate().BackupFolder;
    ASSERT_EQ(ReadFile(backup + "/Right/private/deep/f.txt"), "old");
    EXPECT_EQ(ModeOf(backup), 0700u);
    EXPECT_EQ(ModeOf(backup + "/Right/private"), 0700u);
    EXPECT_EQ(ModeOf(backup + "/Right/private/deep"), 0750u);
}

// Names that are one file on the source (a, b and sub/d; c is a file of its own) arrive as one
// file where the written side can hold it, and as equal files elsewhere; a name that replaces
// a file replaces it whole either way.
TEST_P(UpdateSides, NamesOfOneFileStayOneFileWhereTheSideCanHoldThem)
{
    PutAt(left + "/a", "shared bytes", kOld);
    MakeDirs(left + "/sub");
    ASSERT_EQ(::link((left + "/a").c_str(), (left + "/b").c_str()), 0);
    ASSERT_EQ(::link((left + "/a").c_str(), (left + "/sub/d").c_str()), 0);
    PutAt(left + "/c", "shared bytes", kOld);
    PutAt(right + "/b", "older", kOld - 86400);
    auto h = Harness();
    ASSERT_EQ(h->Compare(), 5u) << h->engine.ErrorText;
    h->Update(kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(h->errors, std::vector<std::string>{});
    struct stat a {
    }, other{};
    ASSERT_EQ(::stat((right + "/a").c_str(), &a), 0);
    const struct {
        const char* name;
        bool sameFile;
    } names[] = {{"b", kind.KeepsHardLinks()}, {"sub/d", kind.KeepsHardLinks()}, {"c", false}};
    for (const auto& n : names) {
        EXPECT_EQ(ReadFile(right + "/" + n.name), "shared bytes") << n.name;
        ASSERT_EQ(::stat((right + "/" + n.name).c_str(), &other), 0) << n.name;
        EXPECT_EQ(other.st_ino == a.st_ino, n.sameFile) << n.name;
    }
    EXPECT_EQ(a.st_nlink, kind.KeepsHardLinks() ? 3u : 1u);
    EXPECT_EQ(h->Compare(), 0u);
}

// Links in a source tree: to a file, to a folder, out of the tree, nowhere, and a loop; read
// locally and written on the kind, and read on the kind and written locally. Copy makes each
// with its text where the written side holds links (then nothing is left to do) and leaves them
// out with one notice where it holds none; skip leaves them out; follow brings what they lead to
// inside the tree. A server that follows links itself (showing none) is never walked round its
// loop.
TEST_P(UpdateSides, LinksArriveAsThePolicySays)
{
    PutAt(left + "/f", "file", kOld);
    PutAt(left + "/d/x", "in d", kOld);
    PutAt(base + "/outside/secret", "secret", kOld);
    for (const auto& [link, text] : std::map<std::string, std::string>{
             {"flink", "f"}, {"dlink", "d"}, {"out", base + "/outside/secret"}, {"dang", "nowhere"}, {"d/up", ".."}})
        ASSERT_EQ(::symlink(text.c_str(), (left + "/" + link).c_str()), 0) << link;
    const Tree plain = {{"d", "<dir>"}, {"d/x", "in d"}, {"f", "file"}};
    Tree copied = plain;
    copied.insert({{"flink", "-> f"},
                   {"dlink", "-> d"},
                   {"dang", "-> nowhere"},
                   {"d/up", "-> .."},
                   {"out", "-> " + base + "/outside/secret"}});
    Tree followed = plain;
    followed.insert({{"dlink", "<dir>"}, {"dlink/x", "in d"}, {"flink", "file"}});
    for (const bool toKind : {true, false})
        for (kn::TKNLinkPolicy links : {kn::TKNLinkPolicy::Copy, kn::TKNLinkPolicy::Skip, kn::TKNLinkPolicy::Follow}) {
            const std::string word = std::string(toKind ? "to " : "from ") + kn::LinkPolicyWord(links);
            const std::string written = (toKind ? right : base + "/back") + "/" + kn::LinkPolicyWord(links);
            MakeDirs(written);
            UpdateHarness h(toKind ? left : kind.Location(left), toKind ? kind.Location(written) : written);
            h.engine.SetLinks(links);
            h.Compare();
            const bool holds = kn::PairCapsOf(h.engine).Right.Links;
            bool shown = toKind;
            for (const kn::TKNFileRec* rec : h.engine.LeftList.Items) shown = shown || rec->Link;
            shown = shown || !h.engine.LeftList.LinksLeftOut.empty();
            h.Update(kn::TKNAction::LeftToRight, true);
            const Tree got = Snapshot(written);
            EXPECT_EQ(got.count("d/up/x"), 0u) << word << ": a loop was entered";
            if (!shown) continue;  // the server's own policy decides what it serves
            EXPECT_EQ(h.errors, std::vector<std::string>{}) << word;
            const Tree expected = links == kn::TKNLinkPolicy::Skip     ? plain
                                  : links == kn::TKNLinkPolicy::Follow ? followed
                                  : holds                              ? copied
                                                                       : plain;
            EXPECT_EQ(got, expected) << word;
            const bool told = links == kn::TKNLinkPolicy::Copy && !holds;
            ASSERT_EQ(h.notices.size(), told ? 1u : 0u) << word;
            if (told) {
                EXPECT_NE(h.notices[0].find("5 symbolic link(s) left out"), std::string::npos) << h.notices[0];
            }
            if (links == kn::TKNLinkPolicy::Copy && holds) {
                EXPECT_EQ(h.Compare(), 0u) << word << ": links compare by their texts";
            }
        }
}

INSTANTIATE_TEST_SUITE_P(Kinds, UpdateSides, testing::ValuesIn(KindNames()),
                         [](const testing::TestParamInfo<std::string>& param) { return param.param; });

// Two folders on one server are known by what the server says they are: one inside the other,
// or one under two names (a link on the server), they are refused before anything is compared.
TEST_P(UpdateSides, RootsOnOneServerAreKnownByTheirCanonicalPaths)
{
    if (GetParam() == "Local") GTEST_SKIP() << "both sides on one server";
    PutAt(left + "/sub/a.txt", "a", kOld);
    ASSERT_EQ(::symlink(left.c_str(), (base + "/alias").c_str()), 0);
    struct Case {
        std::string right;
        const char* problem;
    } cases[] = {{left + "/sub", "lies inside"}, {base + "/alias", "are one folder"}};
    for (const Case& c : cases) {
        // An FTP or WebDAV server names a folder by the path it was entered by: a link there is
        // not resolved.
        if ((GetParam() == "Ftp" || GetParam() == "Webdav") && c.right == base + "/alias") continue;
        kn::TKNFileCompare engine;
        kn::TKNRunObserver observer;
        kn::TKNRun run(engine, observer);
        kn::TKNRunRequest request;
        request.Left = kind.Location(left);
        request.Right = kind.Location(c.right);
        request.Options = kn::DefaultOptions("/");
        request.Action = kn::TKNAction::LeftToRight;
        request.Force = true;
        const kn::TKNRunResult result = run.Execute(request);
        EXPECT_NE(result.Refusal.find(c.problem), std::string::npos) << c.right << ": " << result.Refusal;
    }
    EXPECT_EQ(ReadFile(left + "/sub/a.txt"), "a");
}
