// kestrune-cli against a real FTP server on loopback: a server folder that cannot be listed
// never makes an update delete the local side.
#include <gtest/gtest.h>

#include "tests/cli/cli_run.h"
#include "tests/common/ftp_server.h"
#include "tests/common/temp_tree.h"

using clitest::RunCli;
using namespace testutil;

TEST(CliFtp, AMistypedServerPathDeletesNothingLocally)
{
    FtpServer server;
    WriteFile(server.Root() + "/www/index.html", "server copy");
    TempDir dir;
    const std::string site = dir / "site";
    WriteFile(site + "/index.html", "local copy");
    WriteFile(site + "/img/logo.png", "logo");
    auto r = RunCli({"update", site, server.Location("/wwww"), "--action", "right-to-left", "--force"});
    EXPECT_NE(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("550"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(site + "/index.html"), "local copy");
    EXPECT_EQ(ReadFile(site + "/img/logo.png"), "logo");
}
