// What a comparison must never take for an empty folder or a user's file: folders that cannot
// be listed (unreadable, not searchable, too deep to name), the inside of links to folders, the
// program's own temporary files and backup folders; and dates the default filter must not hide.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <map>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitRunLock.h"
#include "side/kn_unitSideRules.h"
#include "tests/common/temp_tree.h"

using namespace kn;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

using Trees = testutil::TwoTrees;

// Relative name of each row ("/a/b.txt", a folder "/a/") -> its Unlisted mark.
std::map<std::string, bool> UnlistedMarks(const TKNFileCompare& engine)
{
    std::map<std::string, bool> marks;
    for (const auto& row : engine.Items) {
        const bool left = !row->Left.Path.empty();
        const TKNFileRec& rec = left ? row->Left : row->Right;
        std::string rel = rec.Path.str().substr(left ? engine.LeftRootLen : engine.RightRootLen);
        marks[rec.IsFolder() ? rel + "/" : rel + "/" + rec.Name] = row->Unlisted;
    }
    return marks;
}

void CompareTrees(TKNFileCompare& engine, const std::string& left, const std::string& right)
{
    engine.SetLeftFolder(left);
    engine.SetRightFolder(right);
    engine.Compare(true);
}

}  // namespace

// Each case makes one left sub-folder impossible to list in its own way; the right side has
// files beneath it, which must be marked, while an ordinary one-sided file is not.
TEST(Unlisted, FoldersThatCannotBeListedMarkEveryRowBeneathThem)
{
    struct Case {
        const char* name;
        mode_t mode;
    } cases[] = {
        {"neither readable nor searchable", 0},
        {"writable and searchable, not readable", 0300},
        {"readable, not searchable", 0500 & ~0100},
    };
    for (const auto& c : cases) {
        Trees t;
        t.File(t.left, "secret/a.txt", "left");
        t.File(t.right, "secret/a.txt", "other", Trees::kDefaultTime + 10);
        t.File(t.right, "secret/deep/b.txt", "right only");
        t.File(t.right, "plain.txt", "right only");
        chmod(t.dir.path().c_str(), 0755);
        testutil::GiveToUnprivileged(t.dir.path());
        chmod((t.left + "/secret").c_str(), c.mode);
        const int result = testutil::RunUnprivileged([&] {
            TKNFileCompare engine;
            CompareTrees(engine, t.left, t.right);
            if (!engine.ErrorText.empty() || engine.UnlistedCount() != 1) return 1;
            if (engine.UnlistedFolders()[0].Path != t.left + "/secret") return 2;
            if (engine.UnlistedFolders()[0].Reason.empty()) return 3;
            std::map<std::string, bool> expected = {
                {"/plain.txt", false}, {"/secret/a.txt", true}, {"/secret/deep/", true}, {"/secret/deep/b.txt", true}};
            // Without write permission the folder itself differs in its read-only attribute.
            if ((c.mode & S_IWUSR) == 0) expected["/secret/"] = true;
            return UnlistedMarks(engine) == expected ? 0 : 4;
        });
        chmod((t.left + "/secret").c_str(), 0700);
        EXPECT_EQ(result, 0) << c.name << " (99: cannot give up root; 1-4: wrong count, path, reason, marks)";
    }
}

TEST(Unlisted, ARootThatCannotBeListedFailsTheComparison)
{
    Trees t;
    t.File(t.left, "a.txt", "1");
    t.File(t.right, "b.txt", "1");
    chmod(t.dir.path().c_str(), 0755);
    chmod(t.right.c_str(), 0);
    const int result = testutil::RunUnprivileged([&] {
        TKNFileCompare engine;
        CompareTrees(engine, t.left, t.right);
        const std::string expected = "Cannot list the folder \"" + t.right + "\": Permission denied";
        return engine.Items.empty() && engine.ErrorText == expected ? 0 : 1;
    });
    chmod(t.right.c_str(), 0700);
    EXPECT_EQ(result, 0);
}

// Paths longer than PATH_MAX are listed like any other: every folder is reached from the one
// above it, one component at a time, so the deep file of both sides pairs as equal instead of
// being taken for a file one side lacks.
TEST(Unlisted, FoldersDeeperThanAPathCanNameAreListed)
{
    TempDir t;
    const std::string left = t / std::string(250, 'L'), right = t / "R";
    const std::string name(200, 'd');
    const std::size_t depth = (4090 - right.size()) / (name.size() + 1);
    for (const std::string& side : {left, right}) {
        testutil::MakeDirs(side);
        int fd = open(side.c_str(), O_RDONLY | O_DIRECTORY);
        for (std::size_t i = 0; i < depth; ++i) {
            ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
            int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
            close(fd);
            fd = next;
        }
        close(openat(fd, "deep.txt", O_WRONLY | O_CREAT, 0644));
        close(fd);
    }
    TKNFileCompare engine;
    CompareTrees(engine, left, right);
    ASSERT_TRUE(engine.ErrorText.empty()) << engine.ErrorText;
    EXPECT_EQ(engine.UnlistedCount(), 0u);
    EXPECT_TRUE(engine.Items.empty()) << "the deep files are equal";
    EXPECT_GT(engine.LeftEntries, static_cast<int64_t>(depth));
    const std::string remove = "rm -rf '" + left + "' '" + right + "'";  // too deep for path-based removal
    ASSERT_EQ(std::system(remove.c_str()), 0);
}

// A link a side leaves out (skipped, or followed out of the tree) hides what that side has at
// its name: the other side's entries there and beneath cannot be paired, so they are marked. A
// link kept as a link is an entry like any other.
TEST(Unlisted, RowsAtALinkLeftOutAreMarked)
{
    Trees t;
    t.File(t.dir.path(), "outside/x.txt", "outside");
    ASSERT_EQ(symlink((t.dir / "outside").c_str(), (t.left + "/dd").c_str()), 0);
    t.File(t.right, "dd/x.txt", "real");
    ASSERT_EQ(symlink((t.dir / "outside/x.txt").c_str(), (t.right + "/f.txt").c_str()), 0);
    t.File(t.left, "f.txt", "left");
    t.File(t.left, "free.txt", "left");
    const std::map<std::string, bool> leftOut = {
        {"/dd/", true}, {"/dd/x.txt", true}, {"/f.txt", true}, {"/free.txt", false}};
    const std::map<std::string, bool> copied = {
        {"/dd", false}, {"/dd/", false}, {"/dd/x.txt", false}, {"/f.txt", false}, {"/free.txt", false}};
    for (const auto& [links, expected] :
         {std::pair{TKNLinkPolicy::Skip, leftOut}, std::pair{TKNLinkPolicy::Follow, leftOut},
          std::pair{TKNLinkPolicy::Copy, copied}}) {
        TKNFileCompare engine;
        engine.SetLinks(links);
        CompareTrees(engine, t.left, t.right);
        EXPECT_EQ(engine.UnlistedCount(), 0u) << "links are not failures";
        EXPECT_EQ(UnlistedMarks(engine), expected) << LinkPolicyWord(links);
    }
}

// Only names the program can prove its own (their check holds) are hidden; look-alikes that a
// person would choose are the user's files. A temporary of a run in progress elsewhere (its
// tag's lock held by another process) is no left-over, whatever its time.
TEST(TempFiles, TheProgramsOwnTemporaryFilesAreNeverListed)
{
    TempDir t;
    int held[2], end[2];  // the runner tells it holds its lock; the test tells it to end
    ASSERT_EQ(pipe(held), 0);
    ASSERT_EQ(pipe(end), 0);
    const pid_t runner = fork();
    ASSERT_GE(runner, 0);
    if (runner == 0) {  // another run of a pair, holding its lock until told
        std::string error;
        auto lock = kn::TKNRunLock::Take("local 1:2", "local 3:4", "elsewhere", false, nullptr, error);
        char done = 0;
        if (lock && write(held[1], "l", 1) == 1 && read(end[0], &done, 1) >= 0) _exit(0);
        _exit(1);
    }
    char ready = 0;
    ASSERT_EQ(read(held[0], &ready, 1), 1);
    std::string inWork;
    {
        const kn::TKNTempTag tag(kn::RunTagOf("local 1:2", "local 3:4"));
        inWork = TempName("new.txt");
    }
    const std::string leftOver = TempName("a.txt");
    std::string forged = TempName("b.txt");
    forged.back() = forged.back() == '0' ? '1' : '0';
    struct Case {
        std::string name;
        bool ownFile;
        bool stale;
    } cases[] = {
        {leftOver, true, true},              // a killed run's left-over, newer than the scan
        {inWork, true, false},               // a copy in work, older than the scan
        {forged, false, false},              // the check fails
        {".kn-notes-backup", false, false},  // chosen by a person
        {".kn-a.txt-abc123", false, false},  // an older version's pattern: no proof
        {"x" + leftOver, false, false},      // does not start the name
    };
    for (const auto& c : cases) {
        WriteFile(t / c.name, "partial");
        testutil::SetMTime(t / c.name, c.name == inWork ? 1577872800 : time(nullptr) + 3600);
    }
    const std::string ownFolder = TempName("folder");
    testutil::MakeDirs(t / ownFolder);  // a folder of that name is the user's
    TKNFileBuffer list;
    list.SetFolder(t.path());
    list.StartScan();
    list.WaitScan();
    std::vector<std::string> listed, stale;
    for (const auto& rec : list.Items) listed.push_back(rec->IsFolder() ? rec->Path.str() : rec->Name);
    for (const auto& c : cases) {
        const bool isListed = std::find(listed.begin(), listed.end(), c.name) != listed.end();
        EXPECT_EQ(isListed, !c.ownFile) << c.name;
        if (c.stale) stale.push_back(t / c.name);
    }
    EXPECT_NE(std::find(listed.begin(), listed.end(), t / ownFolder), listed.end());
    EXPECT_EQ(list.StaleTempFiles, stale);
    ASSERT_EQ(write(end[1], "e", 1), 1);
    int status = 0;
    waitpid(runner, &status, 0);
    EXPECT_EQ(status, 0);
}

// The default filter, and no date filter at all, hide no date: neither far in the future nor
// before the start of the date scale.
TEST(Dates, DefaultBoundsHideNoFileWhateverItsYear)
{
    TempDir t;
    WriteFile(t / "future.txt", "1");
    testutil::SetMTime(t / "future.txt", 7258118400);  // 2200-01-01
    WriteFile(t / "ancient.txt", "1");
    testutil::SetMTime(t / "ancient.txt", -3786825600);  // 1850-01-01
    for (bool checkDate : {true, false}) {
        TKNOptionsRec options = DefaultOptions(t.path().c_str());
        options.CheckDate = checkDate;
        TKNFileCompare engine;
        engine.ApplyOptions(options);
        engine.SetLeftFolder(t.path());
        engine.SetRightFolder(t.path());
        engine.LeftList.StartScan();
        engine.LeftList.WaitScan();
        EXPECT_EQ(engine.LeftList.Items.size(), 2u) << "date filter " << (checkDate ? "on" : "off");
    }
    // A bound that is chosen still holds.
    TKNFileBuffer list;
    list.EndDate = vex::Today();
    list.SetFolder(t.path());
    list.StartScan();
    list.WaitScan();
    ASSERT_EQ(list.Items.size(), 1u);
    EXPECT_EQ(list.Items[0]->Name, "ancient.txt");
}

// Backups made inside a compared tree are the program's, never the user's: a scan skips them.
TEST(Backups, BackupFoldersInsideTheTreeAreNotScanned)
{
    TempDir t;
    WriteFile(t / "tree/home/251209101010/Right/a.txt", "kept copy");
    WriteFile(t / "tree/home/251209101010-2/Left/b.txt", "kept copy");
    WriteFile(t / "tree/home/2512091010/c.txt", "user's");  // not a run's name
    WriteFile(t / "tree/d.txt", "user's");
    setenv("KESTRUNE_HOME", (t / "tree/home").c_str(), 1);
    TKNFileBuffer list;
    list.SetFolder(t / "tree");
    list.StartScan();
    list.WaitScan();
    unsetenv("KESTRUNE_HOME");
    std::vector<std::string> names;
    for (const auto& rec : list.Items)
        names.push_back(rec->Path.str().substr(t.path().size()) + (rec->IsFolder() ? "/" : "/" + rec->Name));
    EXPECT_EQ(names, (std::vector<std::string>{"/tree/d.txt", "/tree/home/", "/tree/home/2512091010/",
                                               "/tree/home/2512091010/c.txt"}));
}
