// The rules every kind of side keeps, written once: the program's temporary names, the
// permission bits a written file or folder takes, and the check that an entry is still what
// the comparison saw before it is replaced or removed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "side/kn_unitSide.h"

namespace kn {

// The longest name a temporary gets, well below every server's limit of 255 bytes.
constexpr std::size_t kMaxTempNameLength = 128;

// A fresh temporary name for a file about to be written as `name`, beside it:
// ".kn~" + the name cut to fit (never inside a UTF-8 sequence) + "~" + eight random letters
// or digits + eight hex digits that check the rest, e.g. ".kn~index.html~q3x0a8kz1f9c02ab".
// The check makes the name one no person would choose: only names that pass it are the
// program's own, to be hidden from listings and removed when left over.
std::string TempName(std::string_view name);
// True for a name TempName made (its check holds); anything else is a user's file.
bool IsOwnTempName(std::string_view name);

// The run a temporary belongs to: the first kTempTagLength of its random characters. While a
// TKNTempTag lives, TempName on its thread begins the random part with the run's tag (the
// workers of a run set it), so that a later run can tell a run's temporaries from those of runs
// that are over by the run's lock (engine/kn_unitRunLock.h), not by their time.
constexpr std::size_t kTempTagLength = 4;
class TKNTempTag {
public:
    // `tag`: kTempTagLength letters a-z or digits; an empty tag sets none.
    explicit TKNTempTag(const std::string& tag);
    ~TKNTempTag();
    TKNTempTag(const TKNTempTag&) = delete;
    TKNTempTag& operator=(const TKNTempTag&) = delete;

private:
    std::string previous_;
};
// The tag of a name TempName made; empty for any other name.
std::string TempTagOf(std::string_view name);

// The permission bits a copy of an entry with `mode` takes: the set-user-ID and set-group-ID
// bits are cleared unless `sameOwner` (the written file keeps the source's owner), so a copy
// never hands another user's rights to the writer. E.g. 04755 -> 0755.
uint32_t ModeForCopy(uint32_t mode, bool sameOwner);

// True when a name of `path` begins with ".": an entry that a side hiding such names cannot
// show (TKNSideCaps::DotEntries false). E.g. ".git/config" and "www/.htaccess", not "a.b/c".
bool HasDotName(const TKNSidePath& path);

// What `entry`, as listed, must still be when it is replaced or removed.
TKNExpected ExpectedOf(const TKNSideEntry& entry);
// Nothing may be at the path (a new file).
TKNExpected ExpectedAbsent();
// Ok when `current` (Stat's result and entry) is what `expected` says; else kind Changed with
// "\"SHOWN\" changed since the comparison." (`shown` names the entry).
TKNSideResult CheckExpected(const TKNExpected& expected, const TKNSideResult& statResult, const TKNSideEntry& current,
                            const std::string& shown);

}  // namespace kn
