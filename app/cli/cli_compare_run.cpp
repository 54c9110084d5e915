#include "app/cli/cli_compare_run.h"

#include <cstdio>

#include "app/cli/cli_command.h"
#include "app/cli/cli_compare_preset.h"
#include "app/cli/cli_rows.h"
#include "app/cli/cli_update_report.h"
#include "engine/kn_unitCompare.h"

namespace cli {

namespace {

int UsageError(const CompareCommandText& text, const std::string& error, const std::vector<CompareOption>& extra)
{
    std::fprintf(stderr, "kestrune-cli %s: %s\n%s%s%s", text.Name, kn::HideLocationPasswords(error).c_str(),
                 text.UsageHead, CompareOptionsHelp(extra).c_str(), text.UsageTail);
    return ExitUsage;
}

int Failure(const CompareCommandText& text, const std::string& error, int status)
{
    std::fprintf(stderr, "kestrune-cli %s: %s\n", text.Name, kn::HideLocationPasswords(error).c_str());
    return status;
}

// Takes both operands as the folders of the run; false with a message.
bool TakeFolders(CompareCommandLine& line, std::string& error)
{
    if (line.Args.Operands.size() != 2) {
        error = "give exactly two folders, LEFT and RIGHT";
        return false;
    }
    line.Left = FolderArgument(line.Args.Operands[0]);
    line.Right = FolderArgument(line.Args.Operands[1]);
    return true;
}

}  // namespace

std::optional<int> ReadCompareCommandLine(const CompareCommandText& text, const std::vector<std::string>& argv,
                                          const std::vector<CompareOption>& extra, const std::string& presetName,
                                          CompareCommandLine& line)
{
    std::string error;
    if (!ParseCompareArgs(argv, line.Args, error, extra)) return UsageError(text, error, extra);
    if (line.Args.Help) {
        std::printf("%s%s%s", text.UsageHead, CompareOptionsHelp(extra).c_str(), text.UsageTail);
        return ExitOk;
    }
    if (!presetName.empty() && !ApplyPreset(presetName, argv, line.Args, error)) return Failure(text, error, ExitUsage);
    if (!TakeFolders(line, error)) return Failure(text, error, ExitUsage);
    return std::nullopt;
}

std::optional<int> RefuseRoots(const CompareCommandText& text, const CompareCommandLine& line,
                               const OutputOptions& output, const kn::TKNFileCompare& engine)
{
    std::string problem = CheckLocalRoot(line.Left);
    if (problem.empty()) problem = CheckLocalRoot(line.Right);
    if (problem.empty()) return std::nullopt;
    SummaryFacts facts;
    facts.Command = text.Name;
    facts.Error = kn::HideLocationPasswords(problem);
    facts.Exit = Failure(text, problem, ExitUsage);
    return Summarize(output, facts, engine);
}

std::optional<int> ReportRefusal(const CompareCommandText& text, const std::string& refusal,
                                 const OutputOptions& output, const kn::TKNFileCompare& engine, SummaryFacts facts)
{
    if (refusal.empty()) return std::nullopt;
    std::fflush(stdout);
    facts.Command = text.Name;
    facts.Error = kn::HideLocationPasswords(refusal);
    facts.Exit = Failure(text, EscapeText(facts.Error), ExitUsage);
    return Summarize(output, facts, engine);
}

std::optional<int> ReportCompared(const CompareCommandText& text, const kn::TKNFileCompare& engine,
                                  const OutputOptions& output, kn::TKNAction action, bool force)
{
    std::fflush(stdout);
    if (InterruptStops::Interrupted()) return Failure(text, InterruptStops::Reason(), ExitInterrupted);
    if (!engine.ErrorText.empty()) return Failure(text, "the comparison failed: " + engine.ErrorText, ExitUsage);
    for (const std::string& note : engine.ContentNotes)
        std::fprintf(stderr, "kestrune-cli %s: %s\n", text.Name, note.c_str());
    PrintRowRecords(output, engine, action, force);
    std::fflush(stdout);
    PrintScanNotes(stderr, engine);
    PrintFoundCount(stderr, engine.Items.size());
    return std::nullopt;
}

}  // namespace cli
