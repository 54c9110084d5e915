// kestrune-cli compare: the comparison engine without windows. Prints one line per result row
// on standard output and the count on standard error; progress goes to standard error only
// when it is a terminal; Ctrl+C stops the comparison.
#include <cstdio>

#include "app/cli/cli_command.h"
#include "app/cli/cli_compare_preset.h"
#include "app/cli/cli_compare_run.h"
#include "app/cli/cli_output.h"
#include "app/cli/cli_progress.h"
#include "app/cli/cli_rows.h"
#include "app/cli/cli_update_report.h"
#include "engine/kn_unitCompare.h"
#include "engine/kn_unitRun.h"

namespace {

const char* const kUsageHead =
    "Usage: kestrune-cli compare [OPTIONS] LEFT RIGHT\n"
    "       kestrune-cli compare --preset NAME [LEFT RIGHT]\n"
    "Compares the folder trees LEFT and RIGHT (locations, see below; relative local paths start\n"
    "from the working folder) and prints every pair that differs, in path order, one line each:\n"
    "  STATUS<TAB>LEFT NAME<TAB>LEFT SIZE<TAB>LEFT TIME<TAB>RIGHT TIME<TAB>RIGHT SIZE<TAB>RIGHT NAME\n"
    "STATUS is left (the left entry is newer or only on the left), right (the same for the right)\n"
    "or differ (same time, different size or attributes). Names are relative to their folder, a\n"
    "folder's ending in \"/\" with size \"dir\"; control characters and \"\\\" in names are escaped\n"
    "(\\t, \\n, \\\\, \\xHH). Times are local, YYYY-MM-DD hh:mm:ss. An absent side's fields are empty.\n"
    "Then \"Found N folder(s) and file(s).\" goes to standard error. --format tsv prints the same\n"
    "rows; --format jsonl prints one JSON object a row and a summary (see the README).\n"
    "\nOptions:\n";

const char* const kUsageTail =
    "  -h, --help                    show this text\n"
    "\nWhile it runs, standard error shows what is being searched when it is a terminal.\n"
    "Ctrl+C stops the comparison.\n"
    "\nExit status: 0 no differences, 1 differences found or a folder inside the trees could not\n"
    "be read, 2 usage error, missing or unreadable root folder, roots that are one folder or of\n"
    "which one lies inside the other, or a failed comparison, 130 stopped (Ctrl+C, SIGTERM,\n"
    "SIGHUP, or standard output closed).\n";

const cli::CompareCommandText kText = {"compare", kUsageHead, kUsageTail};

int RunCompare(std::vector<std::string> argv)
{
    std::string presetName;
    cli::OutputOptions output;
    std::vector<cli::CompareOption> extra = cli::OutputOptionList(output);
    extra.push_back(cli::PresetOption(presetName));
    cli::CompareCommandLine line;
    if (auto done = cli::ReadCompareCommandLine(kText, argv, extra, presetName, line)) return *done;

    kn::TKNFileCompare engine;
    if (auto refused = cli::RefuseRoots(kText, line, output, engine)) return *refused;
    cli::ProgressLine progress;
    // On a terminal the search shows unless --quiet; --progress shows it even then.
    if (cli::ProgressLine::Possible() && (output.Progress || !output.Quiet)) {
        // The progress line shows the newest folder; the scans never wait for it.
        engine.ProgressDelivery = vex::TDelivery::Newest;
        engine.OnProgress = [&](void*, uint8_t state, const std::string& path) { progress.ShowCompare(state, path); };
    }
    kn::TKNRunResult result;
    {
        cli::InterruptStops stops(engine);
        cli::RunObserver observer;
        kn::TKNRunRequest request;
        request.Left = line.Left;
        request.Right = line.Right;
        request.Options = line.Args.Options;
        request.Update = false;
        kn::TKNRun run(engine, observer);
        result = run.Execute(request);
    }
    // Rows are planned as the options' action would do them, not forced.
    const kn::TKNAction action = kn::ActionOf(static_cast<int>(line.Args.Options.Action));
    cli::SummaryFacts facts;
    facts.Command = "compare";
    if (auto refused = cli::ReportRefusal(kText, result.Refusal, output, engine, facts)) return *refused;
    if (auto failed = cli::ReportCompared(kText, engine, output, action, false)) {
        facts.Stopped = *failed == cli::ExitInterrupted;
        facts.Error = facts.Stopped ? std::string() : engine.ErrorText;
        facts.Exit = *failed;
    } else {
        facts.Rows = engine.Items.size();
        facts.Exit = engine.Items.empty() && engine.UnlistedCount() == 0 ? cli::ExitOk : cli::ExitFound;
    }
    return cli::Summarize(output, facts, engine);
}

const cli::CliCommandRegistration compareCommand("compare", "compare two folder trees and list what differs",
                                                 RunCompare);

}  // namespace
