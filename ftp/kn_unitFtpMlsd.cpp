#include "ftp/kn_unitFtpMlsd.h"

#include <cmath>
#include <string>

#include "framework/vex_unitDateTime.h"
#include "framework/vex_unitText.h"

namespace kn {

namespace {

bool Digits(std::string_view s, int& value)
{
    if (s.empty()) return false;
    value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

bool SizeValue(std::string_view s, int64_t& size)
{
    if (s.empty() || s.size() > 18) return false;
    int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    size = v;
    return true;
}

// The facts that tell whether an entry may be written, read before the entry's type is known.
struct TWriteFacts {
    bool hasPerm = false;
    std::string perm;  // upper case
    int mode = -1;     // UNIX.mode, -1 when absent or unreadable
};

// An octal mode: "644", "0644", "100644", or "0o644" as some servers print it.
int OctalMode(std::string_view text)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'o' || text[1] == 'O')) text.remove_prefix(2);
    if (text.empty() || text.size() > 7) return -1;
    int mode = 0;
    for (char c : text) {
        if (c < '0' || c > '7') return -1;
        mode = mode * 8 + (c - '0');
    }
    return mode;
}

// The mode's owner write bit decides, as it does for a local entry; else the rights the server
// grants the login: "w" (write) for a file, and for a folder "c", "m" or "p" (create files,
// make folders, remove entries), which is what a folder's write bit allows.
int8_t ReadOnlyOf(const TWriteFacts& facts, bool folder)
{
    if (facts.mode >= 0) return (facts.mode & 0200) == 0 ? 1 : 0;
    if (!facts.hasPerm) return -1;
    const bool writable =
        folder ? facts.perm.find_first_of("CMP") != std::string::npos : facts.perm.find('W') != std::string::npos;
    return writable ? 0 : 1;
}

// Applies one "name=value" fact to `item`.
void ApplyFact(std::string_view fact, int64_t utcOffset, TKNFtpListItem& item, bool& skip, TWriteFacts& write)
{
    const std::size_t eq = fact.find('=');
    if (eq == std::string_view::npos) return;
    const std::string name = vex::UpperCaseAscii(fact.substr(0, eq));
    const std::string_view value = fact.substr(eq + 1);
    if (name == "TYPE") {
        const std::string type = vex::UpperCaseAscii(value);
        if (type == "DIR")
            item.ItemType = TKNFtpItemType::ditDirectory;
        else if (type == "CDIR" || type == "PDIR")
            skip = true;
        else if (type.rfind("OS.UNIX=SLINK", 0) == 0 || type == "OS.UNIX=SYMLINK")
            item.ItemType = TKNFtpItemType::ditSymbolicLink;
    } else if (name == "SIZE" || name == "SIZD") {
        if (!SizeValue(value, item.Size)) item.Size = 0;
    } else if (name == "MODIFY") {
        int64_t unix = 0;
        if (ParseMlsdTime(value, unix)) {
            item.ModifiedDate = vex::UnixToDateTime(unix, utcOffset);
            item.TimeStep = 1;
        }
    } else if (name == "PERM") {
        write.hasPerm = true;
        write.perm = vex::UpperCaseAscii(value);
    } else if (name == "UNIX.MODE") {
        write.mode = OctalMode(value);
    }
}

}  // namespace

int MlsdUnixMode(std::string_view line)
{
    std::string_view facts = line.substr(0, line.find(' '));
    while (!facts.empty()) {
        const std::size_t semi = facts.find(';');
        const std::string_view fact = facts.substr(0, semi);
        const std::size_t eq = fact.find('=');
        if (eq != std::string_view::npos && vex::UpperCaseAscii(fact.substr(0, eq)) == "UNIX.MODE")
            return OctalMode(fact.substr(eq + 1));
        facts = semi == std::string_view::npos ? std::string_view() : facts.substr(semi + 1);
    }
    return -1;
}

bool ParseMlsdTime(std::string_view text, int64_t& unixSeconds)
{
    const std::size_t dot = text.find('.');
    std::string_view whole = text.substr(0, dot);
    int fields[6];
    static constexpr int kWidth[6] = {4, 2, 2, 2, 2, 2};
    if (whole.size() != 14) return false;
    for (int i = 0, at = 0; i < 6; at += kWidth[i], ++i)
        if (!Digits(whole.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(kWidth[i])), fields[i]))
            return false;
    const int year = fields[0], month = fields[1], day = fields[2];
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > 31 || fields[3] > 23 || fields[4] > 59 ||
        fields[5] > 60)
        return false;
    vex::DateTimeFields back = vex::DecodeDateTime(vex::EncodeDateTime(year, month, day));
    if (back.month != month || back.day != day) return false;
    const int64_t days = std::llround(vex::EncodeDateTime(year, month, day) - vex::kUnixEpochDays);
    unixSeconds = days * 86400 + fields[3] * 3600 + fields[4] * 60 + fields[5];
    return true;
}

bool ParseMlsdLine(std::string_view line, int64_t utcOffset, TKNFtpListItem& item, bool& skip)
{
    skip = false;
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos || blank == 0 || blank + 1 >= line.size()) return false;
    item = TKNFtpListItem{};
    item.ModifiedDate = vex::kNoTime;
    item.TimeStep = 1;
    std::string_view facts = line.substr(0, blank);
    TWriteFacts write;
    while (!facts.empty()) {
        const std::size_t semi = facts.find(';');
        ApplyFact(facts.substr(0, semi), utcOffset, item, skip, write);
        facts = semi == std::string_view::npos ? std::string_view() : facts.substr(semi + 1);
    }
    if (item.ItemType != TKNFtpItemType::ditSymbolicLink) {
        item.ReadOnly = ReadOnlyOf(write, item.ItemType == TKNFtpItemType::ditDirectory);
        item.Mode = write.mode < 0 ? -1 : write.mode & 07777;
    }
    item.FileName = std::string(line.substr(blank + 1));
    if (item.FileName == "." || item.FileName == "..") skip = true;
    return true;
}

}  // namespace kn
