// A remote side stays in step: a tree updated to (or from) every real server the tests know
// compares equal afterwards, so a second update has nothing to do. Times come back exactly
// (MLSD, MFMT, MDTM, SFTP), and so do read-only bits (UNIX.mode, SITE CHMOD); a server that
// cannot set times or modes says so once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <tuple>

#include "ftp/kn_unitFtpLocation.h"
#include "tests/common/ftp_server.h"
#include "tests/common/sshd_server.h"
#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"

using namespace testutil;

namespace {

// Nested folders and files with odd seconds in their times, all in the past, and a dot file.
const std::vector<std::pair<std::string, int64_t>> kTree = {
    {"index.html", 1600000001},        {"css/site.css", 1600000123},    {"img/logo.png", 1600003333},
    {"docs/a/b/deep.txt", 1500000077}, {"docs/readme.txt", 1700000009}, {".htaccess", 1600000555},
};

void MakeTree(const std::string& root)
{
    for (const auto& [path, mtime] : kTree) {
        WriteFile(root + "/" + path, "content of " + path);
        SetMTime(root + "/" + path, mtime);
    }
}

int64_t MTime(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : -1;
}

struct Direction {
    const char* name;
    bool upload;  // local -> server; otherwise server -> local
};

void PrintTo(const Direction& row, std::ostream* os)
{
    *os << row.name;
}

// A server of the table, alive while `Server` lives, serving the local folder `Folder` at
// `Location`.
struct Served {
    std::shared_ptr<void> Server;
    std::string Folder, Location;
};

struct ServerKind {
    const char* name;
    std::function<Served()> start;  // null Server: the server cannot run here (the reason in Folder)
};

void PrintTo(const ServerKind& kind, std::ostream* os)
{
    *os << kind.name;
}

Served Sshd(const std::string& subsystem)
{
    SshServer::Options options;
    options.Subsystem = subsystem;
    auto server = std::make_shared<SshServer>(options);
    server->TrustHost();
    const std::string folder = server->Root() + "/www";
    return {server, folder, server->Location(folder)};
}

const ServerKind kServers[] = {
    {"Pyftpdlib",
     [] {
         auto server = std::make_shared<FtpServer>();
         return Served{server, server->Root() + "/www", server->Location("/www")};
     }},
    {"Proftpd",
     []() -> Served {
         std::string why;
         if (!ProftpdServer::Usable(why)) return {nullptr, why, ""};
         auto server = std::make_shared<ProftpdServer>();
         return Served{server, server->Root() + "/www", server->Location("/www")};
     }},
    {"SftpSshd", [] { return Sshd(""); }},
    {"SftpGesftpserver",
     []() -> Served {
         if (::access("/usr/libexec/gesftpserver", X_OK) != 0) return {nullptr, "gesftpserver is not installed", ""};
         return Sshd("/usr/libexec/gesftpserver");
     }},
    {"SftpPlain", [] { return Sshd(SshServer::WrappedServer("--cap-read 32768 --hide posix-rename@openssh.com")); }},
};

class UpdateConverge : public ::testing::TestWithParam<std::tuple<ServerKind, Direction>> {};

TEST_P(UpdateConverge, ASecondComparisonFindsNothing)
{
    const bool upload = std::get<1>(GetParam()).upload;
    const Served served = std::get<0>(GetParam()).start();
    if (!served.Server) GTEST_SKIP() << served.Folder;
    TempDir dir;
    const std::string local = dir / "site", remote = served.Folder;
    MakeTree(upload ? local : remote);
    MakeDirs(upload ? remote : local);
    UpdateHarness h(local, served.Location);
    ASSERT_EQ(h.Compare(), kTree.size() + 5) << "every file and the folders css, img, docs, docs/a, docs/a/b";
    h.Update(upload ? kn::TKNAction::LeftToRight : kn::TKNAction::RightToLeft, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    for (const auto& [path, mtime] : kTree) {
        EXPECT_EQ(ReadFile(local + "/" + path), ReadFile(remote + "/" + path)) << path;
        EXPECT_EQ(MTime(local + "/" + path), mtime) << path;
        EXPECT_EQ(MTime(remote + "/" + path), mtime) << path;
    }
    EXPECT_EQ(h.Compare(), 0u);
    h.progress.clear();
    h.Update(upload ? kn::TKNAction::LeftToRight : kn::TKNAction::RightToLeft, true);
    EXPECT_EQ(h.progress, std::vector<std::string>{}) << "nothing left to do";
}

INSTANTIATE_TEST_SUITE_P(Servers, UpdateConverge,
                         ::testing::Combine(::testing::ValuesIn(kServers),
                                            ::testing::Values(Direction{"Upload", true}, Direction{"Download", false})),
                         [](const auto& row) {
                             return std::string(std::get<0>(row.param).name) + std::get<1>(row.param).name;
                         });

TEST(UpdateFtpTimes, AServerThatSetsNoTimesIsToldOfOnce)
{
    FtpServer::Options options;
    options.NoMfmt = true;
    FtpServer server(options);
    TempDir dir;
    MakeTree(dir / "site");
    MakeDirs(server.Root() + "/www");
    UpdateHarness h(dir / "site", server.Location("/www"));
    std::vector<std::string> notices;
    h.engine.OnNotice = [&](void*, const std::string& text) { notices.push_back(text); };
    h.Compare();
    h.Update(kn::TKNAction::LeftToRight, false);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(notices, std::vector<std::string>{"The server cannot set file times; uploaded files will look newer."});
    EXPECT_EQ(ReadFile(server.Root() + "/www/index.html"), "content of index.html") << "the run went on";
}

// Read-only bits: a new file from a read-only source, a new writable one, and two pairs equal
// but for the bit, one each way. The source side of each row is named first.
struct ModeFile {
    const char* name;
    bool sourceReadOnly;
    bool onBothSides;  // the destination holds the same bytes, with the other bit
};
const ModeFile kModeFiles[] = {
    {"new-ro.txt", true, false},
    {"new-rw.txt", false, false},
    {"made-ro.txt", true, true},
    {"made-rw.txt", false, true},
};

bool ReadOnly(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

void PutWithMode(const std::string& path, bool readOnly)
{
    WriteFile(path, "bytes of a file");
    SetMTime(path, 1600000001);
    ::chmod(path.c_str(), readOnly ? 0444 : 0644);
}

// Lays out kModeFiles with `source` as the side the update reads.
void MakeModeTrees(const std::string& source, const std::string& dest)
{
    MakeDirs(source);
    MakeDirs(dest);
    for (const ModeFile& file : kModeFiles) {
        PutWithMode(source + "/" + file.name, file.sourceReadOnly);
        if (file.onBothSides) PutWithMode(dest + "/" + file.name, !file.sourceReadOnly);
    }
}

class UpdateFtpReadOnly : public ::testing::TestWithParam<Direction> {};

TEST_P(UpdateFtpReadOnly, TheBitIsCarriedAndASecondComparisonFindsNothing)
{
    const bool upload = GetParam().upload;
    FtpServer server;
    TempDir dir;
    const std::string local = dir / "site", remote = server.Root() + "/www";
    MakeModeTrees(upload ? local : remote, upload ? remote : local);
    UpdateHarness h(local, server.Location("/www"));
    ASSERT_EQ(h.Compare(), std::size(kModeFiles)) << "two new files and two whose read-only bits differ";
    h.Update(upload ? kn::TKNAction::LeftToRight : kn::TKNAction::RightToLeft, true);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    for (const ModeFile& file : kModeFiles) {
        EXPECT_EQ(ReadOnly(local + "/" + file.name), file.sourceReadOnly) << "local " << file.name;
        EXPECT_EQ(ReadOnly(remote + "/" + file.name), file.sourceReadOnly) << "server " << file.name;
    }
    EXPECT_EQ(h.Compare(), 0u);
    h.progress.clear();
    h.Update(upload ? kn::TKNAction::LeftToRight : kn::TKNAction::RightToLeft, true);
    EXPECT_EQ(h.progress, std::vector<std::string>{}) << "nothing left to do";
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdateFtpReadOnly,
                         ::testing::Values(Direction{"Upload", true}, Direction{"Download", false}),
                         [](const auto& row) { return std::string(row.param.name); });

// Between two servers the bit goes the same way: the copy and the attribute rows both land.
TEST(UpdateFtpReadOnly, FromServerToServer)
{
    FtpServer from, to;
    MakeModeTrees(from.Root() + "/www", to.Root() + "/www");
    UpdateHarness h(from.Location("/www"), to.Location("/www"));
    ASSERT_EQ(h.Compare(), std::size(kModeFiles));
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    for (const ModeFile& file : kModeFiles)
        EXPECT_EQ(ReadOnly(to.Root() + "/www/" + file.name), file.sourceReadOnly) << file.name;
    EXPECT_EQ(h.Compare(), 0u);
}

// A dry run names the bit each pair would get, under the server's shown location, and changes
// nothing.
TEST(UpdateFtpReadOnly, ADryRunTellsTheBitsAndLeavesThem)
{
    FtpServer server;
    TempDir dir;
    const std::string local = dir / "site", remote = server.Root() + "/www";
    MakeModeTrees(local, remote);
    UpdateHarness h(local, server.Location("/www"));
    std::vector<std::string> told;
    h.engine.UpdateDryRun = true;
    h.engine.OnDryRunOperation = [&](void*, const std::string& text) { told.push_back(text); };
    h.Compare();
    h.Update(kn::TKNAction::LeftToRight, true);
    const std::string shown = kn::HideFtpPasswords(server.Location("/www"));
    for (const auto& [what, name, readOnlyNow] :
         {std::tuple{"make read-only ", "/made-ro.txt", false}, std::tuple{"make writable ", "/made-rw.txt", true}}) {
        EXPECT_NE(std::find(told.begin(), told.end(), what + shown + name), told.end()) << what << name;
        EXPECT_EQ(ReadOnly(remote + name), readOnlyNow) << name << " unchanged";
    }
}

// A server without SITE CHMOD: the pairs that only need the bit are no difference for the run
// (neither done nor failed, the one that found it out included: a difference that can never be
// settled is no failure); the uploads go on and say once that the bit stays behind.
TEST(UpdateFtpReadOnly, AServerThatSetsNoModesFailsNoRowAndIsToldOfOnce)
{
    FtpServer::Options options;
    options.NoChmod = true;
    FtpServer server(options);
    TempDir dir;
    const std::string local = dir / "site", remote = server.Root() + "/www";
    MakeModeTrees(local, remote);
    PutWithMode(local + "/new-ro2.txt", true);
    UpdateHarness h(local, server.Location("/www"));
    std::vector<std::string> notices;
    h.engine.OnNotice = [&](void*, const std::string& text) { notices.push_back(text); };
    ASSERT_EQ(h.Compare(), std::size(kModeFiles) + 1);
    h.Update(kn::TKNAction::LeftToRight, true);
    EXPECT_EQ(notices, std::vector<std::string>{
                           "The server cannot set file permissions; uploaded read-only files are writable there."});
    EXPECT_EQ(h.errors, std::vector<std::string>{});
    EXPECT_EQ(h.engine.LastUpdate().Done.AttributeChanges, 0);
    EXPECT_EQ(ReadFile(remote + "/new-ro.txt"), "bytes of a file");
    EXPECT_EQ(ReadFile(remote + "/new-ro2.txt"), "bytes of a file");
}

}  // namespace

// vsftpd lists with LIST (minutes, or only the day for older files) and sets times with MDTM:
// uploads and downloads both settle.
TEST(UpdateFtpVsftpd, UploadsAndDownloadsSettle)
{
    std::string why;
    if (!VsftpdServer::Usable(why)) GTEST_SKIP() << why;
    VsftpdServer server;
    TempDir dir;
    MakeTree(dir / "site");
    MakeTree(server.Root() + "/www/copy");
    server.GiveToServer();
    for (const auto& [local, remote, direction] :
         {std::tuple{dir / "site", std::string("/www/site"), kn::TKNAction::LeftToRight},
          std::tuple{dir / "copy", std::string("/www/copy"), kn::TKNAction::RightToLeft}}) {
        MakeDirs(local);
        MakeDirs(server.Root() + remote);
        server.GiveToServer();
        UpdateHarness h(local, server.Location(remote));
        std::vector<std::string> notices;
        h.engine.OnNotice = [&](void*, const std::string& text) { notices.push_back(text); };
        ASSERT_EQ(h.Compare(), kTree.size() + 5) << remote;
        h.Update(direction, false);
        EXPECT_EQ(h.errors, std::vector<std::string>{}) << remote;
        for (const std::string& notice : notices)  // several workers list at once: never taken for hiding
            EXPECT_EQ(notice.find("does not list names that begin with"), std::string::npos) << notice;
        for (const auto& [path, mtime] : kTree) {
            EXPECT_EQ(ReadFile(local + "/" + path), "content of " + path) << path;
            EXPECT_EQ(MTime(server.Root() + remote + "/" + path), mtime) << remote << path;
            // A download takes the time the FTP side tells for the file; with LIST alone that is
            // the minute or the day until the side has seen MDTM agree with its listing.
            const int64_t step = direction == kn::TKNAction::LeftToRight ? 1 : 86400;
            EXPECT_EQ(MTime(local + "/" + path) / step, mtime / step) << remote << path;
        }
        EXPECT_EQ(h.Compare(), 0u) << remote;
    }
}
