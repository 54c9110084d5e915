// How kestrune-cli refuses a command line: one line with the problem (a close name proposed
// for a mistyped one) and a pointer to the help, never the whole usage text, which would
// scroll the error away. Also the short forms of the common options.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cli {

// The name among `names` closest to the mistyped `given`: the one name it begins (given two
// letters or more beyond the dashes), else one within a few edits (a letter added, dropped,
// changed or two swapped; one edit in four letters, given three or more). Empty when none is
// close.
std::string ClosestName(std::string_view given, const std::vector<std::string>& names);

// `problem`, and " (did you mean NAME?)" when ClosestName finds one.
std::string WithSuggestion(const std::string& problem, std::string_view given, const std::vector<std::string>& names);

// Prints "kestrune-cli COMMAND: PROBLEM" and "See 'kestrune-cli COMMAND --help'." on standard
// error (without COMMAND for the program's own line) and returns the usage status.
int UsageError(const std::string& command, const std::string& problem);

// The long option a short form stands for ("-n" gives "--dry-run", "-q" "--quiet", "-h"
// "--help", "-V" "--version"), or "" for any other text; ShortFormOf the other way round.
std::string LongFormOf(std::string_view arg);
std::string ShortFormOf(std::string_view name);

}  // namespace cli
