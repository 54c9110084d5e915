// The typed event of one update operation: what was planned or done to one path, with its
// result. The window, the text lines, the tab-separated rows and JSON Lines of kestrune-cli are
// formatters over it; nothing parses prose.
#pragma once

#include <cstdint>
#include <string>

#include "engine/kn_unitUpdatePlan.h"
#include "side/kn_unitSide.h"

namespace kn {

enum class TKNOpResult : uint8_t {
    Planned,  // a dry run: what would be done
    Done,
    Failed,
    Skipped,  // not done, and no failure of the side: e.g. changed since the comparison
};

struct TKNOpEvent {
    TKNOperation Op = TKNOperation::Nothing;
    bool WritesRight = false;
    // The path relative to the roots, "/"-joined; a folder's ends in "/".
    std::string Path;
    std::string NewPath;  // a rename's new path, relative like Path
    // The row the operation came from (both sides' sizes, times and attributes), a copy: the
    // event is handled on the main thread after the worker has gone on, perhaps to the next
    // comparison, which replaces the rows.
    TMyFileOpt Row;
    int64_t Bytes = 0;  // bytes written by a copy
    TKNOpResult Result = TKNOpResult::Done;
    TKNSideError ErrorKind = TKNSideError::None;
    std::string Message;  // the failure's message, names shown without passwords
};

}  // namespace kn
