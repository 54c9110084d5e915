// The FTP providers against a real FTP server on the loopback interface: uploads, downloads
// with the listing's time, FTP-to-FTP copies with their progress, folders and deletions. The
// rows are laid out by hand, as a comparison of the two sides would give them, so that these
// tests exercise the providers and not the FTP listing.
#include "tests/common/ftp_server.h"
#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

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
    AddRow(h, Folder(L + "/docs"), kNone, kn::TKNStatus::Left);
    AddRow(h, File(L + "/docs", "a.txt", 8), kNone, kn::TKNStatus::Left);
    AddRow(h, kNone, File(S, "stale.txt", 5), kn::TKNStatus::Right);
    AddRow(h, kNone, Folder(S + "/old"), kn::TKNStatus::Right);
    AddRow(h, kNone, File(S + "/old", "x.txt", 1), kn::TKNStatus::Right);
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Snapshot(server.Root() + "/site"), (Tree{{"docs", "<dir>"}, {"docs/a.txt", "uploaded"}}));
    EXPECT_EQ(h.progress, (std::vector<std::string>{S + "/docs", S + "/docs/a.txt", S + "/stale.txt",
                                                    S + "/old/x.txt", S + "/old"}));
}

TEST(UpdateFtp, DownloadTakesTheListingTimeCutToTwoSeconds)
{
    FtpServer server;
    TempDir dir;
    WriteFile(server.Root() + "/pub/sub/b.bin", Pattern(300000));
    WriteFile(dir / "R/sub/b.bin", "older local copy");
    const std::string S = server.Location("/pub"), R = dir / "R";
    UpdateHarness h(S, R);
    std::vector<FileProgress> bytes;
    RecordBytes(h, bytes);
    AddRow(h, File(S + "/sub", "b.bin", 300000), File(R + "/sub", "b.bin", 16), kn::TKNStatus::Left);
    h.Update(kn::TKNAction::LeftToRight, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Snapshot(R), (Tree{{"sub", "<dir>"}, {"sub/b.bin", Pattern(300000)}})) << "no temporary file left";
    struct stat st;
    ASSERT_EQ(stat((R + "/sub/b.bin").c_str(), &st), 0);
    const double expected = vex::EncodeDateTime(2024, 5, 6, 10, 15, 6);  // 10:15:07 as a DOS time
    EXPECT_EQ(st.st_mtime, vex::DateTimeToUnix(expected, vex::LocalOffsetNow()));
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
    WriteFile(dir / "R/c.txt", "local");
    const std::string S = server.Location("/pub"), R = dir / "R";
    UpdateHarness h(S, R);
    AddRow(h, File(S, "c.txt", 6), File(R, "c.txt", 5), kn::TKNStatus::Left);  // gone from the server
    AddRow(h, File(S, "ok.txt", 7), kNone, kn::TKNStatus::Left);
    h.Update(kn::TKNAction::LeftToRight, false);
    ASSERT_EQ(h.errors.size(), 1u);
    const std::string prefix = "Failed to copy file \"" + S + "/c.txt\" to \"" + R + "/c.txt\".\r\n550 ";
    EXPECT_EQ(h.errors[0].substr(0, prefix.size()), prefix);
    EXPECT_EQ(Snapshot(R), (Tree{{"c.txt", "local"}, {"ok.txt", "fetched"}}));
}

TEST(UpdateFtp, StopDuringADownloadKeepsTheLocalFile)
{
    FtpServer server;
    TempDir dir;
    WriteFile(server.Root() + "/pub/big.bin", Pattern(8 * 1048576));
    WriteFile(dir / "R/big.bin", "local");
    const std::string S = server.Location("/pub"), R = dir / "R";
    UpdateHarness h(S, R);
    h.engine.OnFileProgress = [&](void*, const std::string&, int64_t, int64_t position) {
        if (position > 0) h.engine.StopCompare();
    };
    AddRow(h, File(S, "big.bin", 8 * 1048576), File(R, "big.bin", 5), kn::TKNStatus::Left);
    h.Update(kn::TKNAction::LeftToRight, false);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_EQ(h.errors[0].substr(0, 20), "Failed to copy file ");
    EXPECT_EQ(Snapshot(R), (Tree{{"big.bin", "local"}}));
    EXPECT_EQ(h.updateDone, 1);
}

TEST(UpdateFtp, FtpToFtpCountsTheFileTwice)
{
    FtpServer left, right;
    WriteFile(left.Root() + "/a/k.txt", std::string(1000, 'k'));
    MakeDirs(right.Root() + "/b");
    const std::string A = left.Location("/a"), B = right.Location("/b");
    UpdateHarness h(A, B);
    std::vector<FileProgress> bytes;
    RecordBytes(h, bytes);
    AddRow(h, File(A, "k.txt", 1000), kNone, kn::TKNStatus::Left);
    h.Update(kn::TKNAction::Auto, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(ReadFile(right.Root() + "/b/k.txt"), std::string(1000, 'k'));
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.front().position, 0);
    EXPECT_EQ(bytes.back().position, 2000);
    bool sawHalf = false;
    int64_t last = 0;
    for (const FileProgress& p : bytes) {
        EXPECT_EQ(p.maximum, 2000);
        EXPECT_EQ(p.text, "/b/k.txt");
        EXPECT_GE(p.position, last) << "progress never goes back";
        last = p.position;
        sawHalf = sawHalf || p.position == 1000;
    }
    EXPECT_TRUE(sawHalf) << "the download ends at 1000, the upload goes on from there";
}

TEST(UpdateFtp, FtpToFtpFoldersAndDeletionsOnTheWrittenServer)
{
    FtpServer left, right;
    WriteFile(left.Root() + "/a/keep.txt", "left");
    WriteFile(right.Root() + "/b/gone/old.txt", "old");
    const std::string A = left.Location("/a"), B = right.Location("/b");
    UpdateHarness h(A, B);
    AddRow(h, Folder(A + "/new"), kNone, kn::TKNStatus::Left);
    AddRow(h, kNone, Folder(B + "/gone"), kn::TKNStatus::Right);
    AddRow(h, kNone, File(B + "/gone", "old.txt", 3), kn::TKNStatus::Right);
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Snapshot(right.Root() + "/b"), (Tree{{"new", "<dir>"}}));
    EXPECT_EQ(Snapshot(left.Root() + "/a"), (Tree{{"keep.txt", "left"}}));
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
    UpdateHarness h(L, S);
    AddRow(h, File(L + "/img", "a.png", 3), File(S + "/img", "a.png", 17), kn::TKNStatus::Left);
    h.Update(kn::TKNAction::LeftToRight, false, true);
    unsetenv("KESTRUNE_HOME");
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    Tree backup = Snapshot(home.path());
    ASSERT_FALSE(backup.empty());
    EXPECT_EQ(backup[backup.begin()->first + "/Right/img/a.png"], "old on the server");
    EXPECT_EQ(ReadFile(server.Root() + "/site/img/a.png"), "new");
}

TEST(UpdateFtp, ServerRefusalsCarryTheServersReply)
{
    FtpServer server;
    MakeDirs(server.Root() + "/site/exists");
    TempDir dir;
    WriteFile(dir / "L/after.txt", "still uploaded");
    const std::string L = dir / "L", S = server.Location("/site");
    UpdateHarness h(L, S);
    AddRow(h, Folder(L + "/exists"), kNone, kn::TKNStatus::Left);
    AddRow(h, kNone, File(S, "missing.txt", 1), kn::TKNStatus::Right);
    AddRow(h, File(L, "after.txt", 14), kNone, kn::TKNStatus::Left);
    h.Update(kn::TKNAction::LeftToRight, true);
    ASSERT_EQ(h.errors.size(), 2u);
    EXPECT_EQ(h.errors[0].substr(0, h.errors[0].find("\r\n") + 6),
              "Failed to create directory \"" + S + "/exists\".\r\n550 ");
    EXPECT_EQ(h.errors[1].substr(0, h.errors[1].find("\r\n") + 6),
              "Failed to delete file \"" + S + "/missing.txt\".\r\n550 ");
    EXPECT_EQ(ReadFile(server.Root() + "/site/after.txt"), "still uploaded");
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
