// Reading a server's LIST output into listing items. Two styles are understood:
//   Unix long listing:  "drwxr-xr-x   2 joe  staff     4096 Mar  7 14:05 docs"
//                       "-rw-r--r--   1 joe  staff  1048576 Mar  7  2019 old.bin"
//                       "lrwxrwxrwx   1 joe  staff       11 Mar  7 14:05 ln -> target"
//   DOS/Windows:        "03-07-19  02:05PM       <DIR>          docs"
//                       "03-07-2019  14:05              1048576 old.bin"
// Anything else fails the whole listing with "Unknown FTP listing format". Times are taken as
// the server shows them unless the server's zone is known (ShiftListTimes); a Unix line
// without a year is placed in the twelve months that end tomorrow.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/vex_unitDateTime.h"

namespace kn {

enum class TKNFtpItemType { ditFile, ditDirectory, ditSymbolicLink };

// The seconds to which a listed time is known.
inline constexpr uint32_t kMinuteStep = 60;
inline constexpr uint32_t kDayStep = 86400;

struct TKNFtpListItem {
    std::string FileName;
    int64_t Size = 0;
    vex::TDateTime ModifiedDate = 0.0;  // vex::kNoTime when the server gave none
    TKNFtpItemType ItemType = TKNFtpItemType::ditFile;
    uint32_t TimeStep = kMinuteStep;  // 1 for a time to the second
    int8_t ReadOnly = -1;             // 1 read-only, 0 writable, -1 unknown (MLSD without facts, LIST)
    int Mode = -1;                    // permission bits (07777) from UNIX.mode or a Unix LIST line; -1 unknown
    std::string LinkTarget;           // a link's text, where a Unix LIST line shows it ("name -> text")
};

// A name that may become a record inside the listed folder: not empty, not "." or "..", and
// free of "/", "\", NUL, CR and LF (which would name another folder or break a command line).
bool IsSafeListName(std::string_view name);

// Parses one line. Returns false when the line is in neither style. A parsed item whose name
// is not safe is still parsed (`item` filled); the caller drops it.
bool ParseFtpListLine(std::string_view line, vex::TDateTime today, TKNFtpListItem& item);

// The bounds of one listing: a server that sends without end (or only lines that are
// dropped) fails the listing instead of filling the memory.
struct TKNFtpListLimits {
    std::size_t MaxItems = 2'000'000;
    std::size_t MaxLines = 4'000'000;  // every line counts, also blank and dropped ones
    std::size_t MaxLineLength = 65'536;
};

// Collects the items of a listing, fed in arbitrary chunks as they arrive. Blank lines and the
// Unix "total N" line are skipped; items with unsafe names are dropped.
class TKNFtpListingParser {
public:
    explicit TKNFtpListingParser(vex::TDateTime today, TKNFtpListLimits limits = {});
    // Reads MLSD fact lines instead (see kn_unitFtpMlsd.h), with times in UTC turned into
    // local times by `utcOffset` seconds.
    void ReadMlsd(int64_t utcOffset)
    {
        mlsd_ = true;
        utcOffset_ = utcOffset;
    }
    // Moves the times of LIST lines that give a clock time by `seconds` (from the server's zone
    // to the local one); a day alone stays on its day.
    void ShiftListTimes(int64_t seconds) { listShift_ = seconds; }
    // Throws TKNFtpError("Unknown FTP listing format") on a line in no known style, and
    // TKNFtpError when the listing passes one of its limits.
    void Feed(std::string_view chunk);
    // Parses a last line without a line feed and hands over the items.
    std::vector<TKNFtpListItem> Finish();

private:
    void ParseLine(std::string_view line);

    vex::TDateTime today_;
    TKNFtpListLimits limits_;
    std::size_t lines_ = 0;
    bool mlsd_ = false;
    int64_t utcOffset_ = 0;
    int64_t listShift_ = 0;
    std::string partial_;
    std::vector<TKNFtpListItem> items_;
};

}  // namespace kn
