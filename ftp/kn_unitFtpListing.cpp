#include "ftp/kn_unitFtpListing.h"

#include <cstring>

#include "framework/vex_unitText.h"
#include "ftp/kn_unitFtpError.h"
#include "ftp/kn_unitFtpMlsd.h"

namespace kn {

namespace {

struct Token {
    std::string_view text;
    std::size_t end;  // offset in the line just past the token
};

std::vector<Token> Tokenize(std::string_view line, std::size_t maxTokens)
{
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (tokens.size() < maxTokens) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        tokens.push_back({line.substr(start, i - start), i});
    }
    return tokens;
}

bool IsDigits(std::string_view s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// Decimal value of an all-digit text; false on overflow of a signed 64-bit value.
bool ToInt64(std::string_view s, int64_t& value)
{
    if (!IsDigits(s)) return false;
    value = 0;
    for (char c : s) {
        if (value > (INT64_MAX - (c - '0')) / 10) return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

bool ToSmallInt(std::string_view s, int low, int high, int& value)
{
    int64_t v;
    if (s.size() > 4 || !ToInt64(s, v) || v < low || v > high) return false;
    value = static_cast<int>(v);
    return true;
}

int MonthIndex(std::string_view s)
{
    static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                          "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    if (s.size() != 3) return 0;
    for (int m = 0; m < 12; ++m)
        if (vex::SameTextAscii(s, kMonths[m])) return m + 1;
    return 0;
}

// "HH:MM" or "HH:MM:SS".
bool ParseClock(std::string_view s, int& hour, int& minute, int& second)
{
    second = 0;
    if (s.size() != 5 && s.size() != 8) return false;
    if (s[2] != ':' || (s.size() == 8 && s[5] != ':')) return false;
    return ToSmallInt(s.substr(0, 2), 0, 23, hour) && ToSmallInt(s.substr(3, 2), 0, 59, minute) &&
           (s.size() == 5 || ToSmallInt(s.substr(6, 2), 0, 59, second));
}

bool ValidDay(int year, int month, int day)
{
    vex::DateTimeFields back = vex::DecodeDateTime(vex::EncodeDateTime(year, month, day));
    return back.year == year && back.month == month && back.day == day;
}

// Unix permission column: a type letter and nine permission letters, perhaps followed by a
// marker of extended attributes or access lists.
bool IsUnixMode(std::string_view s)
{
    if (s.size() < 10 || s.size() > 11 || std::strchr("-dlbcpsD", s[0]) == nullptr) return false;
    for (std::size_t i = 1; i < 10; ++i)
        if (std::strchr("rwxsStTlL-", s[i]) == nullptr) return false;
    return s.size() == 10 || std::strchr("+@.", s[10]) != nullptr;
}

// The permission bits of a Unix permission column ("-rwsr-x--T": 05754).
int UnixModeBits(std::string_view s)
{
    int mode = 0;
    for (int i = 0; i < 9; ++i) {
        const char c = s[static_cast<std::size_t>(i) + 1];
        const int bit = 0400 >> i;
        if (i % 3 == 2 && c != '-' && c != 'x') {
            mode |= i == 2 ? 04000 : i == 5 ? 02000 : 01000;  // s, S, t, T: the set-ID and sticky bits
            if (c == 's' || c == 't') mode |= bit;
        } else if (c != '-') {
            mode |= bit;
        }
    }
    return mode;
}

// The date columns of a Unix line, tokens m, m+1, m+2: "Mar  7 14:05" or "Mar  7  2019".
bool UnixDate(const std::vector<Token>& t, std::size_t m, vex::TDateTime today, vex::TDateTime& value, uint32_t& step)
{
    int month = MonthIndex(t[m].text), day, year, hour = 0, minute = 0, second = 0;
    if (month == 0 || !ToSmallInt(t[m + 1].text, 1, 31, day)) return false;
    if (ToSmallInt(t[m + 2].text, 1900, 9999, year)) {
        if (t[m + 2].text.size() != 4) return false;
        step = kDayStep;
    } else if (ParseClock(t[m + 2].text, hour, minute, second)) {
        step = t[m + 2].text.size() == 5 ? kMinuteStep : 1;
        year = vex::DecodeDateTime(today).year;
        if (ValidDay(year, month, day) && vex::EncodeDateTime(year, month, day) > today + 1.0) --year;
    } else {
        return false;
    }
    if (!ValidDay(year, month, day)) return false;
    value = vex::EncodeDateTime(year, month, day, hour, minute, second);
    return true;
}

bool ParseUnixLine(std::string_view line, vex::TDateTime today, TKNFtpListItem& item)
{
    std::vector<Token> t = Tokenize(line, 9);
    if (t.size() < 5 || !IsUnixMode(t[0].text)) return false;
    // The size is the column before the month; owner and group columns vary between servers.
    for (std::size_t m = 2; m + 2 < t.size(); ++m) {
        if (!IsDigits(t[m - 1].text) || !UnixDate(t, m, today, item.ModifiedDate, item.TimeStep)) continue;
        if (!ToInt64(t[m - 1].text, item.Size)) return false;
        std::size_t nameStart = t[m + 2].end;
        if (nameStart < line.size()) ++nameStart;  // the one blank before the name
        std::string_view name = line.substr(nameStart);
        item.ItemType = TKNFtpItemType::ditFile;
        if (line[0] == 'd') item.ItemType = TKNFtpItemType::ditDirectory;
        if (line[0] == 'l') {
            item.ItemType = TKNFtpItemType::ditSymbolicLink;
            if (const std::size_t arrow = name.find(" -> "); arrow != std::string_view::npos) {
                item.LinkTarget = std::string(name.substr(arrow + 4));
                name = name.substr(0, arrow);
            }
        }
        item.FileName = std::string(name);
        item.Mode = UnixModeBits(t[0].text);
        return true;
    }
    return false;
}

// "MM-DD-YY" or "MM-DD-YYYY", also with "/"; two-digit years below 70 are in this century.
bool DosDate(std::string_view s, int& year, int& month, int& day)
{
    if ((s.size() != 8 && s.size() != 10) || s[2] != s[5] || (s[2] != '-' && s[2] != '/')) return false;
    if (!ToSmallInt(s.substr(0, 2), 1, 12, month) || !ToSmallInt(s.substr(3, 2), 1, 31, day)) return false;
    if (!ToSmallInt(s.substr(6), 0, 9999, year)) return false;
    if (s.size() == 8) year += year < 70 ? 2000 : 1900;
    return ValidDay(year, month, day);
}

// "02:05PM", "14:05", or "02:05" followed by a separate "PM" token (`next` advances over it).
bool DosTime(const std::vector<Token>& t, std::size_t& next, int& hour, int& minute, int& second)
{
    std::string_view s = t[next].text;
    std::string_view half;
    if (s.size() >= 7 &&
        (vex::SameTextAscii(s.substr(s.size() - 2), "AM") || vex::SameTextAscii(s.substr(s.size() - 2), "PM"))) {
        half = s.substr(s.size() - 2);
        s = s.substr(0, s.size() - 2);
    } else if (next + 1 < t.size() &&
               (vex::SameTextAscii(t[next + 1].text, "AM") || vex::SameTextAscii(t[next + 1].text, "PM"))) {
        half = t[++next].text;
    }
    ++next;
    if (!ParseClock(s, hour, minute, second)) return false;
    if (half.empty()) return true;
    if (hour < 1 || hour > 12) return false;
    hour = hour % 12 + (vex::UpCaseAscii(half[0]) == 'P' ? 12 : 0);
    return true;
}

// Sizes may carry thousands separators: "1,048,576".
bool DosSize(std::string_view s, int64_t& size)
{
    std::string digits;
    for (char c : s)
        if (c != ',') digits += c;
    return ToInt64(digits, size);
}

bool ParseDosLine(std::string_view line, TKNFtpListItem& item)
{
    std::vector<Token> t = Tokenize(line, 4);
    int year, month, day, hour, minute, second;
    if (t.size() < 4 || !DosDate(t[0].text, year, month, day)) return false;
    std::size_t next = 1;
    if (!DosTime(t, next, hour, minute, second) || next >= t.size()) return false;
    t = Tokenize(line, next + 1);  // the name starts after the size column
    if (t.size() != next + 1) return false;
    if (vex::SameTextAscii(t[next].text, "<DIR>")) {
        item.ItemType = TKNFtpItemType::ditDirectory;
        item.Size = 0;
    } else if (DosSize(t[next].text, item.Size)) {
        item.ItemType = TKNFtpItemType::ditFile;
    } else {
        return false;
    }
    std::size_t nameStart = t[next].end;
    while (nameStart < line.size() && (line[nameStart] == ' ' || line[nameStart] == '\t')) ++nameStart;
    item.FileName = std::string(line.substr(nameStart));
    item.ModifiedDate = vex::EncodeDateTime(year, month, day, hour, minute, second);
    item.TimeStep = kMinuteStep;
    return true;
}

bool IsTotalLine(std::string_view line)
{
    std::vector<Token> t = Tokenize(line, 3);
    return t.size() == 2 && vex::SameTextAscii(t[0].text, "total") && IsDigits(t[1].text);
}

}  // namespace

bool IsSafeListName(std::string_view name)
{
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of(std::string_view("/\\\0\r\n", 5)) == std::string_view::npos;
}

bool ParseFtpListLine(std::string_view line, vex::TDateTime today, TKNFtpListItem& item)
{
    return ParseUnixLine(line, today, item) || ParseDosLine(line, item);
}

TKNFtpListingParser::TKNFtpListingParser(vex::TDateTime today, TKNFtpListLimits limits) : today_(today), limits_(limits)
{
}

static TKNFtpError OverLongLine(std::size_t limit)
{
    return TKNFtpError("The listing holds a line longer than " + std::to_string(limit) + " bytes");
}

void TKNFtpListingParser::Feed(std::string_view chunk)
{
    while (!chunk.empty()) {
        std::size_t lf = chunk.find('\n');
        if (lf == std::string_view::npos) {
            partial_.append(chunk);
            if (partial_.size() > limits_.MaxLineLength) throw OverLongLine(limits_.MaxLineLength);
            return;
        }
        partial_.append(chunk.substr(0, lf));
        chunk.remove_prefix(lf + 1);
        ParseLine(partial_);
        partial_.clear();
    }
}

std::vector<TKNFtpListItem> TKNFtpListingParser::Finish()
{
    if (!partial_.empty()) ParseLine(partial_);
    partial_.clear();
    return std::move(items_);
}

void TKNFtpListingParser::ParseLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > limits_.MaxLineLength) throw OverLongLine(limits_.MaxLineLength);
    if (++lines_ > limits_.MaxLines)
        throw TKNFtpError("The listing has more than " + std::to_string(limits_.MaxLines) + " lines");
    if (line.find_first_not_of(" \t") == std::string_view::npos || IsTotalLine(line)) return;
    TKNFtpListItem item;
    if (mlsd_) {
        bool skip = false;
        if (!ParseMlsdLine(line, utcOffset_, item, skip))
            throw TKNFtpError("Unreadable MLSD line: " + std::string(line.substr(0, 200)));
        if (skip) return;
    } else if (!ParseFtpListLine(line, today_, item)) {
        throw TKNFtpError("Unknown FTP listing format");
    } else if (listShift_ != 0 && item.ModifiedDate >= 0 && item.TimeStep < kDayStep) {
        item.ModifiedDate = vex::UnixToDateTime(vex::DateTimeToUnix(item.ModifiedDate, 0) + listShift_, 0);
    }
    if (!IsSafeListName(item.FileName)) return;
    if (items_.size() >= limits_.MaxItems)
        throw TKNFtpError("The listing has more than " + std::to_string(limits_.MaxItems) + " entries");
    items_.push_back(std::move(item));
}

}  // namespace kn
