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
#include "engine/kn_unitUpdatePlan.h"

namespace {

const char* const kUsageHead =
    "Usage: kestrune-cli update [OPTIONS] LEFT RIGHT --action DIRECTION [--force] [--backup]\n"
    "                           [--transfers N] [--dry-run] [--max-delete N]\n"
    "Compares LEFT and RIGHT (local folders, FTP or SFTP locations), then brings them into line:\n"
    "  left-to-right  copies entries that are newer or only on the left to the right;\n"
    "  right-to-left  the same from right to left;\n"
    "  auto           each entry goes from its newer side (the default).\n"
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
    "  --help                        show this text\n"
    "\nCtrl+C, SIGTERM or SIGHUP stops the update; a file being copied is left as it was.\n"
    "\nNothing in a folder that could not be read is changed: such folders are listed on standard\n"
    "error. Roots of which one lies inside the other are refused.\n"
    "\nThe last line on standard error is the plan of a dry run (\"Plan: ...\") or what the run did\n"
    "(\"Done: ...\", naming the backup folder when one was made).\n"
    "\nWith --format tsv each operation is one line OP, DIRECTION, RESULT, BYTES, PATH, ERROR-KIND,\n"
    "MESSAGE; with --format jsonl one JSON object, and a summary object ends the output (see\n"
    "the README). --quiet prints only failures and the summary.\n"
    "\nExit status: 0 every operation succeeded, 1 an operation failed or a folder could not be\n"
    "read, 2 usage error, missing folder, nested roots or a plan that deletes more than\n"
    "--max-delete allows (nothing was changed), 130 stopped (Ctrl+C, SIGTERM, SIGHUP, or\n"
    "standard output closed).\n";

struct UpdateFlags {
    std::optional<kn::TKNAction> Direction;  // unset: the options' (or preset's) default action
    bool Force = false;
    bool MultiThread = false;
    std::optional<int> Transfers;  // --transfers N
    bool Backup = false;
    bool DryRun = false;
    std::optional<int64_t> MaxDelete;  // --max-delete N
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
    if (value == "left-to-right")
        flags.Direction = kn::TKNAction::LeftToRight;
    else if (value == "right-to-left")
        flags.Direction = kn::TKNAction::RightToLeft;
    else if (value == "auto")
        flags.Direction = kn::TKNAction::Auto;
    else {
        error = "expected left-to-right, right-to-left or auto, not \"" + value + "\"";
        return false;
    }
    return true;
}

std::vector<cli::CompareOption> UpdateOptions(UpdateFlags& flags, std::string& presetName, cli::OutputOptions& output)
{
    auto flag = [](bool& target) {
        return [&target](const std::string&, cli::CompareArgs&, std::string&) { return target = true; };
    };
    std::vector<cli::CompareOption> options = {
        cli::PresetOption(presetName),
        {"--action", "DIRECTION", "left-to-right, right-to-left or auto (default: the preset's, else auto)",
         [&flags](const std::string& v, cli::CompareArgs&, std::string& e) { return ParseDirection(v, flags, e); }},
        {"--force", nullptr, "also overwrite newer entries and delete one-sided ones", flag(flags.Force)},
        {"--backup", nullptr, "keep what is overwritten or deleted in the program folder", flag(flags.Backup)},
        cli::TransfersOption(flags.Transfers),
        {"--multi-thread", nullptr, "at least two transfers at once (as older versions took it)",
         flag(flags.MultiThread)},
        {"--dry-run", nullptr, "print the operations an update would do, change nothing", flag(flags.DryRun)},
        {"--max-delete", "N", "change nothing when the update would delete more than N entries",
         [&flags](const std::string& v, cli::CompareArgs&, std::string& e) { return ParseMaxDelete(v, flags, e); }},
    };
    for (cli::CompareOption& option : cli::OutputOptionList(output)) options.push_back(std::move(option));
    return options;
}

// How a run ended, for its last line and exit status.
struct UpdateEnd {
    bool Updated = false;
    bool Refused = false;  // --max-delete: nothing was changed
};

// Runs the comparison and the update on this thread's hand-over queue; a stop request stops
// either.
UpdateEnd CompareAndUpdate(kn::TKNFileCompare& engine, const UpdateFlags& flags, cli::UpdateReport& report)
{
    UpdateEnd end;
    cli::InterruptStops stops(engine);
    // Content-equal pairs whose times differ stay rows, so the update sets their times; the
    // follow-up comparison lists real differences only.
    engine.KeepContentEqualRows = engine.CompareContent;
    engine.Compare(true);
    engine.KeepContentEqualRows = false;
    if (cli::InterruptStops::Interrupted() || !engine.ErrorText.empty()) return end;
    const std::vector<int> rows = cli::AllRows(engine);
    const kn::TKNPlanTotals plan = kn::PlanTotals(engine.Items, rows, *flags.Direction, flags.Force);
    if (flags.MaxDelete && plan.Deletions() > *flags.MaxDelete) {
        std::fprintf(stderr,
                     "kestrune-cli update: the update would delete %lld entries, more than --max-delete %lld; "
                     "nothing was changed\n%s\n",
                     static_cast<long long>(plan.Deletions()), static_cast<long long>(*flags.MaxDelete),
                     kn::PlanLine(plan).c_str());
        end.Refused = true;
        return end;
    }
    engine.UpdateDryRun = flags.DryRun;
    report.Starting(plan);
    engine.Update(*flags.Direction, flags.Force, rows, true, !flags.DryRun, flags.Backup && !flags.DryRun);
    end.Updated = true;
    return end;
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
    // Nothing is compared for roots of which one holds the other: no run could be right.
    if (!kn::IsRemotePath(line.Left) && !kn::IsRemotePath(line.Right)) {
        if (std::string nested = kn::NestedRootsProblem(line.Left, line.Right); !nested.empty()) {
            std::fprintf(stderr, "kestrune-cli update: %s Nothing was changed.\n", nested.c_str());
            return cli::ExitUsage;
        }
    }
    // A stored value out of range reads as Auto here.
    const kn::TKNAction action = line.Args.Options.Action;
    if (!flags.Direction) flags.Direction = static_cast<int>(action) <= 2 ? action : kn::TKNAction::Auto;

    kn::TKNFileCompare engine;
    cli::SetUpEngine(engine, line);
    if (flags.MultiThread) engine.Transfers = std::max(engine.Transfers, 2);
    if (flags.Transfers) engine.Transfers = *flags.Transfers;
    cli::UpdateReport report(engine, output);
    const UpdateEnd end = CompareAndUpdate(engine, flags, report);
    const cli::RunCounts counts = report.Counts(flags.DryRun);
    cli::SummaryFacts facts;
    facts.Command = "update";
    facts.Counts = &counts;
    facts.DryRun = flags.DryRun;
    if (end.Refused) {
        facts.Exit = cli::ExitUsage;
        return cli::Summarize(output, facts, engine);
    }
    if (auto failed = cli::ReportCompared(kText, engine, output, *flags.Direction, flags.Force)) {
        facts.Stopped = *failed == cli::ExitInterrupted;
        facts.Error = facts.Stopped ? std::string() : engine.ErrorText;
        facts.Exit = *failed;
        return cli::Summarize(output, facts, engine);
    }
    // The last line: what the run would do, or what it did.
    if (end.Updated)
        std::fprintf(
            stderr, "%s\n",
            (flags.DryRun ? kn::PlanLine(engine.LastUpdate().Planned) : kn::DoneLine(engine.LastUpdate())).c_str());
    // Rows in folders that could not be read were left alone: the run did not do everything.
    facts.Rows = engine.Items.size();
    facts.Exit = report.Failures() == 0 && engine.UnlistedCount() == 0 ? cli::ExitOk : cli::ExitFound;
    return cli::Summarize(output, facts, engine);
}

const cli::CliCommandRegistration updateCommand("update", "bring two folder trees into line", RunUpdate);

}  // namespace
