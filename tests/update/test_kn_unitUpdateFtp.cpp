// The FTP providers against a real FTP server on the loopback interface: uploads, downloads
// with the listing's time, FTP-to-FTP copies with their progress, folders and deletions.
#include "tests/common/ftp_server.h"
#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <ctime>

using namespace testutil;
using Tree = std::map<std::string, std::string>;

namespace {

// A recent time on a whole minute: listings show recent files to the minute.
int64_t RecentMinute()
{
    return (static_cast<int64_t>(std::time(nullptr)) - 3600) / 60 * 60;
}

void PutAt(const std::string& path, const std::string& content, int64_t unixSeconds)
{
    WriteFile(path, content);
    SetMTime(path, unixSeconds);
}

struct FileProgress {
    std::string text;
    int64_t maximum, position;
};

}  // namespace

TEST(UpdateFtp, UploadCreatesFoldersAndForcedUpdateDeletesOnTheServer)
{
    FtpServer server;
    TempDir dir;
    const int64_t t = RecentMinute();
    PutAt(dir / "L/docs/a.txt", "uploaded", t);
    PutAt(server.Root() + "/site/stale.txt", "stale", t);
    PutAt(server.Root() + "/site/old/x.txt", "x", t);
    MakeDirs(dir / "L");
    UpdateHarness h(dir / "L", server.Location("/site"));
    ASSERT_EQ(h.Compare(), 5u);
    h.Update(kn::caLeftToRight, true);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Snapshot(server.Root() + "/site"), (Tree{{"docs", "<dir>"}, {"docs/a.txt", "uploaded"}}));
    EXPECT_EQ(h.progress.front(), server.Location("/site") + "/docs");
}

TEST(UpdateFtp, DownloadKeepsTheListingTimeAndReplacesOnlyWhenWhole)
{
    FtpServer server;
    TempDir dir;
    const int64_t t = RecentMinute();
    PutAt(server.Root() + "/pub/sub/b.bin", std::string(300000, 'b'), t);
    PutAt(dir / "R/sub/b.bin", "older local copy", t - 3600);
    UpdateHarness h(server.Location("/pub"), dir / "R");
    std::vector<FileProgress> bytes;
    h.engine.OnFileProgress = [&](void*, const std::string& text, int64_t maximum, int64_t position) {
        bytes.push_back({text, maximum, position});
    };
    ASSERT_EQ(h.Compare(), 2u) << "the file, and the folder that differs in attributes (an FTP side has none)";
    h.Update(kn::caLeftToRight, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(ReadFile(dir / "R/sub/b.bin"), std::string(300000, 'b'));
    struct stat st;
    ASSERT_EQ(stat((dir / "R/sub/b.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, t);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back().position, 300000);
    EXPECT_EQ(bytes.back().maximum, 300000);
    EXPECT_EQ(bytes.back().text, dir / "R/sub/b.bin");
    EXPECT_EQ(Snapshot(dir / "R/sub"), (Tree{{"b.bin", std::string(300000, 'b')}})) << "no temporary file left";
}

TEST(UpdateFtp, FailedDownloadLeavesTheLocalFile)
{
    FtpServer server;
    TempDir dir;
    const int64_t t = RecentMinute();
    PutAt(server.Root() + "/pub/c.txt", "server", t);
    PutAt(dir / "R/c.txt", "local", t - 3600);
    UpdateHarness h(server.Location("/pub"), dir / "R");
    ASSERT_EQ(h.Compare(), 1u);
    std::remove((server.Root() + "/pub/c.txt").c_str());  // gone between comparison and update
    h.Update(kn::caLeftToRight, false);
    ASSERT_EQ(h.errors.size(), 1u);
    const std::string prefix =
        "Failed to copy file \"" + server.Location("/pub") + "/c.txt\" to \"" + dir / "R/c.txt" + "\".\r\n";
    EXPECT_EQ(h.errors[0].substr(0, prefix.size()), prefix);
    EXPECT_EQ(Snapshot(dir / "R"), (Tree{{"c.txt", "local"}}));
}

TEST(UpdateFtp, FtpToFtpCountsTheFileTwice)
{
    FtpServer left, right;
    const int64_t t = RecentMinute();
    PutAt(left.Root() + "/a/k.txt", std::string(1000, 'k'), t);
    MakeDirs(right.Root() + "/b");
    UpdateHarness h(left.Location("/a"), right.Location("/b"));
    std::vector<FileProgress> bytes;
    h.engine.OnFileProgress = [&](void*, const std::string& text, int64_t maximum, int64_t position) {
        bytes.push_back({text, maximum, position});
    };
    ASSERT_EQ(h.Compare(), 1u);
    h.Update(kn::caAuto, false);
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

TEST(UpdateFtp, BackupOfAServerFileLandsInTheProgramFolder)
{
    TempDir home;
    setenv("KESTRUNE_HOME", home.path().c_str(), 1);
    FtpServer server;
    TempDir dir;
    const int64_t t = RecentMinute();
    PutAt(dir / "L/img/a.png", "new", t);
    PutAt(server.Root() + "/site/img/a.png", "old on the server", t - 3600);
    UpdateHarness h(dir / "L", server.Location("/site"));
    h.Compare();
    h.Update(kn::caLeftToRight, false, true);
    unsetenv("KESTRUNE_HOME");
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    Tree backup = Snapshot(home.path());
    ASSERT_FALSE(backup.empty());
    EXPECT_EQ(backup[backup.begin()->first + "/Right/img/a.png"], "old on the server");
    EXPECT_EQ(ReadFile(server.Root() + "/site/img/a.png"), "new");
}

TEST(UpdateFtp, AServerThatCannotBeReachedEndsTheRunWithAReport)
{
    TempDir dir;
    WriteFile(dir / "L/a.txt", "a");
    UpdateHarness h(dir / "L", "ftp://127.0.0.1:1/nowhere");
    ASSERT_EQ(h.Compare(), 1u);
    h.Update(kn::caLeftToRight, false);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_TRUE(h.progress.empty()) << "no pass runs";
    EXPECT_EQ(h.updateDone, 1);
    EXPECT_EQ(h.engine.State, 0);
}

TEST(UpdateFtp, LocalSideOperationsOfAnFtpProviderKeepTheirMessages)
{
    FtpServer server;
    TempDir dir;
    const int64_t t = RecentMinute();
    PutAt(server.Root() + "/pub/keep/new.txt", "n", t);
    PutAt(dir / "R/keep", "a file where the server has a folder", t);
    UpdateHarness h(server.Location("/pub"), dir / "R");
    h.Compare();
    h.Update(kn::caLeftToRight, false);
    ASSERT_FALSE(h.errors.empty());
    EXPECT_EQ(h.errors[0], "Failed to create directory \"" + dir / "R/keep" + "\".\r\nFile exists");
    EXPECT_EQ(ReadFile(dir / "R/keep"), "a file where the server has a folder");
}
