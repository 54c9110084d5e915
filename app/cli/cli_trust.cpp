// kestrune-cli trust: shows who the server of a location is (the fingerprint of its certificate
// or host key, read without logging in) and records it as trusted where the location's kind
// keeps such records, so that later connections accept exactly that server. One command for
// every kind: the kind reads and records (engine/kn_unitServerTrust.h).
#include <cstdio>
#include <iostream>

#include "app/cli/cli_command.h"
#include "app/cli/cli_usage.h"
#include "engine/kn_unitServerTrust.h"
#include "engine/kn_unitSideRegistry.h"
#include "engine/kn_unitSideUsage.h"

namespace {

std::string TrustUsage()
{
    return "Usage: kestrune-cli trust [--yes] [--config-dir DIR] LOCATION\n"
           "Connects to the server of LOCATION (" +
           kn::TrustedSchemes() +
           ") without logging in, shows its\n"
           "fingerprint and, once you answer \"y\" (or at once with --yes), records it as trusted; the\n"
           "command says where. A server that shows another fingerprint than the one recorded is shown\n"
           "with a warning first: a certificate is replaced only on an explicit yes, a host key never\n"
           "(remove the old one from known_hosts yourself, knowing why it changed).\n";
}

int Usage(const std::string& problem)
{
    return cli::UsageError("trust", problem);
}

bool Confirmed(const std::string& question)
{
    std::printf("%s [y/N] ", question.c_str());
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::fputs("\n", stdout);
        return false;
    }
    return answer == "y" || answer == "Y" || answer == "yes";
}

int Trust(const std::string& location, bool yes)
{
    kn::TKNServerIdentity identity;
    if (!kn::ReadServerIdentity(location, identity))
        return Usage("the server of \"" + kn::HideLocationPasswords(location) + "\" has nothing to trust");
    std::printf("Server %s\nFingerprint: %s\n", identity.Label.c_str(), identity.Fingerprint.c_str());
    if (!identity.Known && !identity.Changed) std::printf("%s\n", identity.Doubt.c_str());
    if (identity.Known) {
        std::printf("This server is trusted already.\n");
        return cli::ExitOk;
    }
    if (identity.Changed)
        std::printf(
            "WARNING: another fingerprint%s is recorded for this server in %s. Someone may be posing as "
            "the server: check the new one with its operator first.\n",
            identity.Recorded.empty() ? "" : (" (" + identity.Recorded + ")").c_str(), identity.RecordFile.c_str());
    // A record the kind never replaces is not asked about: the kind says why.
    const bool ask = !identity.Changed || identity.Replaceable;
    if (ask && !yes && !Confirmed("Trust it and record it in " + identity.RecordFile + "?")) {
        std::printf("Nothing recorded.\n");
        return cli::ExitFound;
    }
    kn::TrustServer(location, identity, identity.Changed);
    std::printf("Recorded in %s\n", identity.RecordFile.c_str());
    return cli::ExitOk;
}

int RunTrust(std::vector<std::string> args)
{
    bool yes = false;
    std::string location;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(TrustUsage().c_str(), stdout);
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
    try {
        return Trust(location, yes);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrune-cli trust: %s\n", kn::HideLocationPasswords(e.what()).c_str());
        return cli::ExitFound;
    }
}

const cli::CliCommandRegistration trustCommand("trust", "record the certificate or host key of a server as trusted",
                                               RunTrust);

}  // namespace
