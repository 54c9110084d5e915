// The changes inside one modified line pair: both lines are cut into tokens (runs of ASCII
// letters, digits and underscores; runs of blanks; every other character alone), the token
// sequences are compared with TDiff under its cost bound, so a line of any length costs
// about linear time, and the characters of tokens that are not matched are marked.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace kn {

// A run of changed characters: [first, first + count) counted in code points, as the text
// view counts columns.
struct TInlineMark {
    int32_t First = 0;
    int32_t Count = 0;

    bool operator==(const TInlineMark&) const = default;
};

struct TInlineMarks {
    std::vector<TInlineMark> Left, Right;
};

// The marks of two UTF-8 lines (without their breaks); adjacent changed tokens form one mark.
TInlineMarks InlineChanges(std::string_view left, std::string_view right);

}  // namespace kn
