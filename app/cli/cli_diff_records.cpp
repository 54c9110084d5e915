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

void PrintDiffRecords(const kn::TDiff& diff, OutputFormat format)
{
    for (const kn::TDiffChange& c : diff.GetChanges()) {
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

int PrintDiffSummary(const kn::TDiff* diff, OutputFormat format, bool binary, bool identical,
                     const std::string& binaryText)
{
    const kn::TDiffSummary s = diff ? diff->Summary() : kn::TDiffSummary{};
    const bool same = binary ? identical : s.Empty();
    char words[160];
    if (same)
        std::snprintf(words, sizeof words, "No differences.");
    else if (!binary)
        std::snprintf(words, sizeof words,
                      "%" PRId64 " lines added, %" PRId64 " lines modified, %" PRId64 " lines deleted.%s", s.Added,
                      s.Modified, s.Deleted, diff->Approximate() ? " (approximate)" : "");
    const std::string text = binary && !same ? binaryText : std::string(words);
    const int status = same ? ExitOk : ExitFound;
    if (format != OutputFormat::Jsonl) {
        std::printf("%s\n", text.c_str());
        return status;
    }
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.c_str());
    vex::TJsonObject summary;
    summary.String("type", "summary").Number("version", kJsonSchemaVersion).String("command", "diff");
    summary.Bool("binary", binary).Number("added", s.Added).Number("modified", s.Modified).Number("deleted", s.Deleted);
    summary.Bool("approximate", diff && diff->Approximate()).Number("exit", status);
    WriteLine(summary.Text());
    return status;
}

}  // namespace cli
