// kestrune-cli with SFTP sides against a real sshd on loopback: recording a host key with
// "trust" (asked, refused, --yes, changed), then comparing with the server; a refused login
// never prints the password.
#include <gtest/gtest.h>

#include "tests/cli/cli_run.h"
#include "tests/common/sshd_server.h"
#include "tests/common/temp_tree.h"

using clitest::RunCli;
using namespace testutil;

namespace {

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(CliTrust, AsksFirstRecordsWithYesAndThenCompares)
{
    SshServer server;
    const std::string knownHosts = server.ClientHome() + "/.ssh/known_hosts";
    TwoTrees t;
    t.File(t.left, "same.txt", "same");
    t.File(server.Root(), "site/same.txt", "same");
    const std::string site = server.Location(server.Root() + "/site");

    auto unknown = RunCli({"compare", t.left, site});
    EXPECT_EQ(unknown.status, 2) << unknown.err;
    EXPECT_TRUE(Contains(unknown.err, server.Fingerprint())) << unknown.err;

    auto asked = RunCli({"trust", server.Location()});  // standard input is closed: no answer
    EXPECT_EQ(asked.status, 1);
    EXPECT_TRUE(Contains(asked.out, server.Fingerprint())) << asked.out;
    EXPECT_TRUE(Contains(asked.out, "Nothing recorded")) << asked.out;
    EXPECT_FALSE(Exists(knownHosts));

    auto yes = RunCli({"trust", "--yes", server.Location()});
    EXPECT_EQ(yes.status, 0) << yes.err;
    EXPECT_TRUE(Contains(ReadFile(knownHosts), "[127.0.0.1]:" + std::to_string(server.Port())));
    auto again = RunCli({"trust", server.Location()});
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(Contains(again.out, "trusted already")) << again.out;

    auto compared = RunCli({"compare", t.left, site});
    EXPECT_EQ(compared.status, 0) << compared.err << compared.out;
}

TEST(CliTrust, AChangedKeyIsNeverReplaced)
{
    SshServer server;
    server.TrustOtherKey();
    const std::string knownHosts = server.ClientHome() + "/.ssh/known_hosts", before = ReadFile(knownHosts);
    auto r = RunCli({"trust", "--yes", server.Location()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "HAS CHANGED")) << r.err;
    EXPECT_EQ(ReadFile(knownHosts), before);
    EXPECT_EQ(RunCli({"trust", "--yes", "ftp://127.0.0.1"}).status, 2);
}

TEST(CliSftp, ARefusedLoginNeverPrintsThePassword)
{
    SshServer::Options options;
    options.ClientKey = false;
    SshServer server(options);
    server.TrustHost();
    TwoTrees t;
    t.File(t.left, "a.txt", "a");
    const std::string location =
        "sftp://" + server.User() + ":Sekrit-9@127.0.0.1:" + std::to_string(server.Port()) + server.Root();
    auto r = RunCli({"compare", t.left, location});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(Contains(r.err, "refused the login")) << r.err;
    EXPECT_FALSE(Contains(r.err + r.out, "Sekrit-9")) << r.err << r.out;
}
