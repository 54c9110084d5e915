#include "tls/kn_unitKnownServers.h"

#include <sstream>
#include <vector>

#include "framework/vex_unitLineFile.h"
#include "framework/vex_unitProgramFolder.h"

namespace kn {

namespace {

// The fingerprint of `line` when it records `serverKey`.
bool Records(const std::string& line, const std::string& serverKey, std::string& fingerprint)
{
    std::istringstream fields(line);
    std::string key, value;
    if (!(fields >> key >> value) || key != serverKey || value.rfind("sha256:", 0) != 0) return false;
    fingerprint = value;
    return true;
}

}  // namespace

std::string KnownServersFile()
{
    return vex::ProgramFolder() + "/known_servers";
}

std::string RecordedFingerprint(const std::string& serverKey)
{
    std::string fingerprint;
    for (const std::string& line : vex::ReadLines(KnownServersFile()))
        if (Records(line, serverKey, fingerprint)) return fingerprint;
    return {};
}

bool RecordFingerprint(const std::string& serverKey, const std::string& fingerprint, std::string& error)
{
    const std::string file = KnownServersFile();
    std::string text, unused;
    for (const std::string& line : vex::ReadLines(file))
        if (!Records(line, serverKey, unused)) text += line + "\n";
    text += serverKey + " " + fingerprint + "\n";
    return vex::ReplaceFileText(file, text, error);
}

}  // namespace kn
