// kestrune-cli update: compares two folder trees, carries out every row in one direction,
// prints each operation as it happens and every failure on standard error, then prints what a
// new comparison finds, as `compare` does. Ctrl+C stops the run between operations (and
// inside large copies and transfers).
#include <algorithm>
#include <cstdio>
#include <optional>

#include "app/cli/cli_command.h"
#include "app/cli/cli_compare_preset.h"
#include "app/cli/cli_compare_run.h"
#include "app/cli/cli_update_report.h"
#include "engine/kn_unitCompare.h"
#include "engine/kn_unitCompareUpdate.h"
#include "engine/kn_unitTwoWayRun.h"
#include "engine/kn_unitUpdatePlan.h"
#include "framework/vex_unitCounts.h"

namespace {

const char* const kUsageHead =
    "Usage: kestrune-cli update [OPTIONS] LEFT RIGHT [--action DIRECTION] [--force] [--backup]\n"
    "                           [--transfers N] [-n|--dry-run] [--max-delete N] [--conflict POLICY]\n"
    "Compares LEFT and RIGHT (locations, see below), then brings them into line:\n"
    "  left-to-right  copies entries that are newer or only on the left to the right;\n"
    "  right-to-left  the same from right to left;\n"
    "  auto           each entry goes from its newer side (the default);\n"
    "  two-way        both sides are brought into line against the state of their last\n"
    "                 synchronisation: what changed on one side goes to the other, deletions\n"
    "                 and renames included; an entry changed on both sides is a conflict,\n"
    "                 settled by --conflict (keep-both, newer, left, right or skip).\n"
    "With --force a fixed direction also overwrites newer entries, deletes entries that only the\n"
    "written side has (folders deepest first), and copies attributes. With --backup every file\n"
    "that is overwritten or deleted is first copied to the program folder, under a folder named\n"
    "after the run's date and time (yymmddhhnnss) with the sub-folders Left and Right.\n"
    "Each operation's path is printed on standard output as it is carried out; failures go to\n"
    "standard error and the run goes on. Then the rows of a new comparison are printed as\n"
    "`kestrune-cli compare` prints them.\n"
    "With --content, a pair of files with equal content whose times differ is not copied: the\n"
    "written side takes the source's time (\"set time of ...\" in a dry run).\n"
    "\nOptions:\n";

const char* const kUsageTail =
    "  -h, --help                    show this text\n"
    "\nCtrl+C, SIGTERM or SIGHUP stops the update; a file being copied is left as it was.\n"
    "\nNothing in a folder that could not be read is changed: such folders are listed on standard\n"
    "error. Roots that are one folder (however named: links, bind mounts), or of which one lies\n"
    "inside the other, are refused. One run of a pair of folders at a time: a second one is\n"
    "refused, naming the first, unless --wait makes it wait for the first to end. A plan that\n"
    "would delete more than 10 entries and more than half of a side (for two-way, of what the\n"
    "last synchronisation recorded there) is refused unless --max-delete N allows N deletions.\n"
    "\nThe last line on standard error is the plan of a dry run (\"Plan: ...\") or what the run did\n"
    "(\"Done: ...\", naming the backup folder when one was made).\n"
    "\nWith --format tsv each operation is one line OP, DIRECTION, RESULT, BYTES, PATH, ERROR-KIND,\n"
    "MESSAGE; with --format jsonl one JSON object, and a summary object ends the output (see\n"
    "the README). --quiet prints only failures and the summary.\n"
    "\nExit status: 0 every operation succeeded, 1 an operation failed or was skipped, a folder\n"
    "could not be read, a two-way conflict was kept both ways or skipped or paths were left\n"
    "unsettled, or something was changed and the comparison after it failed; 2 nothing was\n"
    "changed: usage error, missing folder, roots that are one or nested, a run of the pair in\n"
    "progress, a plan the deletion guard refuses, a two-way run refused (a root that lists\n"
    "empty while the state remembers entries there, a state that cannot be read), a comparison\n"
    "that failed; 130 stopped (Ctrl+C, SIGTERM, SIGHUP, or standard output closed).\n";

struct UpdateFlags {
    std::optional<kn::TKNAction> Direction;  // unset: the options' (or preset's) default action
    bool Force = false;
    bool MultiThread = false;
    std::optional<int> Transfers;  // --transfers N
    bool Backup = false;
    bool DryRun = false;
    std::optional<int64_t> MaxDelete;                                  // --max-delete N
    kn::TKNConflictPolicy Conflict = kn::TKNConflictPolicy::KeepBoth;  // --conflict (two-way)
    bool Wait = false;                                                 // --wait
    std::optional<int64_t> BandwidthLimit;                             // --bwlimit RATE
};

bool ParseMaxDelete(const std::string& value, UpdateFlags& flags, std::string& error)
{
    std::optional<int64_t> n = cli::ParseCount(value);
    if (!n) {
        error = "expected a count of entries, not \"" + value + "\"";
        return false;
    }
    flags.MaxDelete = *n;
    return true;
}

bool ParseDirection(const std::string& value, UpdateFlags& flags, std::string& error)
{
    kn::TKNAction action = kn::TKNAction::Auto;
    if (!cli::ActionOfWord(value, action)) {
        error = "expected left-to-right, right-to-left, auto or two-way, not \"" + value + "\"";
        return false;
    }
    flags.Direction = action;
    return true;
}

std::vector<cli::CompareOption> UpdateOptions(UpdateFlags& flags, std::string& presetName, cli::OutputOptions& output)
{
    auto flag = [](bool& target) {
        return [&target](const std::string&, cli::CompareArgs&, std::string&) { return target = true; };
    };
    std::vector<cli::CompareOption> options = {
        cli::PresetOption(presetName),
        {"--action", "DIRECTION", "left-to-right, right-to-left, auto or two-way (default: the preset's, else auto)",
         [&flags](const std::string& v, cli::CompareArgs&, std::string& e) { return ParseDirection(v, flags, e); }},
        {"--force", nullptr, "also overwrite newer entries and delete one-sided ones", flag(flags.Force)},
        {"--backup", nullptr, "keep what is overwritten or deleted in the program folder", flag(flags.Backup)},
        cli::TransfersOption(flags.Transfers),
        cli::BandwidthOption(flags.BandwidthLimit),
        {"--multi-thread", nullptr, "at least two transfers at once (as older versions took it)",
         flag(flags.MultiThread)},
        {"--dry-run", nullptr, "print the operations an update would do, change nothing", flag(flags.DryRun)},
        {"--wait", nullptr, "wait for a run of the same folders in progress instead of refusing", flag(flags.Wait)},
        {"--max-delete", "N", "allow the update to delete up to N entries (default: refuse deleting most of a side)",
         [&flags](const std::string& v, cli::CompareArgs&, std::string& e) { return ParseMaxDelete(v, flags, e); }},
        {"--conflict", "POLICY", "two-way: keep-both (default), newer, left, right or skip",
         [&flags](const std::string& v, cli::CompareArgs&, std::string& e) {
             if (kn::ConflictPolicyOf(v, flags.Conflict)) return true;
             e = "expected keep-both, newer, left, right or skip, not \"" + v + "\"";
             return false;
         }},
    };
    for (cli::CompareOption& option : cli::OutputOptionList(output)) options.push_back(std::move(option));
    return options;
}

// The two-way plan's conflicts on standard error; a dry run in text prints the plan instead of
// carrying it out. False: the run ends here.
bool ShowTwoWayPlan(const kn::TKNFileCompare& engine, const UpdateFlags& flags, const cli::OutputOptions& output)
{
    if (!engine.TwoWay || !engine.TwoWay->Ready()) return true;
    const std::string text = engine.TwoWay->PlanText();
    for (std::size_t at = 0, next; at < text.size(); at = next + 1) {
        next = text.find('\n', at);
        if (next == std::string::npos) next = text.size();
        if (text.compare(at, 10, "conflict  ") == 0) std::fprintf(stderr, "%s\n", text.substr(at, next - at).c_str());
    }
    if (!flags.DryRun || output.Format != cli::OutputFormat::Text) return true;
    if (!output.Quiet) std::fwrite(text.data(), 1, text.size(), stdout);
    return false;
}

// What the run ended with, as an exit status: 2 only when nothing was changed.
int UpdateExit(const kn::TKNRunResult& result, const kn::TKNFileCompare& engine, const cli::UpdateReport& report)
{
    const bool failed = report.Failures() > 0 || engine.UnlistedCount() > 0 ||
                        (engine.TwoWay && engine.TwoWay->Outcome().ExitStatus() != 0) ||
                        (engine.TwoWay && engine.TwoWay->Ready() && engine.TwoWay->Plan().ConflictsLeftOpen());
    if (!engine.ErrorText.empty()) return result.Changed ? cli::ExitFound : cli::ExitUsage;
    return failed ? cli::ExitFound : cli::ExitOk;
}

const cli::CompareCommandText kText = {"update", kUsageHead, kUsageTail};

int RunUpdate(std::vector<std::string> argv)
{
    UpdateFlags flags;
    std::string presetName;
    cli::OutputOptions output;
    const std::vector<cli::CompareOption> extra = UpdateOptions(flags, presetName, output);
    cli::CompareCommandLine line;
    if (auto done = cli::ReadCompareCommandLine(kText, argv, extra, presetName, line)) return *done;
    // A stored value out of range reads as Auto here.
    const kn::TKNAction action = line.Args.Options.Action;
    if (!flags.Direction) flags.Direction = static_cast<int>(action) <= 3 ? action : kn::TKNAction::Auto;

    kn::TKNFileCompare engine;
    if (auto refused = cli::RefuseRoots(kText, line, output, engine)) return *refused;
    cli::UpdateReport report(engine, output);
    cli::InterruptStops stops(engine);
    cli::RunObserver observer(&report);
    observer.OnCompared = [&](const kn::TKNFileCompare& compared) { return ShowTwoWayPlan(compared, flags, output); };
    kn::TKNRunRequest request;
    request.Left = line.Left;
    request.Right = line.Right;
    request.Options = line.Args.Options;
    request.Action = *flags.Direction;
    request.Force = flags.Force;
    request.Backup = flags.Backup;
    request.DryRun = flags.DryRun;
    request.Transfers = flags.Transfers;
    request.BandwidthLimit = flags.BandwidthLimit;
    if (flags.MultiThread && !flags.Transfers)
        request.Transfers = std::max(kn::TransfersOf(line.Args.Options.Transfers), 2);
    request.MaxDelete = flags.MaxDelete;
    request.Conflict = flags.Conflict;
    request.Wait = flags.Wait;
    kn::TKNRun run(engine, observer);
    const kn::TKNRunResult result = run.Execute(request);

    const cli::RunCounts counts = report.Counts(flags.DryRun);
    cli::SummaryFacts facts;
    facts.Command = "update";
    facts.Counts = &counts;
    facts.DryRun = flags.DryRun;
    if (auto refused = cli::ReportRefusal(kText, result.Refusal, output, engine, facts)) return *refused;
    if (auto failed = cli::ReportCompared(kText, engine, output, *flags.Direction, flags.Force)) {
        facts.Stopped = *failed == cli::ExitInterrupted;
        facts.Error = facts.Stopped ? std::string() : engine.ErrorText;
        facts.Exit = facts.Stopped ? *failed : UpdateExit(result, engine, report);
        return cli::Summarize(output, facts, engine);
    }
    // The last line: what the run would do, or what it did.
    if (result.Updated)
        std::fprintf(stderr, "%s\n",
                     vex::GroupCountsInText(flags.DryRun ? kn::PlanLine(engine.LastUpdate().Planned)
                                                         : kn::DoneLine(engine.LastUpdate()))
                         .c_str());
    // Rows in folders that could not be read were left alone: the run did not do everything.
    facts.Rows = engine.Items.size();
    facts.Exit = UpdateExit(result, engine, report);
    return cli::Summarize(output, facts, engine);
}

const cli::CliCommandRegistration updateCommand("update", "bring two folder trees into line", RunUpdate);

}  // namespace
