// SFTP transfers against a real sshd on loopback: what a whole transfer leaves (content, time,
// mode, no temporary name) and what a stopped one leaves (the old file, nothing half-done).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "sftp/kn_unitSftpTransfer.h"
#include "tests/common/sshd_server.h"
#include "tests/common/temp_tree.h"

using namespace testutil;

namespace {

struct Connected {
    SshServer server;
    kn::TKNSftpSession session;
    Connected()
    {
        server.TrustHost();
        session.Open(server.Location(server.Root()));
    }
};

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

struct stat StatOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

}  // namespace

TEST(SftpTransfer, UploadReplacesWholeWithTimeAndMode)
{
    Connected c;
    TempDir local;
    const std::string content(1000003, 'u');
    WriteFile(local / "src.bin", content);
    WriteFile(c.server.Root() + "/up/dest.bin", "old");
    std::string reason;
    ASSERT_TRUE(kn::SftpUpload(c.session, local / "src.bin", c.server.Root() + "/up/dest.bin", 1600000003, 0604,
                               nullptr, reason))
        << reason;
    EXPECT_EQ(ReadFile(c.server.Root() + "/up/dest.bin"), content);
    struct stat st = StatOf(c.server.Root() + "/up/dest.bin");
    EXPECT_EQ(st.st_mtim.tv_sec, 1600000003);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(Names(c.server.Root() + "/up"), std::vector<std::string>{"dest.bin"});
}

TEST(SftpTransfer, StoppedUploadAndDownloadLeaveTheOldFiles)
{
    Connected c;
    TempDir local;
    WriteFile(local / "big.bin", std::string(4 * 1048576, 'b'));
    WriteFile(c.server.Root() + "/s/dest.bin", "old remote");
    auto stopAfterFirstBlock = [](int64_t done) { return done == 0; };
    std::string reason;
    EXPECT_FALSE(kn::SftpUpload(c.session, local / "big.bin", c.server.Root() + "/s/dest.bin", 1600000000, 0644,
                                stopAfterFirstBlock, reason));
    EXPECT_EQ(reason, kn::kSftpStopped);
    EXPECT_EQ(Names(c.server.Root() + "/s"), std::vector<std::string>{"dest.bin"});
    EXPECT_EQ(ReadFile(c.server.Root() + "/s/dest.bin"), "old remote");

    WriteFile(c.server.Root() + "/s/big.bin", std::string(4 * 1048576, 'r'));
    WriteFile(local / "d/dest.bin", "old local");
    EXPECT_FALSE(kn::SftpDownload(c.session, c.server.Root() + "/s/big.bin", local.path(), local / "d/dest.bin",
                                  stopAfterFirstBlock, reason));
    EXPECT_EQ(reason, kn::kSftpStopped);
    EXPECT_EQ(Names(local / "d"), std::vector<std::string>{"dest.bin"});
    EXPECT_EQ(ReadFile(local / "d/dest.bin"), "old local");
}

TEST(SftpTransfer, DownloadKeepsTimeAndModeAndEveryByte)
{
    Connected c;
    TempDir local;
    std::string content(3 * 1048576 + 17, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 251);
    WriteFile(c.server.Root() + "/src.bin", content);
    SetMTime(c.server.Root() + "/src.bin", 1500000005);
    ::chmod((c.server.Root() + "/src.bin").c_str(), 0600);
    std::vector<int64_t> progress;
    std::string reason;
    ASSERT_TRUE(kn::SftpDownload(
        c.session, c.server.Root() + "/src.bin", local.path(), local / "copy.bin",
        [&](int64_t done) {
            progress.push_back(done);
            return true;
        },
        reason))
        << reason;
    EXPECT_EQ(ReadFile(local / "copy.bin"), content);
    struct stat st = StatOf(local / "copy.bin");
    EXPECT_EQ(st.st_mtim.tv_sec, 1500000005);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), static_cast<int64_t>(content.size()));
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST(SftpTransfer, ReplaceOverAnExistingFileAndTemporaryNames)
{
    Connected c;
    const std::string root = c.server.Root();
    WriteFile(root + "/r/new", "new");
    WriteFile(root + "/r/old", "old");
    std::string reason;
    ASSERT_TRUE(c.session.Replace(root + "/r/new", root + "/r/old", reason)) << reason;
    EXPECT_EQ(Names(root + "/r"), std::vector<std::string>{"old"});
    EXPECT_EQ(ReadFile(root + "/r/old"), "new");
    EXPECT_FALSE(c.session.Replace(root + "/r/missing", root + "/r/old", reason));
    EXPECT_EQ(ReadFile(root + "/r/old"), "new");

    const std::string temp = kn::SftpTemporaryName("/srv/www/index.html");
    EXPECT_EQ(temp.rfind("/srv/www/.kn-index.html-", 0), 0u) << temp;
    EXPECT_EQ(temp.size(), std::string("/srv/www/.kn-index.html-").size() + 6);
}
