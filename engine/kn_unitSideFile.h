// One file of a side taken as a whole, as the differences window does with a file on a server:
// fetched into memory together with what it was, and later replaced by new bytes through the
// side's transactional write, with the safety rules of an update: only while it is still the
// file that was fetched, never through a link, with its permission bits kept.
//
// Errors: every call returns a TKNSideResult (kind and a message that names the file without a
// password); nothing throws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "side/kn_unitSide.h"

namespace kn {

// Where a file lives: its side's location, as the registry opens it, and its path there.
struct TKNSideFile {
    std::string Location;  // may hold a password: only ever shown through TKNSide::Shown
    TKNSidePath Path;
    TKNSideEntry Entry;  // the file as it was when last fetched or saved
};

// Opens and connects the side of `file` through the registry.
TKNSideResult ConnectSideFile(const TKNSideFile& file, const TKNSideContext& context, std::unique_ptr<TKNSide>& side);

// Reads the whole file into `bytes` and its entry into file.Entry. A link to a file is read
// (reading changes nothing) and remembered as a link, which SaveSideFile then refuses.
// Anything that is not a file, or a file larger than maxSize, fails.
TKNSideResult FetchSideFile(TKNSide& side, TKNSideFile& file, uint64_t maxSize, std::string& bytes);

// What a save replaces.
enum class TKNSaveAgainst : uint8_t {
    Fetched,  // the file as file.Entry says: a file changed since then fails with kind Changed
    Current,  // whatever file is there now (the user confirmed it): only a link or a non-file fails
};

// Replaces the file by `bytes` (under a temporary name, then put in place), keeping its
// permission bits without set-ID bits (the new file is the saver's). A link at the path fails
// with kind Link, a file that is not what `against` says with kind Changed; the file then stays
// as it was. On success file.Entry is the new file, so the next save replaces it.
TKNSideResult SaveSideFile(TKNSide& side, TKNSideFile& file, std::string_view bytes, TKNSaveAgainst against);

}  // namespace kn
