// kestrune-cli trust [--yes] sftp://host[:port]: the host key of an SFTP server, recorded in
// the user's known_hosts in the usual format so that ssh and this program both trust it.
#include "app/cli/cli_trust_sftp.h"

#include <cstdio>
#include <iostream>

#include "app/cli/cli_command.h"
#include "engine/kn_unitCompare.h"
#include "sftp/kn_unitSftpSession.h"

namespace cli {

namespace {

const char* const TrustUsage =
    "Usage: kestrune-cli trust [--yes] sftp://[user@]host[:port]\n"
    "Shows the server's host key and records it in ~/.ssh/known_hosts (asking first unless\n"
    "--yes is given). A key that differs from the recorded one is never replaced.\n";

bool AnsweredYes()
{
    std::fputs("Record this key? [y/N] ", stdout);
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::fputs("\n", stdout);
        return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes";
}

int RunTrust(std::vector<std::string> args)
{
    bool yes = false;
    std::string location;
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(TrustUsage, stdout);
            return ExitOk;
        }
        if (arg == "--yes" || arg == "-y")
            yes = true;
        else if (location.empty() && arg.rfind("-", 0) != 0)
            location = arg;
        else {
            std::fprintf(stderr, "kestrune-cli trust: unexpected argument \"%s\"\n%s",
                         kn::SftpDisplayLocation(arg).c_str(), TrustUsage);
            return ExitUsage;
        }
    }
    if (!kn::IsSftpPath(location)) {
        std::fprintf(stderr, "kestrune-cli trust: name an sftp:// location\n%s", TrustUsage);
        return ExitUsage;
    }
    return TrustSftpLocation(location, yes);
}

const CliCommandRegistration trustCommand("trust", "record the host key of an SFTP server", RunTrust);

}  // namespace

int TrustSftpLocation(const std::string& location, bool yes)
{
    try {
        kn::TKNSftpHostKey key = kn::ReadSftpHostKey(location);
        if (key.Known) {
            std::printf("The key of %s (%s) is already recorded.\n", key.Label.c_str(), key.Fingerprint.c_str());
            return ExitOk;
        }
        if (!key.Changed) std::printf("The host %s has the key %s.\n", key.Label.c_str(), key.Fingerprint.c_str());
        if (!key.Changed && !yes && !AnsweredYes()) {
            std::fputs("Nothing recorded.\n", stdout);
            return ExitFound;
        }
        key = kn::TrustSftpHost(location);
        std::printf("Recorded the key of %s in %s/known_hosts.\n", key.Label.c_str(), kn::SshFolder().c_str());
        return ExitOk;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrune-cli trust: %s\n", e.what());
        return ExitFound;
    }
}

}  // namespace cli
