// The SFTP half of kestrune-cli trust: the host key of an SFTP server, recorded in the
// user's known_hosts in the usual format so that ssh and this program both trust it.
#include "app/cli/cli_trust_sftp.h"

#include <cstdio>
#include <iostream>

#include "app/cli/cli_command.h"
#include "engine/kn_unitCompare.h"
#include "sftp/kn_unitSftpSession.h"

namespace cli {

namespace {

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
