#include "app/cli/cli_diff_records.h"

#include <cinttypes>
#include <cstdio>

#include "app/cli/cli_command.h"
#include "framework/vex_unitJson.h"

namespace cli {

namespace {

const char* KindName(kn::TDiffKind kind)
{
    switch (kind) {
        case kn::TDiffKind::dkAdd:
            return "add";
        case kn::TDiffKind::dkDelete:
            return "delete";
        case kn::TDiffKind::dkModify:
            return "modify";
    }
    return "?";
}

}  // namespace

void PrintDiffRecords(const std::vector<kn::TDiffChange>& changes, OutputFormat format)
{
    for (const kn::TDiffChange& c : changes) {
        if (c.Ignored) continue;
        if (format != OutputFormat::Jsonl) {
            std::printf("%s\t%d\t%d\t%d\n", KindName(c.Kind), c.Index1, c.Index2, c.Count);
            continue;
        }
        WriteLine(vex::TJsonObject()
                      .String("type", "change")
                      .String("kind", KindName(c.Kind))
                      .Number("index1", c.Index1)
                      .Number("index2", c.Index2)
                      .Number("count", c.Count)
                      .Text());
    }
}

int PrintDiffSummary(const TDiffOutcome& outcome, OutputFormat format)
{
    const kn::TDiffSummary& s = outcome.Summary;
    const int status = outcome.Same ? ExitOk : ExitFound;
    if (format != OutputFormat::Jsonl) {
        std::printf("%s\n", outcome.Words.c_str());
        return status;
    }
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", outcome.Words.c_str());
    vex::TJsonObject summary;
    summary.String("type", "summary").Number("version", kJsonSchemaVersion).String("command", "diff");
    summary.Bool("binary", outcome.Binary).Number("added", s.Added).Number("modified", s.Modified);
    summary.Number("deleted", s.Deleted).Bool("approximate", outcome.Approximate).Number("exit", status);
    WriteLine(summary.Text());
    return status;
}

}  // namespace cli
