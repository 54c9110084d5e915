// SFTP sides in whole comparisons and updates against a real sshd on loopback: both
// directions converge (the follow-up comparison lists no rows), backups, a stop in the middle
// of an upload, copies between two remote sides, and the failures a side must never turn into
// an empty folder (a host that is not trusted, a server that vanishes while it is scanned).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <memory>
#include <tuple>

#include "engine/kn_unitScanProviderSide.h"
#include "side/kn_unitServerKeeps.h"
#include "tests/common/ftp_server.h"
#include "tests/common/sshd_server.h"
#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"

using namespace testutil;
using Tree = std::map<std::string, std::string>;

namespace {

constexpr int64_t kOld = 1577872800;  // 2020-01-01 10:00:00 UTC

void PutAt(const std::string& path, const std::string& content, int64_t mtime)
{
    WriteFile(path, content);
    SetMTime(path, mtime);
}

// Two sides with a bit of everything: a file newer on the left, one only on each side, a
// folder only on the left with a read-only file in it.
void FillSides(const std::string& local, const std::string& remote)
{
    PutAt(local + "/a.txt", "left, newer", kOld + 600);
    PutAt(remote + "/a.txt", "right, older", kOld);
    PutAt(local + "/docs/read-only.txt", "kept read-only", kOld + 7);
    ::chmod((local + "/docs/read-only.txt").c_str(), 0444);
    PutAt(remote + "/extra/only-right.txt", "only on the server", kOld + 3);
}

bool HasTemporaryFile(const Tree& tree)
{
    for (const auto& [path, content] : tree)
        if (path.find(".kn-") != std::string::npos) return true;
    return false;
}

// A trusted server with a folder "site" on it, and a local folder "L".
class UpdateSftp : public testing::Test {
protected:
    SshServer server;
    TempDir dir;
    const std::string local = dir / "L";
    const std::string remote = server.Root() + "/site";
    void SetUp() override { server.TrustHost(); }
};

}  // namespace

TEST_F(UpdateSftp, UploadMirrorsTheLocalSideAndTheNextComparisonIsEmpty)
{
    FillSides(local, remote);
    UpdateHarness h(local, server.Location(remote));
    ASSERT_GE(h.Compare(), 3u) << h.engine.ErrorText;
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_TRUE(h.errors.empty()) << h.errors[0];
    EXPECT_EQ(Snapshot(remote), Snapshot(local));
    EXPECT_EQ(Snapshot(remote)["docs/read-only.txt"], "kept read-only (ro)");
    EXPECT_EQ(h.Compare(), 0u) << h.engine.ErrorText;
    EXPECT_TRUE(h.engine.ErrorText.empty());
}

TEST_F(UpdateSftp, DownloadMirrorsTheServerAndTheNextComparisonIsEmpty)
{
    FillSides(remote, local);  // now the server holds the newer file and the read-only one
    UpdateHarness h(local, server.Location(remote));
    ASSERT_GE(h.Compare(), 3u) << h.engine.ErrorText;
    h.Update(kn::TKNAction::RightToLeft, true);
    EXPECT_TRUE(h.errors.empty()) << h.errors[0];
    EXPECT_EQ(Snapshot(local), Snapshot(remote));
    EXPECT_EQ(h.Compare(), 0u) << h.engine.ErrorText;
}

TEST_F(UpdateSftp, BackupKeepsTheServerFilesThatAreReplacedOrDeleted)
{
    ProgramFolderHere program;
    FillSides(local, remote);
    UpdateHarness h(local, server.Location(remote));
    h.Compare();
    h.Update(kn::TKNAction::LeftToRight, true, true);
    EXPECT_TRUE(h.errors.empty()) << h.errors[0];
    Tree runs = Snapshot(program.home.path());
    ASSERT_FALSE(runs.empty());
    const std::string run = runs.begin()->first;
    EXPECT_EQ(runs[run + "/Right/a.txt"], "right, older");
    EXPECT_EQ(runs[run + "/Right/extra/only-right.txt"], "only on the server");
    EXPECT_EQ(ReadFile(remote + "/a.txt"), "left, newer");
}

TEST_F(UpdateSftp, StopDuringAnUploadKeepsTheOldFileAndLeavesNoTemporaryOne)
{
    PutAt(dir / "L/big.bin", std::string(8 * 1048576, 'n'), kOld + 100);
    PutAt(remote + "/big.bin", "the old file", kOld);
    UpdateHarness h(local, server.Location(remote));
    ASSERT_EQ(h.Compare(), 1u) << h.engine.ErrorText;
    int reports = 0;
    h.engine.OnFileProgress = [&](void*, const std::string&, int64_t, int64_t position) {
        if (++reports == 2 && position > 0) h.engine.StopCompare();
    };
    h.Update(kn::TKNAction::LeftToRight, false);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_NE(h.errors[0].find("Stopped"), std::string::npos) << h.errors[0];
    EXPECT_EQ(Snapshot(remote), (Tree{{"big.bin", "the old file"}}));
}

TEST_F(UpdateSftp, ReplacingAFileLeavesNoTemporaryName)
{
    PutAt(dir / "L/f.txt", "new", kOld + 100);
    PutAt(remote + "/f.txt", "old", kOld);
    UpdateHarness h(local, server.Location(remote));
    ASSERT_EQ(h.Compare(), 1u);
    h.Update(kn::TKNAction::LeftToRight, false);
    EXPECT_TRUE(h.errors.empty()) << h.errors[0];
    Tree after = Snapshot(remote);
    EXPECT_FALSE(HasTemporaryFile(after));
    EXPECT_EQ(after, (Tree{{"f.txt", "new"}}));
}

TEST_F(UpdateSftp, CopiesBetweenTwoSftpSidesAndBetweenSftpAndFtp)
{
    const std::string a = server.Root() + "/a", b = server.Root() + "/b";
    PutAt(a + "/x/one.txt", "one", kOld);
    PutAt(b + "/two.txt", "two", kOld);
    {
        UpdateHarness h(server.Location(a), server.Location(b));
        ASSERT_EQ(h.Compare(), 3u) << h.engine.ErrorText;
        h.Update(kn::TKNAction::LeftToRight, false);
        EXPECT_TRUE(h.errors.empty()) << h.errors[0];
        h.Update(kn::TKNAction::RightToLeft, false);
        EXPECT_EQ(h.Compare(), 0u) << h.engine.ErrorText;
    }
    FtpServer ftp;
    PutAt(ftp.Root() + "/f/three.txt", "three", kOld);
    UpdateHarness h(server.Location(a), ftp.Location("/f"));
    ASSERT_GE(h.Compare(), 3u) << h.engine.ErrorText;
    h.Update(kn::TKNAction::LeftToRight, false);
    h.Update(kn::TKNAction::RightToLeft, false);
    EXPECT_TRUE(h.errors.empty()) << h.errors[0];
    EXPECT_EQ(ReadFile(ftp.Root() + "/f/x/one.txt"), "one");
    EXPECT_EQ(ReadFile(ftp.Root() + "/f/two.txt"), "two");
    EXPECT_EQ(ReadFile(a + "/three.txt"), "three");
}

TEST(CompareSftp, AnUntrustedHostFailsTheComparisonWithItsFingerprint)
{
    SshServer server;
    TempDir dir;
    const std::string local = dir / "L";
    PutAt(dir / "L/a.txt", "a", kOld);
    UpdateHarness h(local, server.Location(server.Root()));
    EXPECT_EQ(h.Compare(), 0u);
    EXPECT_NE(h.engine.ErrorText.find(server.Fingerprint()), std::string::npos) << h.engine.ErrorText;
}

TEST(CompareSftp, AServerThatVanishesWhileScannedFailsTheComparison)
{
    SshServer server;
    server.TrustHost();
    TempDir dir;
    const std::string local = dir / "L";
    const std::string remote = server.Root() + "/site";
    for (int i = 0; i < 20; ++i) PutAt(remote + "/d" + std::to_string(i) + "/f.txt", "f", kOld);
    for (int i = 0; i < 20; ++i) PutAt(local + "/d" + std::to_string(i) + "/f.txt", "f", kOld);
    UpdateHarness h(local, server.Location(remote));
    int folders = 0;
    h.engine.RightList.OnProgress = [&](void*, uint8_t state, const std::string&) {
        if (state == 1 && ++folders == 3) server.Vanish();
    };
    h.Compare();
    EXPECT_NE(h.engine.ErrorText.find("connection was lost"), std::string::npos) << h.engine.ErrorText;
    EXPECT_TRUE(h.engine.Items.empty());
}

TEST(ScanProviderSftp, AFolderTheServerWillNotListIsNeverEmpty)
{
    SshServer::Options options;
    options.DeniedRequests = "opendir";
    SshServer server(options);
    server.TrustHost();
    PutAt(server.Root() + "/site/a.txt", "a", kOld);
    kn::TKNScanProviderSide provider;
    const std::string root = server.Location(server.Root() + "/site");
    ASSERT_TRUE(provider.Open(root));
    std::unique_ptr<kn::TKNFileRec> rec;
    EXPECT_FALSE(provider.FindFirst(root, kn::AttributeSetToMask(kn::kDefaultAttributeSet), rec));
    EXPECT_NE(provider.ListError.find("Cannot list"), std::string::npos) << provider.ListError;
    provider.Close();

    PutAt(server.Root() + "/file-root", "not a folder", kOld);
    kn::TKNScanProviderSide onFile;
    EXPECT_FALSE(onFile.Open(server.Location(server.Root() + "/file-root")));
    EXPECT_NE(onFile.ListError.find("file-root"), std::string::npos) << onFile.ListError;
}

// Read-only bits between an SFTP and an FTP side: an upload and an attribute row bring them to
// the FTP server, and a download staged through a local file brings one back to the SFTP side.
TEST_F(UpdateSftp, ReadOnlyBitsSettleBetweenSftpAndFtp)
{
    auto readOnly = [](const std::string& path) {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
    };
    const std::string a = server.Root() + "/a";
    FtpServer ftp;
    const std::string f = ftp.Root() + "/f";
    for (const auto& [path, mode] :
         {std::pair{a + "/new.txt", 0444}, std::pair{a + "/same.txt", 0444}, std::pair{f + "/same.txt", 0644}}) {
        PutAt(path, "bytes", kOld);
        ::chmod(path.c_str(), static_cast<mode_t>(mode));
    }
    UpdateHarness h(server.Location(a), ftp.Location("/f"));
    ASSERT_EQ(h.Compare(), 2u) << h.engine.ErrorText;
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_TRUE(readOnly(f + "/new.txt"));
    EXPECT_TRUE(readOnly(f + "/same.txt"));
    EXPECT_EQ(h.Compare(), 0u);
    PutAt(f + "/back.txt", "bytes", kOld);
    ::chmod((f + "/back.txt").c_str(), 0444);
    ASSERT_EQ(h.Compare(), 1u);
    h.Update(kn::TKNAction::RightToLeft, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_TRUE(readOnly(a + "/back.txt"));
    EXPECT_EQ(h.Compare(), 0u);
}

// Servers that accept permission bits and keep their own (an SFTP server ignoring SETSTAT
// modes, an FTP server answering SITE CHMOD without effect): the change (or upload) that finds
// it out, and the rest of the run, are no failure; the side says so once, and the comparison
// after it has no permission difference there, so a second forced update does nothing. The
// SFTP side records it beside the known servers: a later run's comparison shows no row either,
// until a file's bits are kept as asked again.
TEST(UpdateModesNotKept, AForcedRunEndsCleanAndTheServerIsRemembered)
{
    ProgramFolderHere home;
    auto sshd = [] {
        SshServer::Options options;
        options.Subsystem = SshServer::WrappedServer("--ignore-modes");
        auto server = std::make_shared<SshServer>(options);
        server->TrustHost();
        const std::string folder = server->Root() + "/site";
        return std::tuple{std::shared_ptr<void>(server), folder, server->Location(folder)};
    };
    auto pyftpdlib = [] {
        FtpServer::Options options;
        options.IgnoreChmod = true;
        auto server = std::make_shared<FtpServer>(options);
        return std::tuple{std::shared_ptr<void>(server), server->Root() + "/site", server->Location("/site")};
    };
    for (const auto& serve : {std::function(sshd), std::function(pyftpdlib)}) {
        const auto [server, remote, location] = serve();
        TempDir dir;
        for (const char* name : {"ro1.txt", "ro2.txt", "new-ro.txt"}) {
            PutAt(dir / "L/" + name, "bytes", kOld);
            ::chmod((dir / "L/" + name).c_str(), 0444);
        }
        PutAt(remote + "/ro1.txt", "bytes", kOld);
        PutAt(remote + "/ro2.txt", "bytes", kOld);
        UpdateHarness h(dir / "L", location);
        std::vector<std::string> notices;
        h.engine.OnNotice = [&](void*, const std::string& text) { notices.push_back(text); };
        ASSERT_EQ(h.Compare(), 3u) << location << h.engine.ErrorText;
        h.Update(kn::TKNAction::LeftToRight, true);
        EXPECT_EQ(h.errors, std::vector<std::string>{}) << location;
        EXPECT_EQ(notices.size(), 1u) << location;
        EXPECT_EQ(h.engine.LastUpdate().Done.AttributeChanges, 0) << location;
        EXPECT_EQ(h.engine.LastUpdate().Done.FilesToCopy, 1) << location;
        EXPECT_EQ(ReadFile(remote + "/new-ro.txt"), "bytes") << location;
        EXPECT_EQ(h.Compare(), 0u) << location << " lists no row for the bits";
        h.progress.clear();
        h.Update(kn::TKNAction::LeftToRight, true);
        EXPECT_EQ(h.progress, std::vector<std::string>{}) << location << " has nothing left to do";
        const bool remembered = location.rfind("sftp:", 0) == 0;
        UpdateHarness later(dir / "L", location);
        EXPECT_EQ(later.Compare(), remembered ? 0u : 3u) << location;
    }
    // A server found to keep them again by a file whose bits it kept as asked.
    SshServer server;
    server.TrustHost();
    const std::string remote = server.Root() + "/site";
    TempDir dir;
    PutAt(dir / "L/ro.txt", "bytes", kOld);
    ::chmod((dir / "L/ro.txt").c_str(), 0444);
    PutAt(remote + "/ro.txt", "bytes", kOld);
    std::string error;
    kn::TKNServerKeeps none;
    none.Modes = false;
    none.ShownModes = {0644};
    const std::string key = "sftp://" + server.User() + "@127.0.0.1:" + std::to_string(server.Port());
    ASSERT_TRUE(kn::RecordServerKeeps(key, none, error)) << error;
    UpdateHarness h(dir / "L", server.Location(remote));
    EXPECT_EQ(h.Compare(), 0u) << "the record holds";
    PutAt(dir / "L/new.txt", "bytes", kOld);
    ::chmod((dir / "L/new.txt").c_str(), 0400);
    ASSERT_EQ(h.Compare(), 1u);
    h.Update(kn::TKNAction::LeftToRight, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(kn::RecordedServerKeeps(key).Modes, true) << "the record is gone";
    UpdateHarness later(dir / "L", server.Location(remote));
    EXPECT_EQ(later.Compare(), 1u) << "ro.txt's bits differ again";
}
