// The unified format of a change list, as patch reads it: "--- LEFT" and "+++ RIGHT" header
// lines, then hunks "@@ -START,COUNT +START,COUNT @@" of context lines (" "), removed lines
// ("-") and added lines ("+"), a line without a final LF followed by
// "\ No newline at end of file". Changes closer than twice the context share a hunk. An
// ignored change (TDiffChange::Ignored) is printed as its left lines in context, its right
// lines left out: applying the output to the left file gives the right one apart from what was
// ignored.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "diff/kn_unitDiff.h"

namespace kn {

// Appends the hunks of `changes` (over lines given with their LF, see SplitAtLineFeeds) to
// `out`; `header` goes first when there is any hunk. Returns whether there was one.
bool AppendUnifiedDiff(std::string& out, std::string_view header, const std::vector<std::string_view>& left,
                       const std::vector<std::string_view>& right, const std::vector<TDiffChange>& changes,
                       int context);

}  // namespace kn
