// Updates with an FTP side against a real FTP server on the loopback interface: uploads,
// downloads with the server's exact time, FTP-to-FTP copies streamed with their progress,
// folders and deletions, and the rows whose names cannot be written there. Rows come from a
// comparison, except where a row must be laid out by hand (a name no listing would give).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "engine/kn_unitUpdate.h"
#include "ftp/kn_unitFtpLocation.h"
#include "ftp/kn_unitIdFTP.h"
#include "side/kn_unitSideRules.h"
#include "tests/common/ftp_server.h"
#include "tests/common/temp_tree.h"
#include "tests/ftp/fake_ftp_server.h"
#include "tests/update/update_harness.h"

using namespace testutil;
using Tree = std::map<std::string, std::string>;

namespace {

kn::TKNFileRec File(const std::string& folder, const std::string& name, int64_t size,
                    double time = vex::EncodeDateTime(2024, 5, 6, 10, 15, 7))
{
    kn::TKNFileRec rec;
    rec.Path = folder;
    rec.Name = name;
    rec.Size = size;
    rec.Time = time;
    rec.Attr = kn::faArchive;
    return rec;
}

kn::TKNFileRec Folder(const std::string& path)
{
    kn::TKNFileRec rec;
    rec.Path = path;
    rec.Attr = kn::faDirectory;
    rec.Time = vex::EncodeDateTime(2024, 5, 6);
    return rec;
}

const kn::TKNFileRec kNone;

void AddRow(UpdateHarness& h, const kn::TKNFileRec& left, const kn::TKNFileRec& right, kn::TKNStatus status)
{
    auto row = std::make_unique<kn::TMyFileOpt>();
    row->Left = left;
    row->Right = right;
    row->Status = status;
    h.engine.Items.push_back(std::move(row));
}

struct FileProgress {
    std::string text;
    int64_t maximum, position;
};

void RecordBytes(UpdateHarness& h, std::vector<FileProgress>& bytes)
{
    h.engine.OnFileProgress = [&bytes](void*, const std::string& text, int64_t maximum, int64_t position) {
        bytes.push_back({text, maximum, position});
    };
}

std::string Pattern(size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + i % 23);
    return s;
}

}  // namespace

TEST(UpdateFtp, UploadCreatesFoldersAndForcedUpdateDeletesOnTheServer)
{
    FtpServer server;
    TempDir dir;
    WriteFile(dir / "L/docs/a.txt", "uploaded");
    WriteFile(server.Root() + "/site/stale.txt", "stale");
    WriteFile(server.Root() + "/site/old/x.txt", "x");
    const std::string L = dir / "L", S = server.Location("/site");
    UpdateHarness h(L, S);
    ASSERT_EQ(h.Compare(), 5u) << h.engine.ErrorText;
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Snapshot(server.Root() + "/site"), (Tree{{"docs", "<dir>"}, {"docs/a.txt", "uploaded"}}));
    const std::string shown = kn::HideFtpPasswords(S);
    EXPECT_EQ(shown, "ftp://tester@127.0.0.1:" + std::to_string(server.Port()) + "/site");
    // The folder first, then the copy, then both deletions (in either order, by two workers),
    // the folder they emptied last.
    ASSERT_EQ(h.progress.size(), 5u);
    std::sort(h.progress.begin() + 2, h.progress.begin() + 4);
    EXPECT_EQ(h.progress, (std::vector<std::string>{shown + "/docs", shown + "/docs/a.txt", shown + "/old/x.txt",
                                                    shown + "/stale.txt", shown + "/old"}));
}

// The download gives the local copy the server file's exact time, and reports its bytes.
TEST(UpdateFtp, DownloadTakesTheServersExactTime)
{
    FtpServer server;
    TempDir dir;
    const int64_t exact = vex::DateTimeToUnix(vex::EncodeDateTime(2024, 5, 6, 10, 15, 7), vex::LocalOffsetNow());
    WriteFile(server.Root() + "/pub/sub/b.bin", Pattern(300000));
    SetMTime(server.Root() + "/pub/sub/b.bin", exact);
    WriteFile(dir / "R/sub/b.bin", "older local copy");
    SetMTime(dir / "R/sub/b.bin", exact - 86400);
    const std::string S = server.Location("/pub"), R = dir / "R";
    UpdateHarness h(S, R);
    std::vector<FileProgress> bytes;
    RecordBytes(h, bytes);
    ASSERT_EQ(h.Compare(), 1u) << h.engine.ErrorText;
    h.Update(kn::TKNAction::LeftToRight, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Snapshot(R), (Tree{{"sub", "<dir>"}, {"sub/b.bin", Pattern(300000)}})) << "no temporary file left";
    struct stat st;
    ASSERT_EQ(stat((R + "/sub/b.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, exact);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.front().position, 0);
    EXPECT_EQ(bytes.back().position, 300000);
    EXPECT_EQ(bytes.back().maximum, 300000);
    EXPECT_EQ(bytes.back().text, R + "/sub/b.bin");
}

TEST(UpdateFtp, FailedDownloadLeavesTheLocalFileAndTheRunGoesOn)
{
    FtpServer server;
    TempDir dir;
    WriteFile(server.Root() + "/pub/ok.txt", "fetched");
    WriteFile(server.Root() + "/pub/c.txt", "remote");
    WriteFile(dir / "R/c.txt", "local");
    SetMTime(dir / "R/c.txt", 1500000000);
    const std::string S = server.Location("/pub"), R = dir / "R";
    UpdateHarness h(S, R);
    ASSERT_EQ(h.Compare(), 2u) << h.engine.ErrorText;
    ::unlink((server.Root() + "/pub/c.txt").c_str());  // gone from the server since
    h.Update(kn::TKNAction::LeftToRight, false);
    ASSERT_EQ(h.errors.size(), 1u);
    const std::string prefix =
        "Failed to copy file \"" + kn::HideFtpPasswords(S) + "/c.txt\" to \"" + R + "/c.txt\".\r\n";
    EXPECT_EQ(h.errors[0].substr(0, prefix.size()), prefix);
    EXPECT_NE(h.errors[0].find("does not exist"), std::string::npos) << h.errors[0];
    EXPECT_EQ(Snapshot(R), (Tree{{"c.txt", "local"}, {"ok.txt", "fetched"}}));
}

TEST(UpdateFtp, StopDuringADownloadKeepsTheLocalFile)
{
    FtpServer server;
    TempDir dir;
    WriteFile(server.Root() + "/pub/big.bin", Pattern(8 * 1048576));
    WriteFile(dir / "R/big.bin", "local");
    SetMTime(dir / "R/big.bin", 1500000000);
    const std::string S = server.Location("/pub"), R = dir / "R";
    UpdateHarness h(S, R);
    h.engine.OnFileProgress = [&](void*, const std::string&, int64_t, int64_t position) {
        if (position > 0) h.engine.StopCompare();
    };
    ASSERT_EQ(h.Compare(), 1u) << h.engine.ErrorText;
    h.Update(kn::TKNAction::LeftToRight, false);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(h.errors[0].substr(0, 20), "Failed to copy file ");
    EXPECT_EQ(Snapshot(R), (Tree{{"big.bin", "local"}}));
    EXPECT_EQ(h.updateDone, 1);
}

// One stream from server to server: no staging file, and the bytes are counted once.
TEST(UpdateFtp, FtpToFtpStreamsTheFileOnce)
{
    FtpServer left, right;
    WriteFile(left.Root() + "/a/k.txt", std::string(1000, 'k'));
    MakeDirs(right.Root() + "/b");
    const std::string A = left.Location("/a"), B = right.Location("/b");
    UpdateHarness h(A, B);
    std::vector<FileProgress> bytes;
    RecordBytes(h, bytes);
    ASSERT_EQ(h.Compare(), 1u) << h.engine.ErrorText;
    h.Update(kn::TKNAction::Auto, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(ReadFile(right.Root() + "/b/k.txt"), std::string(1000, 'k'));
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.front().position, 0);
    EXPECT_EQ(bytes.back().position, 1000);
    int64_t last = 0;
    for (const FileProgress& p : bytes) {
        EXPECT_EQ(p.maximum, 1000);
        EXPECT_EQ(p.text, kn::HideFtpPasswords(B) + "/k.txt");
        EXPECT_GE(p.position, last) << "progress never goes back";
        last = p.position;
    }
}

TEST(UpdateFtp, FtpToFtpFoldersAndDeletionsOnTheWrittenServer)
{
    FtpServer left, right;
    WriteFile(left.Root() + "/a/keep.txt", "left");
    WriteFile(right.Root() + "/b/gone/old.txt", "old");
    const std::string A = left.Location("/a"), B = right.Location("/b");
    UpdateHarness h(A, B);
    MakeDirs(left.Root() + "/a/new");
    SetMTime(left.Root() + "/a/keep.txt", 1500000000);
    WriteFile(right.Root() + "/b/keep.txt", "left");
    SetMTime(right.Root() + "/b/keep.txt", 1500000000);
    ASSERT_EQ(h.Compare(), 3u) << h.engine.ErrorText;
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Snapshot(right.Root() + "/b"), (Tree{{"keep.txt", "left"}, {"new", "<dir>"}}));
    EXPECT_EQ(Snapshot(left.Root() + "/a"), (Tree{{"keep.txt", "left"}, {"new", "<dir>"}}));
}

TEST(UpdateFtp, BackupOfAServerFileLandsInTheProgramFolder)
{
    TempDir home;
    setenv("KESTRUNE_HOME", home.path().c_str(), 1);
    FtpServer server;
    TempDir dir;
    WriteFile(dir / "L/img/a.png", "new");
    WriteFile(server.Root() + "/site/img/a.png", "old on the server");
    const std::string L = dir / "L", S = server.Location("/site");
    SetMTime(server.Root() + "/site/img/a.png", 1500000000);
    UpdateHarness h(L, S);
    ASSERT_EQ(h.Compare(), 1u) << h.engine.ErrorText;
    h.Update(kn::TKNAction::LeftToRight, false, true);
    unsetenv("KESTRUNE_HOME");
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    Tree backup = Snapshot(home.path());
    ASSERT_FALSE(backup.empty());
    EXPECT_EQ(backup[backup.begin()->first + "/Right/img/a.png"], "old on the server");
    EXPECT_EQ(ReadFile(server.Root() + "/site/img/a.png"), "new");
}

// What the server refuses fails that row with the server's reason; the run goes on.
TEST(UpdateFtp, ServerRefusalsCarryTheServersReply)
{
    FtpServer server;
    WriteFile(server.Root() + "/site/exists", "a file where a folder is to be made");
    TempDir dir;
    MakeDirs(dir / "L/exists");
    WriteFile(dir / "L/after.txt", "still uploaded");
    const std::string L = dir / "L", S = server.Location("/site");
    UpdateHarness h(L, S);
    h.Compare();
    h.Update(kn::TKNAction::LeftToRight, false);
    ASSERT_EQ(h.errors.size(), 1u);
    const std::string head = "Failed to create directory \"" + kn::HideFtpPasswords(S) + "/exists\".\r\n";
    EXPECT_EQ(h.errors[0].substr(0, head.size()), head);
    EXPECT_EQ(ReadFile(server.Root() + "/site/after.txt"), "still uploaded");
    EXPECT_EQ(ReadFile(server.Root() + "/site/exists"), "a file where a folder is to be made");
}

TEST(UpdateFtp, AServerThatCannotBeReachedEndsTheRunWithAReport)
{
    TempDir dir;
    WriteFile(dir / "L/a.txt", "a");
    UpdateHarness h(dir / "L", "ftp://127.0.0.1:1/nowhere");
    AddRow(h, File(dir / "L", "a.txt", 1), kNone, kn::TKNStatus::Left);
    h.Update(kn::TKNAction::LeftToRight, false);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_TRUE(h.progress.empty()) << "no pass runs";
    EXPECT_EQ(h.updateDone, 1);
    EXPECT_EQ(h.engine.State, 0);
}

TEST(UpdateFtp, ComparedThenUpdatedThroughTheFtpListing)
{
    FtpServer server;
    TempDir dir;
    WriteFile(dir / "L/docs/a.txt", "uploaded");
    WriteFile(server.Root() + "/site/stale.txt", "stale");
    UpdateHarness h(dir / "L", server.Location("/site"));
    ASSERT_EQ(h.Compare(), 3u) << "docs/, docs/a.txt on the left; stale.txt on the server";
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Snapshot(server.Root() + "/site"), (Tree{{"docs", "<dir>"}, {"docs/a.txt", "uploaded"}}));
}

namespace {

struct UnsafeNameCase {
    const char* name;
    kn::TKNFileRec entry;  // on the left, relative to L
    const char* reason;
};

void PrintTo(const UnsafeNameCase& row, std::ostream* os)
{
    *os << row.name;
}

class UpdateFtpUnsafeName : public ::testing::TestWithParam<UnsafeNameCase> {};

// The rows' paths are relative; the test puts the local root in front.
kn::TKNFileRec Under(const std::string& root, kn::TKNFileRec rec)
{
    rec.Path = root + rec.Path.str();
    return rec;
}

}  // namespace

// A local name that the server would read as a path fails its row and writes nothing above
// the destination folder; the other rows go on.
TEST_P(UpdateFtpUnsafeName, FailsItsRowAndWritesNothingOutside)
{
    const UnsafeNameCase& c = GetParam();
    FtpServer server;
    TempDir dir;
    WriteFile(server.Root() + "/site/index.html", "the real index");
    MakeDirs(server.Root() + "/site/uploads");
    WriteFile(dir / "L/..\\index.html", "overwritten?");
    MakeDirs(dir / "L/..\\..\\newdir");
    WriteFile(dir / "L/ok.txt", "fine");
    const std::string L = dir / "L", S = server.Location("/site/uploads");
    UpdateHarness h(L, S);
    AddRow(h, Under(L, c.entry), kNone, kn::TKNStatus::Left);
    AddRow(h, File(L, "ok.txt", 4), kNone, kn::TKNStatus::Left);
    h.Update(kn::TKNAction::LeftToRight, false);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_NE(h.errors[0].find(c.reason), std::string::npos) << h.errors[0];
    EXPECT_EQ(Snapshot(server.Root()), (Tree{{"site", "<dir>"},
                                             {"site/index.html", "the real index"},
                                             {"site/uploads", "<dir>"},
                                             {"site/uploads/ok.txt", "fine"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateFtpUnsafeName,
    ::testing::Values(UnsafeNameCase{"BackslashFile", File("", "..\\index.html", 12), "holds \"\\\""},
                      UnsafeNameCase{"BackslashFolder", Folder("/..\\..\\newdir"), "holds \"\\\""},
                      UnsafeNameCase{"DotDotFile", File("/..", "index.html", 12), "is not a plain name"},
                      UnsafeNameCase{"DotDotFolder", Folder("/../newdir"), "is not a plain name"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(UpdateFtp, StoppedUploadKeepsTheServersFileAndLeavesNoTemporaryFile)
{
    FtpServer server;
    TempDir dir;
    WriteFile(server.Root() + "/site/big.bin", "the whole old file");
    WriteFile(dir / "L/big.bin", Pattern(16 * 1048576));
    const std::string L = dir / "L", S = server.Location("/site");
    UpdateHarness h(L, S);
    h.engine.OnFileProgress = [&](void*, const std::string&, int64_t, int64_t position) {
        if (position > 0) h.engine.StopCompare();
    };
    AddRow(h, File(L, "big.bin", 16 * 1048576), File(S, "big.bin", 18), kn::TKNStatus::Left);
    h.Update(kn::TKNAction::LeftToRight, false);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(h.errors[0].find("may remain"), std::string::npos) << h.errors[0];
    EXPECT_EQ(Snapshot(server.Root() + "/site"), (Tree{{"big.bin", "the whole old file"}}));
}

TEST(UpdateFtp, UploadReplacesTheFileWholeThroughATemporaryName)
{
    FtpServer server;
    TempDir dir;
    WriteFile(server.Root() + "/site/a.txt", "old");
    WriteFile(dir / "L/a.txt", Pattern(200000));
    const std::string L = dir / "L", S = server.Location("/site");
    UpdateHarness h(L, S);
    std::vector<std::string> seen;  // what the server folder held while the upload ran
    h.engine.OnFileProgress = [&](void*, const std::string&, int64_t, int64_t position) {
        if (position > 0 && seen.empty())
            for (const auto& entry : Snapshot(server.Root() + "/site")) seen.push_back(entry.first);
    };
    SetMTime(server.Root() + "/site/a.txt", 1500000000);
    ASSERT_EQ(h.Compare(), 1u) << h.engine.ErrorText;
    h.Update(kn::TKNAction::LeftToRight, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].substr(0, 10), ".kn~a.txt~") << "written beside the file, under the temporary name";
    EXPECT_TRUE(kn::IsOwnTempName(seen[0])) << seen[0];
    EXPECT_EQ(seen[1], "a.txt");
    EXPECT_EQ(Snapshot(server.Root() + "/site"), (Tree{{"a.txt", Pattern(200000)}}));
}

struct ShortDownloadCase {
    const char* name;
    bool noSize;  // the server knows no SIZE: the listing's size is the measure
};

void PrintTo(const ShortDownloadCase& row, std::ostream* os)
{
    *os << row.name;
}

class UpdateFtpShortDownload : public ::testing::TestWithParam<ShortDownloadCase> {};

TEST_P(UpdateFtpShortDownload, FailsTheRowAndKeepsTheLocalFile)
{
    FtpServer::Options options;
    options.ShortDownloads = true;
    options.NoSize = GetParam().noSize;
    FtpServer server(options);
    TempDir dir;
    WriteFile(server.Root() + "/pub/six.txt", "123456");
    WriteFile(dir / "R/six.txt", "good local copy");
    SetMTime(dir / "R/six.txt", 1500000000);
    const std::string S = server.Location("/pub"), R = dir / "R";
    UpdateHarness h(S, R);
    ASSERT_EQ(h.Compare(), 1u) << h.engine.ErrorText;
    h.Update(kn::TKNAction::LeftToRight, false);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_NE(h.errors[0].find("only 3 of 6 bytes were transferred"), std::string::npos) << h.errors[0];
    EXPECT_EQ(Snapshot(R), (Tree{{"six.txt", "good local copy"}}));
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdateFtpShortDownload,
                         ::testing::Values(ShortDownloadCase{"SizeOffered", false},
                                           ShortDownloadCase{"ListedSizeOnly", true}),
                         [](const auto& row) { return std::string(row.param.name); });

// A download takes the server file's read-only bit, as a local copy takes the source's mode.
TEST(UpdateFtp, DownloadTakesTheReadOnlyBit)
{
    FtpServer server;
    TempDir dir;
    const std::string S = server.Location("/pub"), R = dir / "R";
    MakeDirs(R);
    WriteFile(server.Root() + "/pub/ro.txt", "x");
    ::chmod((server.Root() + "/pub/ro.txt").c_str(), 0444);
    WriteFile(server.Root() + "/pub/rw.txt", "x");
    UpdateHarness h(S, R);
    ASSERT_EQ(h.Compare(), 2u) << h.engine.ErrorText;
    h.Update(kn::TKNAction::LeftToRight, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Snapshot(R), (Tree{{"ro.txt", "x (ro)"}, {"rw.txt", "x"}}));
}

// A server that hides names beginning with "." even from "LIST -a" shows it only at the first
// upload: every row under such a name is then left alone, the one that showed it included, so
// the server's hidden files are never replaced by the local ones.
TEST(UpdateFtp, DotNamesAreLeftAloneOnceTheServerIsSeenToHideThem)
{
    FtpServer::Options options;
    options.HideDots = true;
    FtpServer server(options);
    TempDir dir;
    WriteFile(server.Root() + "/site/.htaccess", "the server's");
    WriteFile(server.Root() + "/site/keep.txt", "k");
    WriteFile(dir / "L/.htaccess", "an old local copy");
    WriteFile(dir / "L/.profile", "p");
    WriteFile(dir / "L/a.txt", "a");
    UpdateHarness h(dir / "L", server.Location("/site"));
    std::map<std::string, kn::TKNOpResult> results;
    h.engine.OnOperation = [&](void*, const kn::TKNOpEvent& e) { results[e.Path] = e.Result; };
    ASSERT_EQ(h.Compare(), 4u) << h.engine.ErrorText;
    h.Update(kn::TKNAction::LeftToRight, false);
    const std::map<std::string, kn::TKNOpResult> expected = {{".htaccess", kn::TKNOpResult::Skipped},
                                                             {".profile", kn::TKNOpResult::Skipped},
                                                             {"a.txt", kn::TKNOpResult::Done}};
    EXPECT_EQ(results, expected);
    EXPECT_EQ(Snapshot(server.Root() + "/site"),
              (Tree{{".htaccess", "the server's"}, {"a.txt", "a"}, {"keep.txt", "k"}}));
    ASSERT_EQ(h.errors.size(), 2u);
    EXPECT_NE(h.errors[0].find("names that begin with \".\""), std::string::npos) << h.errors[0];
}
