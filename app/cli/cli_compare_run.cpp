#include "app/cli/cli_compare_run.h"

#include <cstdio>

#include "app/cli/cli_command.h"
#include "app/cli/cli_compare_preset.h"
#include "app/cli/cli_rows.h"
#include "app/cli/cli_update_report.h"
#include "app/cli/cli_usage.h"
#include "engine/kn_unitCompare.h"

namespace cli {

namespace {

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
    if (!ParseCompareArgs(argv, line.Args, error, extra)) return UsageError(text.Name, error);
    if (line.Args.Help) {
        std::printf("%s%s%s%s", text.UsageHead, CompareOptionsHelp(extra).c_str(), text.UsageTail,
                    LocationsHelp().c_str());
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
    // A stop, or a standard output that can no longer be written (its reader gone): nothing more
    // is said but that.
    const auto stopped = [&text]() -> std::optional<int> {
        std::fflush(stdout);
        if (!InterruptStops::Interrupted()) return std::nullopt;
        SayStopped(text.Name);
        return ExitInterrupted;
    };
    if (auto status = stopped()) return status;
    if (!engine.ErrorText.empty()) {
        Failure(text, "the comparison failed: " + engine.ErrorText, ExitUsage);
        // A server not trusted yet is mended by recording it: say how, for the sides that can be.
        if (engine.ErrorKind == kn::TKNSideError::Untrusted)
            for (const kn::TKNFileBuffer* list : {&engine.LeftList, &engine.RightList})
                if (kn::ServerTrustOf(list->Folder) != kn::TKNServerTrust::None)
                    std::fprintf(
                        stderr,
                        "kestrune-cli %s: if the fingerprint is the server's, trust it: kestrune-cli trust %s\n",
                        text.Name, kn::HideLocationPasswords(list->Folder).c_str());
        return ExitUsage;
    }
    for (const std::string& note : engine.ContentNotes)
        std::fprintf(stderr, "kestrune-cli %s: %s\n", text.Name, note.c_str());
    PrintRowRecords(output, engine, action, force);
    if (auto status = stopped()) return status;
    PrintScanNotes(stderr, engine);
    PrintFoundCount(stderr, engine.Items.size());
    return std::nullopt;
}

}  // namespace cli
