#include "side/kn_unitServerKeeps.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <sstream>

#include "framework/vex_unitLineFile.h"
#include "framework/vex_unitProgramFolder.h"

namespace kn {

namespace {

constexpr const char* kNoModes = "no-modes";

// Writers of one process one at a time; another process's line may still be lost to a race,
// and is then found again by its next run.
std::mutex writing;

// The record of `line` when it is one for `server`.
bool Records(const std::string& line, const std::string& server, TKNServerKeeps& keeps)
{
    std::istringstream fields(line);
    std::string key, fact, shown;
    if (!(fields >> key >> fact) || key != server || fact != kNoModes) return false;
    keeps.Modes = false;
    fields >> shown;
    std::istringstream bits(shown);
    for (std::string one; std::getline(bits, one, ',');)
        if (!one.empty()) keeps.ShownModes.push_back(static_cast<uint32_t>(std::strtoul(one.c_str(), nullptr, 8)));
    return true;
}

std::string LineOf(const std::string& server, const TKNServerKeeps& keeps)
{
    std::string line = server + " " + kNoModes + " ";
    for (std::size_t i = 0; i < keeps.ShownModes.size(); ++i) {
        std::ostringstream octal;
        octal << std::oct << (keeps.ShownModes[i] & 07777);
        line += (i ? "," : "") + octal.str();
    }
    return line;
}

}  // namespace

bool TKNServerKeeps::ShowsModesKept(uint32_t asked, uint32_t kept) const
{
    asked &= 07777;
    return asked == (kept & 07777) && std::find(ShownModes.begin(), ShownModes.end(), asked) == ShownModes.end();
}

std::string ServerKeepsFile()
{
    return vex::ProgramFolder() + "/server_keeps";
}

TKNServerKeeps RecordedServerKeeps(const std::string& server)
{
    TKNServerKeeps keeps;
    for (const std::string& line : vex::ReadLines(ServerKeepsFile()))
        if (Records(line, server, keeps)) break;
    return keeps;
}

bool RecordServerKeeps(const std::string& server, const TKNServerKeeps& keeps, std::string& error)
{
    std::lock_guard<std::mutex> lock(writing);
    const std::string file = ServerKeepsFile();
    std::string text;
    for (const std::string& line : vex::ReadLines(file)) {
        TKNServerKeeps unused;
        if (!Records(line, server, unused)) text += line + "\n";
    }
    if (!keeps.Modes) text += LineOf(server, keeps) + "\n";
    return vex::ReplaceFileText(file, text, error);
}

}  // namespace kn
