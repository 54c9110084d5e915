// kestrune-cli against a real FTP server on loopback: a server folder that cannot be listed
// never makes an update delete the local side, and no output shows a password.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

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

// Every line a run prints names the user, never the password: operations, dry-run
// descriptions, follow-up rows, progress, refusals and errors.
TEST(CliFtp, NoOutputShowsThePassword)
{
    FtpServer::Options options;
    options.Password = "Pw-7731-never-shown";
    FtpServer server(options);
    MakeDirs(server.Root() + "/www/taken");
    WriteFile(server.Root() + "/www/old.txt", "old");
    TempDir dir;
    const std::string site = dir / "site";
    WriteFile(site + "/index.html", "local");
    WriteFile(site + "/taken", "a file where the server has a folder");
    const std::string www = server.Location("/www");
    const std::vector<std::vector<std::string>> runs = {
        {"compare", site, www},
        {"update", "--dry-run", "--force", "--action", "left-to-right", site, www},
        {"update", "--force", "--action", "left-to-right", site, www},
        {"update", "--action", "right-to-left", site, server.Location("/nowhere")},
        {"compare", site, "ftp://tester:" + options.Password + "@127.0.0.1:99999/"},
    };
    bool sawUser = false;
    for (const auto& args : runs) {
        auto r = RunCli(args);
        const std::string all = r.out + r.err;
        EXPECT_EQ(all.find(options.Password), std::string::npos) << args[0] << ":\n" << all;
        sawUser = sawUser || all.find("ftp://tester@127.0.0.1:") != std::string::npos;
    }
    EXPECT_TRUE(sawUser) << "locations are still shown, with the user";
}

// trust records the fingerprint beside the configuration; comparisons then accept exactly that
// certificate, and a recorded one that differs is refused, never replaced.
TEST(CliFtp, TrustRecordsTheServersFingerprint)
{
    TempDir certDir, config, dir;
    const std::string fingerprint = MakeCertificate(certDir.path(), "kestrune-test.invalid");
    FtpServer::Options options;
    options.TlsCert = certDir / "cert.pem";
    options.TlsKey = certDir / "key.pem";
    FtpServer server(options);
    WriteFile(server.Root() + "/www/a.txt", "a");
    WriteFile(dir / "site/a.txt", "a");
    const std::string www = server.Location("/www"), key = "127.0.0.1:" + std::to_string(server.Port());
    const std::vector<std::string> compare = {"compare", "--config-dir", config.path(), dir / "site", www};

    auto refused = RunCli(compare);
    EXPECT_EQ(refused.status, 2) << refused.out << refused.err;
    EXPECT_NE(refused.err.find(fingerprint), std::string::npos) << refused.err;

    auto trusted = RunCli({"trust", "--yes", "--config-dir", config.path(), www});
    EXPECT_EQ(trusted.status, 0) << trusted.err;
    EXPECT_NE(trusted.out.find(fingerprint), std::string::npos) << trusted.out;
    EXPECT_EQ(ReadFile(config / "known_servers"), key + " " + fingerprint + "\n");
    auto accepted = RunCli(compare);
    EXPECT_NE(accepted.err.find("Found"), std::string::npos) << accepted.err;
    EXPECT_EQ(accepted.err.find("not trusted"), std::string::npos) << accepted.err;

    const std::string other = key + " sha256:" + std::string(64, 'a') + "\n";
    WriteFile(config / "known_servers", other);
    auto changed = RunCli(compare);
    EXPECT_NE(changed.err.find("WARNING: the certificate of " + key), std::string::npos) << changed.err;
    EXPECT_EQ(ReadFile(config / "known_servers"), other) << "never replaced silently";
    auto unanswered = RunCli({"trust", "--config-dir", config.path(), www});  // standard input is closed
    EXPECT_NE(unanswered.out.find("WARNING: another fingerprint"), std::string::npos) << unanswered.out;
    EXPECT_EQ(ReadFile(config / "known_servers"), other);
}

// The environment without a way to a D-Bus session: no secret store can answer.
class NoDesktopSession {
public:
    NoDesktopSession()
    {
        for (const char* name : kNames)
            if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
        for (const char* name : kNames) unsetenv(name);
    }
    ~NoDesktopSession()
    {
        for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
    }

private:
    static constexpr const char* kNames[] = {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "XDG_RUNTIME_DIR"};
    std::vector<std::pair<std::string, std::string>> saved_;
};

// A location with a user and no password takes KESTRUNE_PASSWORD, so that the password never
// stands on the command line; without it, without a secret store (the run says so) and without
// a terminal to ask on, the login fails.
TEST(CliFtp, ThePasswordComesFromTheEnvironmentAndIsNeverPrinted)
{
    FtpServer::Options options;
    options.Password = "Env-Pw-5521";
    FtpServer server(options);
    WriteFile(server.Root() + "/www/a.txt", "a");
    TempDir dir;
    MakeDirs(dir / "site");
    std::string www = server.Location("/www");
    www.erase(www.find(":" + options.Password), options.Password.size() + 1);  // ftp://tester@127.0.0.1:PORT/www
    const auto refused = [&] {
        NoDesktopSession session;
        return RunCli({"compare", dir / "site", www});
    }();
    EXPECT_EQ(refused.status, 2) << refused.err;
    EXPECT_NE(refused.err.find("no secret store is reachable"), std::string::npos) << refused.err;
    setenv("KESTRUNE_PASSWORD", options.Password.c_str(), 1);
    auto logged = RunCli({"update", "--action", "right-to-left", dir / "site", www});
    unsetenv("KESTRUNE_PASSWORD");
    EXPECT_EQ(logged.status, 0) << logged.err;
    EXPECT_EQ(ReadFile(dir / "site/a.txt"), "a");
    EXPECT_EQ((logged.out + logged.err).find(options.Password), std::string::npos) << logged.out << logged.err;
}
