// The steps the comparing commands (compare, update) share: reading the command line (usage,
// help, preset, the two folders), setting the engine up for those folders, and reporting how
// the comparison ended.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/cli/cli_compare_options.h"
#include "app/cli/cli_output.h"
#include "engine/kn_unitCompare.h"

namespace cli {

// A comparing command's name and the texts around the option lines of its usage text.
struct CompareCommandText {
    const char* Name;  // "compare": its messages start "kestrune-cli compare: "
    const char* UsageHead;
    const char* UsageTail;
};

// What a comparing command's line asks for.
struct CompareCommandLine {
    CompareArgs Args;
    std::string Left, Right;  // the two folders as the engine gets them
};

// Parses `argv` with the compare options and the command's `extra` ones (whose "--preset"
// stores its name in `presetName`), applies the preset and takes the two folders (relative
// ones from the working folder; a server folder's password is supplied by the run layer).
// Returns the exit status when the command is done (help printed, or a usage error on standard
// error); nothing when it goes on with `line`.
std::optional<int> ReadCompareCommandLine(const CompareCommandText& text, const std::vector<std::string>& argv,
                                          const std::vector<CompareOption>& extra, const std::string& presetName,
                                          CompareCommandLine& line);

// A local root of `line` that cannot be compared (missing, not a folder, "/", unreadable): said
// on standard error, the summary written, exit status 2; nothing when both may be.
std::optional<int> RefuseRoots(const CompareCommandText& text, const CompareCommandLine& line,
                               const OutputOptions& output, const kn::TKNFileCompare& engine);
// A run the run layer refused (`refusal`; nothing when empty): said on standard error, the
// summary (`facts` with the refusal) written, exit status 2.
std::optional<int> ReportRefusal(const CompareCommandText& text, const std::string& refusal,
                                 const OutputOptions& output, const kn::TKNFileCompare& engine, SummaryFacts facts);

// After a comparison: when it was stopped or failed, says so on standard error and returns the
// exit status; otherwise prints its rows as `output` asks (planned as `action` would, forced
// or not) and their count, and returns nothing.
std::optional<int> ReportCompared(const CompareCommandText& text, const kn::TKNFileCompare& engine,
                                  const OutputOptions& output, kn::TKNAction action, bool force);

}  // namespace cli
