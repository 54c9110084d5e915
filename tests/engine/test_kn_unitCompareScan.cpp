// Scanning local trees: acceptance of entries, the attribute mask, sorting, stopping, and
// trees with entries that could hang or mislead a scan.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "engine/kn_unitCompare.h"
#include "engine/kn_unitScanProviderSide.h"
#include "tests/common/temp_tree.h"

using namespace kn;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

// The scanned entries relative to the root, a folder ending in "/", in list order.
std::vector<std::string> Scan(TKNFileBuffer& list, const std::string& root)
{
    list.SetFolder(root);
    list.StartScan();
    list.WaitScan();
    std::vector<std::string> names;
    for (const auto& rec : list.Items) {
        std::string rel = rec->Path.str().substr(list.Folder.size());
        names.push_back(rec->IsFolder() ? rel + "/" : rel + "/" + rec->Name);
    }
    return names;
}

using Names = std::vector<std::string>;

constexpr int64_t kNoon2020 = 1577880000;  // 2020-01-01 12:00 UTC

}  // namespace

TEST(Accepts, TimeSizeAndAttributeTests)
{
    TKNFileBuffer list;
    list.BeginDate = 100.0;
    list.EndDate = 200.0;
    list.MinSize = 10;
    list.MaxSize = 20;
    list.ExcludeAttrMask = faReadOnly;
    struct Case {
        const char* name;
        bool folder;
        double time;
        int64_t size;
        uint32_t attr;
        bool accepted;
    } cases[] = {
        {"inside every bound", false, 150, 15, faArchive, true},
        {"time equal to begin", false, 100, 15, faArchive, true},
        {"time equal to end", false, 200, 15, faArchive, true},
        {"time before begin", false, 99.9, 15, faArchive, false},
        {"folder after end", true, 200.1, 0, faDirectory, false},
        {"size equal to min", false, 150, 10, faArchive, true},
        {"size equal to max", false, 150, 20, faArchive, true},
        {"size above max", false, 150, 21, faArchive, false},
        {"folder ignores size", true, 150, 999, faDirectory, true},
        {"excluded attribute", false, 150, 15, faArchive | faReadOnly, false},
        {"excluded attribute on a folder", true, 150, 0, faDirectory | faReadOnly, false},
    };
    for (const auto& c : cases) {
        TKNFileRec rec;
        rec.Path = c.folder ? "/r/sub" : "/r";
        rec.Name = c.folder ? "" : "f.txt";
        rec.Time = c.time;
        rec.Size = c.size;
        rec.Attr = c.attr;
        EXPECT_EQ(list.Accepts(rec), c.accepted) << c.name;
    }
    list.MinSize = 30;  // min above a non-negative max: no file, folders still pass
    TKNFileRec file;
    file.Path = "/r";
    file.Name = "f";
    file.Time = 150;
    file.Size = 30;
    EXPECT_FALSE(list.Accepts(file));
    TKNFileRec folder;
    folder.Path = "/r/d";
    folder.Time = 150;
    folder.Attr = faDirectory;
    EXPECT_TRUE(list.Accepts(folder));
    TKNFileRec dots = file;
    dots.Name = "..";
    list.MinSize = 0;
    EXPECT_FALSE(list.Accepts(dots));
}

TEST(Scan, SortsFoldersBeforeTheirFilesByteOrder)
{
    TempDir t;
    WriteFile(t / "b.txt", "1");
    WriteFile(t / "B.txt", "1");
    WriteFile(t / "a/z.txt", "1");
    WriteFile(t / "a/sub/y.txt", "1");
    WriteFile(t / "a-b/x.txt", "1");
    TKNFileBuffer list;
    EXPECT_EQ(Scan(list, t.path() + "/"),
              (Names{"/B.txt", "/b.txt", "/a/", "/a/z.txt", "/a-b/", "/a-b/x.txt", "/a/sub/", "/a/sub/y.txt"}));
    EXPECT_EQ(list.State, 0);
}

// Many folders whose names hold characters that sort before "/", so a folder's files and its
// sub-folders do not follow one another: every entry still comes after the one before it by
// (path, name), and each folder's own entry right before its files.
TEST(Scan, ManyFoldersListInPathThenNameOrder)
{
    TempDir t;
    for (const char* folder : {"a", "a-b", "a.b", "a b", "a/b", "a/b-c", "a/b/c", "b", "b/a", "B"})
        for (const char* file : {"1", "x", "X", "z.txt", "x-y"}) WriteFile(t / (std::string(folder) + "/" + file), "1");
    TKNFileBuffer list;
    Scan(list, t.path());
    ASSERT_EQ(list.Items.size(), 60u);
    for (std::size_t i = 1; i < list.Items.size(); ++i) {
        const TKNFileRec& before = *list.Items[i - 1];
        const TKNFileRec& entry = *list.Items[i];
        int c = CompareEntryText(before.Path.str(), entry.Path.str());
        if (c == 0) c = CompareEntryText(before.Name, entry.Name);
        EXPECT_LT(c, 0) << "entry " << i << ": " << entry.Path.str() << " / " << entry.Name;
    }
}

TEST(Scan, NonRecursiveHasNoFolders)
{
    TempDir t;
    WriteFile(t / "f.txt", "1");
    WriteFile(t / "d/g.txt", "1");
    TKNFileBuffer list;
    list.Recursive = false;
    EXPECT_EQ(Scan(list, t.path()), Names{"/f.txt"});
}

TEST(Scan, MaskDecidesHiddenAndSystemEntries)
{
    TempDir t;
    WriteFile(t / ".hidden", "1");
    WriteFile(t / "plain", "1");
    ASSERT_EQ(mkfifo((t / "pipe").c_str(), 0600), 0);
    TKNFileBuffer list;
    EXPECT_EQ(Scan(list, t.path()), (Names{"/.hidden", "/pipe", "/plain"}));  // default 0x37
    list.SetAttributes(0x37 & ~0x02);
    EXPECT_EQ(Scan(list, t.path()), (Names{"/pipe", "/plain"}));
    list.SetAttributes(0x37 & ~0x04);
    EXPECT_EQ(Scan(list, t.path()), (Names{"/.hidden", "/plain"}));
}

TEST(Scan, FolderOutsideDateRangeIsNeitherListedNorEntered)
{
    TempDir t;
    WriteFile(t / "old/new.txt", "1");
    WriteFile(t / "top.txt", "1");
    testutil::SetMTime(t / "old", 0);  // 1970
    TKNFileBuffer list;
    list.BeginDate = vex::EncodeDateTime(2000, 1, 1);
    EXPECT_EQ(Scan(list, t.path()), Names{"/top.txt"});
}

TEST(Scan, RecordFieldsFromTheFileSystem)
{
    TempDir t;
    WriteFile(t / "f.bin", std::string(1234, 'x'));
    testutil::SetMTime(t / "f.bin", kNoon2020 + 1);  // odd second: cut to even
    chmod((t / "f.bin").c_str(), 0444);
    TKNFileBuffer list;
    Scan(list, t.path());
    ASSERT_EQ(list.Items.size(), 1u);
    const TKNFileRec& rec = *list.Items[0];
    EXPECT_EQ(rec.Path.str(), t.path());
    EXPECT_EQ(rec.Name, "f.bin");
    EXPECT_EQ(rec.Size, 1234);
    EXPECT_EQ(rec.Attr, faArchive | faReadOnly);
    EXPECT_DOUBLE_EQ(rec.Time, vex::UnixToDateTime(kNoon2020, vex::LocalOffsetNow()));
}

TEST(Scan, StopLeavesAnEmptyListAndNamesTheLastFolder)
{
    TempDir t;
    for (int i = 0; i < 20; ++i) WriteFile(t / ("d" + std::to_string(i) + "/f.txt"), "1");
    TKNFileBuffer list;
    list.SetFolder(t.path());
    std::vector<std::pair<int, std::string>> reports;
    list.OnProgress = [&](void*, uint8_t state, const std::string& path) {
        reports.emplace_back(state, path);
        if (reports.size() == 3) list.StopScan();
    };
    list.StartScan();
    list.WaitScan();
    EXPECT_TRUE(list.Items.empty());
    ASSERT_EQ(reports.size(), 4u);  // root, two folders, then the final report
    EXPECT_EQ(reports.back().first, 1);
    EXPECT_EQ(reports.back().second, reports[2].second);
    EXPECT_NE(reports.back().second, t.path());
}

TEST(Scan, CompletedScanReportsSortingThenTheEnd)
{
    TempDir t;
    WriteFile(t / "d/f.txt", "1");
    TKNFileBuffer list;
    list.SetFolder(t.path());
    std::vector<std::pair<int, std::string>> reports;
    list.OnProgress = [&](void* sender, uint8_t state, const std::string& path) {
        EXPECT_EQ(sender, &list);
        reports.emplace_back(state, path);
    };
    list.StartScan();
    list.WaitScan();
    using R = std::vector<std::pair<int, std::string>>;
    EXPECT_EQ(reports, (R{{1, t.path()}, {1, t / "d"}, {2, ""}, {2, ""}}));
}

TEST(Scan, SidesThatNameNoFolderScanEmpty)
{
    TempDir t;
    WriteFile(t / "file", "1");
    TKNFileBuffer list;
    struct Case {
        const char* name;
        std::string root;
    } cases[] = {
        {"missing folder", t / "missing"}, {"root is a file", t / "file"},
        {"relative text", "relative/dir"}, {"empty text", ""},
        {"the root folder", "/"},          {"FTP before FTP scanning", "ftp://127.0.0.1:1/x"},
    };
    for (const auto& c : cases) EXPECT_TRUE(Scan(list, c.root).empty()) << c.name;
}

// A mistyped or unmounted root must never look like an empty folder: a forced update would
// then delete everything the other side has.
TEST(Scan, ALocalRootThatIsNoFolderFailsTheScanAndTheComparison)
{
    TempDir t;
    WriteFile(t / "file", "1");
    testutil::MakeDirs(t / "empty");
    TKNFileBuffer list;
    for (const std::string& root : {t / "Projct backup", t / "file"}) {
        EXPECT_TRUE(Scan(list, root).empty()) << root;
        EXPECT_EQ(list.ErrorText, "The folder \"" + root + "\" does not exist.");
    }
    EXPECT_TRUE(Scan(list, t / "empty").empty());
    EXPECT_EQ(list.ErrorText, "") << "an empty folder is an ordinary empty folder";

    WriteFile(t / "right/keep.txt", "k");
    TKNFileCompare engine;
    engine.SetLeftFolder(t / "Projct backup");
    engine.SetRightFolder(t / "right");
    engine.Compare(true);
    EXPECT_EQ(engine.ErrorText, "The folder \"" + t / "Projct backup" + "\" does not exist.");
    EXPECT_TRUE(engine.Items.empty());
}

// Under each link policy: copy lists every link as an entry of its own with its text, skip
// none, follow what they lead to inside the root (read where it is), leaving out and telling
// the loops, the dangling link and none other.
TEST(Scan, BadEntriesNeverHangOrLoop)
{
    TempDir t;
    WriteFile(t / "real/f.txt", "1");
    ASSERT_EQ(symlink("..", (t / "real/up").c_str()), 0);        // a loop back to the root
    ASSERT_EQ(symlink("real", (t / "alias").c_str()), 0);        // a link to a folder
    ASSERT_EQ(symlink("real/f.txt", (t / "flink").c_str()), 0);  // a link to a file
    ASSERT_EQ(symlink("nowhere", (t / "dangling").c_str()), 0);
    ASSERT_EQ(mkfifo((t / "fifo").c_str(), 0600), 0);  // never opened
    WriteFile(t / "bad\xff\xfename.txt", "1");         // not UTF-8: kept as bytes
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string sockPath = t / "sock";
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    std::copy(sockPath.begin(), sockPath.end(), addr.sun_path);
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    const std::string bad = "/bad\xff\xfename.txt";
    struct Case {
        TKNLinkPolicy links;
        Names names;
        std::map<std::string, std::string> texts;  // a link's text, or where a followed entry is read
        Names told;                                // the links left out with a reason
    } cases[] = {
        {TKNLinkPolicy::Copy,
         {"/alias", bad, "/dangling", "/fifo", "/flink", "/sock", "/real/", "/real/f.txt", "/real/up"},
         {{"/alias", "real"}, {"/dangling", "nowhere"}, {"/flink", "real/f.txt"}, {"/real/up", ".."}},
         {}},
        {TKNLinkPolicy::Skip, {bad, "/fifo", "/sock", "/real/", "/real/f.txt"}, {}, {}},
        {TKNLinkPolicy::Follow,
         {bad, "/fifo", "/flink", "/sock", "/alias/", "/alias/f.txt", "/real/", "/real/f.txt"},
         {{"/flink", "real/f.txt"}, {"/alias/", "real"}, {"/alias/f.txt", "real/f.txt"}},
         {"/alias/up", "/dangling", "/real/up"}},
    };
    for (const Case& c : cases) {
        TKNFileBuffer list;
        list.Links = c.links;
        EXPECT_EQ(Scan(list, t.path()), c.names) << LinkPolicyWord(c.links);
        std::map<std::string, std::string> texts;
        for (const auto& rec : list.Items) {
            const std::string rel = rec->Path.str().substr(list.Folder.size()) + "/" + rec->Name;
            if (rec->Link) texts[rel] = rec->LinkTarget();
            if (!rec->ReadFrom().empty()) texts[rel] = rec->ReadFrom();
            EXPECT_EQ(rec->Link, c.links == TKNLinkPolicy::Copy && c.texts.count(rel)) << rel;
            if (rec->Name == "fifo" || rec->Name == "sock") {
                EXPECT_EQ(rec->Attr, faSysFile);
            }
            if (rec->Name == "flink") {
                EXPECT_EQ(rec->Size, c.links == TKNLinkPolicy::Copy ? 10 : 1) << "the text's length, or the file's";
            }
        }
        EXPECT_EQ(texts, c.texts) << LinkPolicyWord(c.links);
        Names told;
        for (const TKNUnlistedFolder& link : list.LinksLeftOut)
            if (!link.Reason.empty()) told.push_back(link.Path.substr(list.Folder.size()));
        std::sort(told.begin(), told.end());
        EXPECT_EQ(told, c.told) << LinkPolicyWord(c.links);
    }
    close(sock);
}

TEST(Scan, FolderThatCannotBeListedIsSkipped)
{
    TempDir t;
    WriteFile(t / "gone/f.txt", "1");
    WriteFile(t / "top.txt", "1");
    TKNFileBuffer list;
    list.SetFolder(t.path());
    // The folder vanishes after its parent listed it and before it is listed itself.
    list.OnProgress = [&](void*, uint8_t, const std::string& path) {
        if (path == t / "gone") testutil::RemoveTree(path);
    };
    list.StartScan();
    list.WaitScan();
    ASSERT_EQ(list.Items.size(), 2u);
    EXPECT_EQ(list.Items[0]->Name, "top.txt");
    EXPECT_EQ(list.Items[1]->Path.str(), t / "gone");
}

// Folders listed ahead (a refresh hands them so, for a server to overlap the listings) are each
// answered once from that listing, as the side's own List gives it, entries or failure; a
// folder asked again is listed anew.
TEST(Scan, FoldersListedAheadAnswerOnceAsTheirOwnListing)
{
    TempDir t;
    WriteFile(t / "a/f.txt", "1");
    WriteFile(t / "b/g.txt", "1");
    TKNScanProviderSide provider;
    ASSERT_TRUE(provider.Open(t.path()));
    auto listed = [&provider](const std::string& folder) {
        std::string text;
        std::unique_ptr<TKNFileRec> rec;
        for (bool more = provider.FindFirst(folder, faDirectory, rec); more; more = provider.FindNext(rec))
            text += rec->Name + ";";
        provider.FindClose();
        return provider.ListError.empty() ? text : "error: " + provider.ListError;
    };
    const std::string missing = listed(t / "missing");
    ASSERT_NE(missing.find("error: "), std::string::npos);
    provider.ListAhead({t / "a", t / "missing", t / "b"});
    WriteFile(t / "a/new.txt", "1");
    testutil::RemoveTree(t / "b");
    EXPECT_EQ(listed(t / "a"), "f.txt;");
    EXPECT_EQ(listed(t / "missing"), missing);
    EXPECT_EQ(listed(t / "b"), "g.txt;");
    EXPECT_EQ(listed(t / "a"), "f.txt;new.txt;");
    EXPECT_EQ(listed(t / "b").rfind("error: ", 0), 0u);
    provider.Close();
}

TEST(Scan, UnreadableFolderIsSkipped)
{
    TempDir t;
    WriteFile(t / "locked/f.txt", "1");
    WriteFile(t / "open/g.txt", "1");
    chmod(t.path().c_str(), 0755);
    chmod((t / "open").c_str(), 0755);
    chmod((t / "locked").c_str(), 0);
    int result = testutil::RunUnprivileged([&] {
        TKNFileBuffer list;
        return Scan(list, t.path()) == Names{"/locked/", "/open/", "/open/g.txt"} ? 0 : 1;
    });
    chmod((t / "locked").c_str(), 0700);
    EXPECT_EQ(result, 0) << "99: cannot give up root; 1: wrong scan";
}

TEST(Scan, SideThatCannotBeOpenedStillGivesTheFinalReport)
{
    TempDir t;
    TKNFileBuffer list;
    list.SetFolder(t.path());  // a path from an earlier scan must not leak into the report
    list.StartScan();
    list.WaitScan();
    list.SetFolder("ftp://127.0.0.1:1/x");
    std::vector<std::pair<int, std::string>> reports;
    list.OnProgress = [&](void*, uint8_t state, const std::string& path) { reports.emplace_back(state, path); };
    list.StartScan();
    list.WaitScan();
    EXPECT_TRUE(list.Items.empty());
    EXPECT_EQ(reports, (std::vector<std::pair<int, std::string>>{{1, ""}}));
    EXPECT_EQ(list.State, 0);
    EXPECT_FALSE(list.ErrorText.empty());
}

TEST(Scan, TreeDeeperThanAPathCanNameIsListedWhole)
{
    // 45 nested folders of 100-byte names: the deepest paths exceed PATH_MAX (4,096 bytes), yet
    // every folder is reached from the one above it, so the walk lists them all.
    TempDir t;
    constexpr int kDepth = 45;
    const std::string name(100, 'd');
    std::vector<int> fds{open(t.path().c_str(), O_RDONLY | O_DIRECTORY)};
    for (int i = 0; i < kDepth; ++i) {
        ASSERT_EQ(mkdirat(fds.back(), name.c_str(), 0755), 0);
        fds.push_back(openat(fds.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
        ASSERT_GE(fds.back(), 0);
    }
    TKNFileBuffer list;
    Scan(list, t.path());
    EXPECT_EQ(list.Items.size(), static_cast<std::size_t>(kDepth));
    EXPECT_TRUE(list.UnlistedFolders.empty());
    for (int i = kDepth; i > 0; --i) {  // paths too long to name: remove through the parents
        close(fds[i]);
        ASSERT_EQ(unlinkat(fds[i - 1], name.c_str(), AT_REMOVEDIR), 0);
    }
    close(fds[0]);
}
