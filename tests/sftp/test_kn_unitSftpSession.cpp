// SFTP sessions against a real sshd on loopback: host keys (unknown, recorded, changed), the
// logins (the run's key, a refused key, a wrong password), and listings (types, links, names
// that could reach outside the folder, a path that is a file).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "sftp/kn_unitSftpSession.h"
#include "side/kn_unitSideAsk.h"
#include "tests/common/sshd_server.h"
#include "tests/common/temp_tree.h"

using namespace testutil;

namespace {

std::string ErrorOfOpen(const std::string& location)
{
    kn::TKNSftpSession session;
    try {
        session.Open(location);
    } catch (const kn::TKNSftpError& e) {
        return e.what();
    }
    return "";
}

SshServer::Options WithoutClientKey()
{
    SshServer::Options options;
    options.ClientKey = false;
    return options;
}

SshServer::Options WithPassphrase(const std::string& passphrase)
{
    SshServer::Options options;
    options.Passphrase = passphrase;
    return options;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

const kn::TKNSftpEntry* Find(const std::vector<kn::TKNSftpEntry>& entries, const std::string& name)
{
    auto it = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.Name == name; });
    return it == entries.end() ? nullptr : &*it;
}

}  // namespace

TEST(SftpHostKey, UnknownHostFailsWithTheFingerprintAndTrustRecordsIt)
{
    SshServer server;
    std::string error = ErrorOfOpen(server.Location(server.Root()));
    EXPECT_TRUE(Contains(error, "is not known")) << error;
    EXPECT_TRUE(Contains(error, server.Fingerprint())) << error;
    EXPECT_FALSE(Exists(server.ClientHome() + "/.ssh/known_hosts"));

    kn::TKNSftpHostKey key = kn::TrustSftpHost(server.Location());
    EXPECT_EQ(key.Fingerprint, server.Fingerprint());
    EXPECT_FALSE(key.Known);
    EXPECT_TRUE(
        Contains(ReadFile(server.ClientHome() + "/.ssh/known_hosts"), "[127.0.0.1]:" + std::to_string(server.Port())));
    EXPECT_EQ(ErrorOfOpen(server.Location(server.Root())), "");
    EXPECT_TRUE(kn::TrustSftpHost(server.Location()).Known);
}

TEST(SftpHostKey, ChangedKeyFailsLoudlyAndIsNeverReplaced)
{
    SshServer server;
    server.TrustOtherKey();
    const std::string knownHosts = server.ClientHome() + "/.ssh/known_hosts", before = ReadFile(knownHosts);
    std::string error = ErrorOfOpen(server.Location(server.Root()));
    EXPECT_TRUE(Contains(error, "HAS CHANGED")) << error;
    EXPECT_TRUE(Contains(error, server.Fingerprint())) << error;
    EXPECT_THROW(kn::TrustSftpHost(server.Location()), kn::TKNSftpError);
    EXPECT_EQ(ReadFile(knownHosts), before);
}

TEST(SftpLogin, RefusedKeyAndWrongPasswordFailWithoutShowingThePassword)
{
    SshServer server(WithoutClientKey());
    server.TrustHost();
    std::string refused = ErrorOfOpen(server.Location(server.Root()));
    EXPECT_TRUE(Contains(refused, "refused the login")) << refused;
    EXPECT_TRUE(Contains(refused, "keys")) << refused;

    std::string location = "sftp://" + server.User() + ":Wr0ngPass@127.0.0.1:" + std::to_string(server.Port()) + "/tmp";
    std::string wrong = ErrorOfOpen(location);
    EXPECT_TRUE(Contains(wrong, "refused the login")) << wrong;
    EXPECT_TRUE(Contains(wrong, "password")) << wrong;
    EXPECT_FALSE(Contains(wrong, "Wr0ngPass")) << wrong;
}

TEST(SftpLogin, KeyWithPassphraseIsSkippedWithANote)
{
    // The server accepts the key, so only its passphrase keeps it out.
    SshServer server(WithPassphrase("a phrase"));
    server.TrustHost();
    std::string error = ErrorOfOpen(server.Location(server.Root()));
    EXPECT_TRUE(Contains(error, "refused the login")) << error;
    EXPECT_TRUE(Contains(error, "has a passphrase; it was skipped")) << error;
}

TEST(SftpSession, LoginFolderAndPathsUnderTheRoot)
{
    SshServer server;
    server.TrustHost();
    kn::TKNSftpSession session;
    session.Open(server.Location());
    std::string home = session.RemotePath(server.Location());
    EXPECT_FALSE(home.empty());
    EXPECT_EQ(home.front(), '/');
    EXPECT_EQ(session.RemotePath(server.Location() + "/a\\b.txt"), (home == "/" ? "" : home) + "/a/b.txt");

    kn::TKNSftpSession rooted;
    rooted.Open(server.Location(server.Root() + "/"));
    EXPECT_EQ(rooted.RemotePath(server.Location(server.Root()) + "/x"), server.Root() + "/x");
}

TEST(SftpSession, ListsTypesSizesTimesAndLinksAsALocalScanDoes)
{
    SshServer server;
    server.TrustHost();
    const std::string root = server.Root();
    WriteFile(root + "/a.txt", "12345");
    SetMTime(root + "/a.txt", 1600000001);
    ::chmod((root + "/a.txt").c_str(), 0640);
    MakeDirs(root + "/sub");
    WriteFile(root + "/sub/inner.txt", "x");
    ASSERT_EQ(::symlink((root + "/sub").c_str(), (root + "/to-sub").c_str()), 0);
    ASSERT_EQ(::symlink((root + "/missing").c_str(), (root + "/dangling").c_str()), 0);
    WriteFile(root + "/bad\nname", "x");

    kn::TKNSftpSession session;
    session.Open(server.Location(root));
    std::vector<kn::TKNSftpEntry> entries;
    std::string reason;
    ASSERT_TRUE(session.List(root, entries, reason)) << reason;
    ASSERT_EQ(entries.size(), 3u);
    const kn::TKNSftpEntry* file = Find(entries, "a.txt");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Kind, kn::TKNSftpEntry::TKind::File);
    EXPECT_EQ(file->Size, 5);
    EXPECT_EQ(file->MTime, 1600000001);
    EXPECT_EQ(file->Permissions & 07777, 0640u);
    const kn::TKNSftpEntry* link = Find(entries, "to-sub");
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->Link);
    EXPECT_EQ(link->Kind, kn::TKNSftpEntry::TKind::Folder);
    EXPECT_EQ(Find(entries, "dangling"), nullptr);
    EXPECT_EQ(Find(entries, "bad\nname"), nullptr);

    EXPECT_FALSE(session.List(root + "/a.txt", entries, reason));
    EXPECT_TRUE(Contains(reason, "not a folder")) << reason;
    EXPECT_FALSE(session.List(root + "/nowhere", entries, reason));
    EXPECT_FALSE(reason.empty());
}

TEST(SftpSession, ListingAfterTheServerVanishedThrows)
{
    SshServer server;
    server.TrustHost();
    kn::TKNSftpSession session;
    session.Open(server.Location(server.Root()));
    server.Vanish();
    std::vector<kn::TKNSftpEntry> entries;
    std::string reason;
    EXPECT_THROW(session.List(server.Root(), entries, reason), kn::TKNSftpError);
}

TEST(SftpLogin, AnInstalledQuestionIsAskedForThePasswordOnce)
{
    SshServer server(WithoutClientKey());
    server.TrustHost();
    std::vector<std::string> prompts;
    kn::SetSideAsk([&](const std::string& prompt, std::string& answer) {
        prompts.push_back(prompt);
        answer = "Typed-Wrong-1";
        return true;
    });
    std::string error = ErrorOfOpen(server.Location(server.Root()));
    std::string second = ErrorOfOpen(server.Location(server.Root()));
    kn::SetSideAsk(nullptr);
    ASSERT_EQ(prompts.size(), 2u) << "a refused password is not kept";
    EXPECT_EQ(prompts[0], "Password for " + server.User() + "@[127.0.0.1]:" + std::to_string(server.Port()) + ":");
    EXPECT_TRUE(Contains(error, "the password typed")) << error;
    EXPECT_FALSE(Contains(error + second, "Typed-Wrong-1")) << error;

    // With a password in the location, nothing is asked.
    prompts.clear();
    kn::SetSideAsk([&](const std::string& prompt, std::string&) {
        prompts.push_back(prompt);
        return false;
    });
    ErrorOfOpen("sftp://" + server.User() + ":x@127.0.0.1:" + std::to_string(server.Port()) + "/");
    kn::SetSideAsk(nullptr);
    EXPECT_TRUE(prompts.empty());
}
