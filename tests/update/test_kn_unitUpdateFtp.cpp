// The FTP providers against a real FTP server on the loopback interface: uploads, downloads
// with the listing's time, FTP-to-FTP copies with their progress, folders and deletions. The
// rows are laid out by hand, as a comparison of the two sides would give them, so that these
// tests exercise the providers and not the FTP listing. The exact commands that set modes are
// checked against a scripted server.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/kn_unitUpdate.h"
#include "ftp/kn_unitFtpLocation.h"
#include "ftp/kn_unitFtpTempName.h"
#include "ftp/kn_unitIdFTP.h"
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
    AddRow(h, Folder(L + "/docs"), kNone, kn::TKNStatus::Left);
    AddRow(h, File(L + "/docs", "a.txt", 8), kNone, kn::TKNStatus::Left);
    AddRow(h, kNone, File(S, "stale.txt", 5), kn::TKNStatus::Right);
    AddRow(h, kNone, Folder(S + "/old"), kn::TKNStatus::Right);
    AddRow(h, kNone, File(S + "/old", "x.txt", 1), kn::TKNStatus::Right);
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Snapshot(server.Root() + "/site"), (Tree{{"docs", "<dir>"}, {"docs/a.txt", "uploaded"}}));
    const std::string shown = kn::HideFtpPasswords(S);
    EXPECT_EQ(shown, "ftp://tester@127.0.0.1:" + std::to_string(server.Port()) + "/site");
    EXPECT_EQ(h.progress, (std::vector<std::string>{shown + "/docs", shown + "/docs/a.txt", shown + "/stale.txt",
                                                    shown + "/old/x.txt", shown + "/old"}));
}

// The row's time is only known to the minute, as a LIST line gives it: the download asks the
// server for the file's exact time (MDTM) and gives the local copy that.
TEST(UpdateFtp, DownloadTakesTheServersExactTime)
{
    FtpServer server;
    TempDir dir;
    const int64_t exact = vex::DateTimeToUnix(vex::EncodeDateTime(2024, 5, 6, 10, 15, 7), vex::LocalOffsetNow());
    WriteFile(server.Root() + "/pub/sub/b.bin", Pattern(300000));
    SetMTime(server.Root() + "/pub/sub/b.bin", exact);
    WriteFile(dir / "R/sub/b.bin", "older local copy");
    const std::string S = server.Location("/pub"), R = dir / "R";
    UpdateHarness h(S, R);
    std::vector<FileProgress> bytes;
    RecordBytes(h, bytes);
    kn::TKNFileRec listed = File(S + "/sub", "b.bin", 300000, vex::EncodeDateTime(2024, 5, 6, 10, 15, 0));
    listed.TimeStep = 60;
    AddRow(h, listed, File(R + "/sub", "b.bin", 16), kn::TKNStatus::Left);
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
    WriteFile(dir / "R/c.txt", "local");
    const std::string S = server.Location("/pub"), R = dir / "R";
    UpdateHarness h(S, R);
    AddRow(h, File(S, "c.txt", 6), File(R, "c.txt", 5), kn::TKNStatus::Left);  // gone from the server
    AddRow(h, File(S, "ok.txt", 7), kNone, kn::TKNStatus::Left);
    h.Update(kn::TKNAction::LeftToRight, false);
    ASSERT_EQ(h.errors.size(), 1u);
    const std::string prefix =
        "Failed to copy file \"" + kn::HideFtpPasswords(S) + "/c.txt\" to \"" + R + "/c.txt\".\r\n550 ";
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
              "Failed to create directory \"" + kn::HideFtpPasswords(S) + "/exists\".\r\n550 ");
    EXPECT_EQ(h.errors[1].substr(0, h.errors[1].find("\r\n") + 6),
              "Failed to delete file \"" + kn::HideFtpPasswords(S) + "/missing.txt\".\r\n550 ");
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
                      UnsafeNameCase{"DotDotFile", File("/..", "index.html", 12), "would leave its folder"},
                      UnsafeNameCase{"DotDotFolder", Folder("/../newdir"), "would leave its folder"}),
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
    AddRow(h, File(L, "a.txt", 200000), File(S, "a.txt", 3), kn::TKNStatus::Left);
    h.Update(kn::TKNAction::LeftToRight, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].substr(0, 10), ".kn-a.txt-") << "written beside the file, under the temporary name";
    EXPECT_TRUE(kn::IsFtpTempName(seen[0])) << seen[0];
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
    const std::string S = server.Location("/pub"), R = dir / "R";
    UpdateHarness h(S, R);
    AddRow(h, File(S, "six.txt", 6), File(R, "six.txt", 15), kn::TKNStatus::Left);
    h.Update(kn::TKNAction::LeftToRight, false);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_NE(h.errors[0].find("Only 3 of 6 bytes were transferred"), std::string::npos) << h.errors[0];
    EXPECT_EQ(Snapshot(R), (Tree{{"six.txt", "good local copy"}}));
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdateFtpShortDownload,
                         ::testing::Values(ShortDownloadCase{"SizeOffered", false},
                                           ShortDownloadCase{"ListedSizeOnly", true}),
                         [](const auto& row) { return std::string(row.param.name); });

// A download takes the source's read-only bit where the listing told it, as a local copy takes
// the source's mode; a bit the listing could not tell is never set.
TEST(UpdateFtp, DownloadTakesTheListedReadOnlyBit)
{
    struct Case {
        const char* name;
        bool known, readOnly;
        bool localReadOnly;  // after the download
    };
    const Case cases[] = {
        {"ro.txt", true, true, true},
        {"rw.txt", true, false, false},
        {"unknown.txt", false, true, false},
    };
    FtpServer server;
    TempDir dir;
    const std::string S = server.Location("/pub"), R = dir / "R";
    MakeDirs(R);
    UpdateHarness h(S, R);
    Tree expected;
    for (const Case& c : cases) {
        WriteFile(server.Root() + "/pub/" + c.name, "x");
        kn::TKNFileRec listed = File(S, c.name, 1);
        listed.AttrKnown = c.known;
        if (c.readOnly) listed.Attr |= kn::faReadOnly;
        AddRow(h, listed, kNone, kn::TKNStatus::Left);
        expected[c.name] = c.localReadOnly ? "x (ro)" : "x";
    }
    h.Update(kn::TKNAction::LeftToRight, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(Snapshot(R), expected);
}

// SITE CHMOD keeps the bits MLST tells and flips only the write bits; without a told mode, the
// usual ones. A refusal fails that entry with the server's reply, and the next goes on.
TEST(UpdateFtp, AttributesOnTheServerGoThroughSiteChmod)
{
    struct Case {
        const char* path;
        uint32_t attr;
        const char* mlstFacts;  // the facts MLST gives for the entry
        const char* chmod;      // the command expected
        const char* reply;
        const char* error;  // empty when the change succeeds
    };
    const Case cases[] = {
        {"/pub/a.txt", kn::faArchive | kn::faReadOnly, "type=file;UNIX.mode=0754;", "SITE CHMOD 554 /pub/a.txt",
         "200 SITE CHMOD successful.", ""},
        {"/pub/b.txt", kn::faArchive, "type=file;UNIX.mode=0440;", "SITE CHMOD 640 /pub/b.txt",
         "550 Permission denied.", "Failed to set attributes of \"/pub/b.txt\".\r\n550 Permission denied."},
        {"/pub/docs", kn::faDirectory | kn::faReadOnly, "type=dir;", "SITE CHMOD 555 /pub/docs", "250 Done.", ""},
        {"/pub/c.txt", kn::faArchive, "type=file;", "SITE CHMOD 644 /pub/c.txt", "200 Done.", ""},
    };
    FakeFtpServer server([&](FakeFtpSession& s) {
        s.Login("211-Features:\r\n MLST type*;size*;modify*;UNIX.mode;\r\n211 End");
        s.Reply("OPTS MLST type;size;modify;UNIX.mode;", "200 MLST OPTS type;size;modify;UNIX.mode;");
        for (const Case& c : cases) {
            s.Reply(std::string("MLST ") + c.path,
                    std::string("250-Listing\r\n ") + c.mlstFacts + " " + c.path + "\r\n250 End");
            s.Reply(c.chmod, c.reply);
        }
        s.Reply("QUIT", "221 Bye");
        s.WaitForClose();
    });
    kn::TKNUpdateProviderFSFTP provider;
    provider.FTP = std::make_unique<kn::TKNIdFTP>();
    kn::OpenFtpLocation(*provider.FTP, server.Location());
    for (const Case& c : cases) {
        provider.ErrorText.clear();
        const bool done = provider.ApplyAttributes(server.Location(c.path), static_cast<int>(c.attr));
        EXPECT_EQ(done, *c.error == '\0') << c.path;
        EXPECT_EQ(provider.ErrorText, c.error) << c.path;
    }
    provider.Disconnect();
}
