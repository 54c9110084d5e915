// What a command prints on standard output, chosen by --format, --quiet and --progress, shared
// by compare, update and batch. Every row of a comparison and every operation of an update is
// one record; text, tsv and jsonl are three ways of writing the same records:
//   text   the default lines: rows as tab-separated fields, an operation as the path it writes
//          (a dry run: what it would do), counts and failures on standard error;
//   tsv    rows as in text, each operation as OP, DIRECTION, RESULT, BYTES, PATH, ERROR-KIND
//          and MESSAGE separated by tabs;
//   jsonl  one JSON object a line: "row", "op", "step" (batch) and a last "summary" object.
// Standard error says the same in words in every format. The schema is in the README.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/cli/cli_compare_options.h"
#include "engine/kn_unitCompare.h"
#include "engine/kn_unitUpdateEvent.h"
#include "engine/kn_unitUpdatePlan.h"
#include "framework/vex_unitJson.h"

namespace cli {

enum class OutputFormat { Text, Tsv, Jsonl };

// The version of the JSON Lines schema, in every summary: raised when a field changes its
// meaning; new fields may come without it.
constexpr int kJsonSchemaVersion = 1;

struct OutputOptions {
    OutputFormat Format = OutputFormat::Text;
    bool Quiet = false;     // only failures and the summary
    bool Progress = false;  // a live line on standard error, when that is a terminal
};

// The options --format FORMAT, --quiet and --progress.
std::vector<CompareOption> OutputOptionList(OutputOptions& options);
// Parses "text", "tsv" or "jsonl"; false with a message otherwise.
bool ParseOutputFormat(const std::string& text, OutputFormat& format, std::string& error);

// One operation as a text line (the full path it writes; in a dry run what it would do, e.g.
// "copy /l/a.txt -> /r/a.txt"), a tsv line or a JSON object. `leftRoot` and `rightRoot` are
// the folders compared.
std::string OperationText(const kn::TKNOpEvent& event, const std::string& leftRoot, const std::string& rightRoot);
std::string OperationTsv(const kn::TKNOpEvent& event);
std::string OperationJson(const kn::TKNOpEvent& event);

// The counts of the summary and step objects: what a dry run plans or a run did.
struct RunCounts {
    kn::TKNPlanTotals Totals;
    int64_t Failed = 0;
    std::string BackupFolder;  // empty: none
};
// Adds "copied", "deleted", "folders_created", "folders_removed", "attributes", "times",
// "renamed", "failed", "bytes" and "backup_folder" to `object`.
void AddCounts(vex::TJsonObject& object, const RunCounts& counts);

// The last record of a command in jsonl: {"type":"summary","version":1,"command":...}.
struct SummaryFacts {
    const char* Command = "";
    const RunCounts* Counts = nullptr;  // an update's (then "dry_run" says which) or a batch's totals
    bool DryRun = false;
    std::size_t Rows = 0;  // rows of the (last) comparison
    bool Stopped = false;
    std::string Error;  // why the comparison failed; empty when it did not
    int Exit = 0;
};
std::string SummaryJson(const SummaryFacts& facts, const kn::TKNFileCompare& engine);

// Every row of the engine's result as records, in its order, planned as `action` (forced or
// not) would; nothing with --quiet.
void PrintRowRecords(const OutputOptions& options, const kn::TKNFileCompare& engine, kn::TKNAction action, bool force);
// In jsonl, writes the summary record; returns facts.Exit.
int Summarize(const OutputOptions& options, const SummaryFacts& facts, const kn::TKNFileCompare& engine);

// Writes one record line on standard output. Its errors are seen by InterruptStops (a closed
// pipe stops the run).
void WriteLine(const std::string& line);

}  // namespace cli
