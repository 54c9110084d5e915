// kestrune-cli trust: shows the certificate of an FTP-over-TLS server and records its
// fingerprint in known_servers, so that later connections accept exactly that certificate.
#include <cstdio>
#include <iostream>

#include "app/cli/cli_command.h"
#include "app/cli/cli_trust_sftp.h"
#include "app/cli/cli_usage.h"
#include "engine/kn_unitCompare.h"
#include "engine/kn_unitSideRegistry.h"
#include "ftp/kn_unitFtpTrust.h"
#include "tls/kn_unitKnownServers.h"

namespace {

const char* const TrustUsage =
    "Usage: kestrune-cli trust [--yes] [--config-dir DIR] ftps://[user@]host[:port][/path]\n"
    "       kestrune-cli trust [--yes] sftp://[user@]host[:port]\n"
    "Connects, shows the server's certificate fingerprint (SHA-256) and, once you answer \"y\"\n"
    "(or at once with --yes), records it in the file known_servers beside the configuration\n"
    "file. A fingerprint that differs from the recorded one is shown with a warning first.\n"
    "For an SFTP server, the host key is shown and recorded in ~/.ssh/known_hosts; a key that\n"
    "differs from the recorded one is never replaced.\n";

int Usage(const std::string& problem)
{
    return cli::UsageError("trust", problem);
}

bool Confirmed()
{
    std::printf("Trust this certificate? [y/N] ");
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes";
}

int RunTrust(std::vector<std::string> args)
{
    bool yes = false;
    std::string location;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(TrustUsage, stdout);
            return cli::ExitOk;
        }
        if (arg == "--yes")
            yes = true;
        else if (location.empty() && arg.rfind("-", 0) != 0)
            location = arg;
        else
            return Usage("unexpected argument \"" + kn::HideLocationPasswords(arg) + "\"");
    }
    if (location.empty()) return Usage("give the location of the server");
    switch (kn::ServerTrustOf(location)) {
        case kn::TKNServerTrust::HostKey:
            return cli::TrustSftpLocation(location, yes);
        case kn::TKNServerTrust::None:
            return Usage("only ftps:// locations use certificates");
        case kn::TKNServerTrust::Certificate:
            break;
    }
    try {
        const kn::TKNFtpCertificate certificate = kn::ReadFtpCertificate(location);
        const std::string& key = certificate.ServerKey;
        std::printf("Server %s\nSHA-256 fingerprint: %s\n%s\n", key.c_str(), certificate.Fingerprint.c_str(),
                    certificate.SystemTrusted ? "The certificate passes the system's trust."
                                              : ("Not trusted: " + certificate.Problem).c_str());
        if (certificate.Recorded == certificate.Fingerprint) {
            std::printf("This fingerprint is already trusted.\n");
            return cli::ExitOk;
        }
        if (certificate.Changed())
            std::printf("WARNING: you trusted another certificate for this server: %s\n", certificate.Recorded.c_str());
        if (!yes && !Confirmed()) {
            std::printf("Nothing recorded.\n");
            return cli::ExitFound;
        }
        std::string error;
        if (!kn::RecordFingerprint(key, certificate.Fingerprint, error)) {
            std::fprintf(stderr, "kestrune-cli trust: %s\n", error.c_str());
            return cli::ExitFound;
        }
        std::printf("Recorded in %s\n", kn::KnownServersFile().c_str());
        return cli::ExitOk;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrune-cli trust: %s\n", kn::HideLocationPasswords(e.what()).c_str());
        return cli::ExitFound;
    }
}

const cli::CliCommandRegistration trustCommand("trust", "record the certificate of an FTP-over-TLS server as trusted",
                                               RunTrust);

}  // namespace
