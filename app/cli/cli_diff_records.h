// What `kestrune-cli diff` prints about two compared text files, in the --format asked for:
// text and tsv give each change record as KIND<TAB>INDEX1<TAB>INDEX2<TAB>COUNT and the summary
// in words ("2 lines added, ..."); jsonl gives one {"type":"change",...} object per record
// and a last {"type":"summary",...} object, the words then going to standard error.
#pragma once

#include <string>
#include <vector>

#include "app/cli/cli_output.h"
#include "diff/kn_unitDiff.h"

namespace cli {

// Every change record that is a difference (ignored changes are none), in order.
void PrintDiffRecords(const std::vector<kn::TDiffChange>& changes, OutputFormat format);

// How a pair compared: the counts of two text files, or whether two binary files are the same.
struct TDiffOutcome {
    kn::TDiffSummary Summary;
    bool Approximate = false;
    bool Binary = false;
    bool Same = false;
    std::string Words;  // the summary in words, e.g. "No differences."
};

// The summary; returns the exit status: 0 without differences, 1 with.
int PrintDiffSummary(const TDiffOutcome& outcome, OutputFormat format);

}  // namespace cli
