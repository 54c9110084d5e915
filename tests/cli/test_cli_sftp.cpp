// kestrune-cli with SFTP sides against a real sshd on loopback (trusting the server: see
// test_cli_trust.cpp): a refused login never prints the password.
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
