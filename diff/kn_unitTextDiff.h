// Comparing two texts line by line with differences ignored before lines are matched, so an
// ignored difference never splits a block. Each line is compared with its line break, as the
// common diff tools do: a CR LF line differs from an LF one, and a last line without a break
// from one with it, unless the options say otherwise. The options mean what diff's letters
// mean: -b, -w, -i, -B, -I RE, --strip-trailing-cr; case folding is ASCII only, as there.
// -B and -I take the lines they ignore out before matching; the lines between two matched
// lines are then compared again on their own, and a change made only of such lines is kept
// as an ignored change.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "diff/kn_unitDiff.h"

namespace kn {

struct TIgnoreOptions {
    bool SpaceChange = false;  // -b: runs of blanks compare as one blank; trailing blanks do not count
    bool AllSpace = false;     // -w: blanks do not count at all
    bool Case = false;         // -i: ASCII letters compare without case
    bool BlankLines = false;   // -B: changes made only of empty lines are ignored
    bool TrailingCR = false;   // --strip-trailing-cr: CR LF and CR breaks compare as LF
    // -I RE: changes made only of lines matching one of these (POSIX basic expressions,
    // searched anywhere in the line, without case under -i) are ignored.
    std::vector<std::string> Patterns;

    bool operator==(const TIgnoreOptions&) const = default;
};

struct TTextDiffResult {
    // Runs in whole-text line numbers, in order. Ignored changes are marked Ignored and not
    // counted in Summary.
    std::vector<TDiffChange> Changes;
    TDiffSummary Summary;
    bool Approximate = false;  // some search was split at its cost bound
    bool Stopped = false;      // the comparison failed because a stop was requested
};

// The lines of a text with their breaks: each view of `lines` (views into `text`) extended to
// the next one's start, the last to the text's end.
std::vector<std::string_view> LinesWithBreaks(std::string_view text, std::vector<std::string_view> lines);

// The lines of a text split at LF only, each with its LF (the last one may lack it), as patch
// reads them.
std::vector<std::string_view> SplitAtLineFeeds(std::string_view text);

// The key a line (with its break) is compared by under the options, without -B and -I.
std::string LineKey(std::string_view line, const TIgnoreOptions& options);

// Compares lines given with their breaks. False, with the reason in errorText, for a pattern
// that is not a valid expression, a list too long to compare or a stop (result.Stopped).
bool CompareTextLines(const std::vector<std::string_view>& left, const std::vector<std::string_view>& right,
                      const TIgnoreOptions& options, const TDiffOptions& diffOptions, TTextDiffResult& result,
                      std::string& errorText);

}  // namespace kn
