// What `kestrune-cli diff` prints about two compared text files, in the --format asked for:
// text and tsv give each change record as KIND<TAB>INDEX1<TAB>INDEX2<TAB>COUNT and the summary
// in words ("2 lines added, ..."); jsonl gives one {"type":"change",...} object per record
// and a last {"type":"summary",...} object, the words then going to standard error.
#pragma once

#include <string>

#include "app/cli/cli_output.h"
#include "diff/kn_unitDiff.h"

namespace cli {

// Every change record of `diff`, in order.
void PrintDiffRecords(const kn::TDiff& diff, OutputFormat format);

// The summary of `diff` (or, with `binary`, of two binary files that are `identical` or not);
// returns the exit status: 0 without differences, 1 with.
int PrintDiffSummary(const kn::TDiff* diff, OutputFormat format, bool binary = false, bool identical = false,
                     const std::string& binaryText = {});

}  // namespace cli
