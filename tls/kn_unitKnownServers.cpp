#include "tls/kn_unitKnownServers.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "framework/vex_unitProgramFolder.h"

namespace kn {

namespace {

std::vector<std::string> ReadLines(const std::string& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

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
    for (const std::string& line : ReadLines(KnownServersFile()))
        if (Records(line, serverKey, fingerprint)) return fingerprint;
    return {};
}

bool RecordFingerprint(const std::string& serverKey, const std::string& fingerprint, std::string& error)
{
    const std::string file = KnownServersFile();
    std::string text, unused;
    for (const std::string& line : ReadLines(file))
        if (!Records(line, serverKey, unused)) text += line + "\n";
    text += serverKey + " " + fingerprint + "\n";
    const std::string temp = file + ".new-" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            error = "Cannot write \"" + temp + "\": " + std::strerror(errno);
            ::unlink(temp.c_str());
            return false;
        }
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        error = "Cannot write \"" + file + "\": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace kn
