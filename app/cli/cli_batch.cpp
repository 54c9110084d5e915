// kestrune-cli batch NAME: runs a batch of the configuration as the desktop program's batch menu
// does, without asking first, so that batches can run from a scheduler. Each entry's preset is
// compared and then updated with the entry's action and force flag (no backup); a last
// comparison shows what is left, and a summary says how each step ended.
#include <cstdarg>
#include <cstdio>
#include <optional>

#include "app/cli/cli_command.h"
#include "app/cli/cli_compare_options.h"
#include "app/cli/cli_output.h"
#include "app/cli/cli_rows.h"
#include "app/cli/cli_update_report.h"
#include "app/cli/cli_usage.h"
#include "config/kn_unitConfig.h"
#include "engine/kn_unitCompare.h"
#include "engine/kn_unitTwoWayRun.h"
#include "engine/kn_unitUpdatePlan.h"
#include "framework/vex_unitCounts.h"
#include "framework/vex_unitText.h"

namespace {

const char* const kUsage =
    "Usage: kestrune-cli batch NAME [--max-delete N] [--transfers N] [--bwlimit RATE] [--format FORMAT]\n"
    "                           [-q|--quiet] [--progress]\n"
    "Runs the batch NAME of the configuration (see `kestrune-cli batches`) as the desktop\n"
    "program's batch menu does, without asking first. For each entry in turn: its preset's\n"
    "folders and options are compared, then updated in the entry's direction, forced when the\n"
    "entry says so, without backup. An entry whose preset no longer exists is skipped; one whose\n"
    "local folder does not exist is refused as a failure, since comparing it with nothing would\n"
    "let a forced update delete the other side. At the end the last preset's folders are\n"
    "compared once more and the rows left are printed as `kestrune-cli compare` prints them,\n"
    "then a summary of every step (done, failed, skipped, refused, stopped) with its counts.\n"
    "\nAn entry whose update would delete more than 10 entries and more than half of a side (for\n"
    "two-way, of what the last synchronisation recorded there) is refused as a failure; with\n"
    "--max-delete N an entry is refused instead when it would delete more than N entries. An\n"
    "entry whose folders are one, or one inside the other, or whose pair another run is updating,\n"
    "is refused too. --transfers N carries out N operations at once in every entry, each with its\n"
    "own connections (default: each preset's setting); --bwlimit RATE (500K, 4M; 0: none) keeps\n"
    "all transfers of every entry together to RATE bytes a second (default: each preset's).\n"
    "\nEach step is printed as \"[N/COUNT] ...\", each operation's path as it is carried out;\n"
    "failures go to standard error and the batch goes on. Ctrl+C, SIGTERM or SIGHUP stops the\n"
    "batch. --format tsv or jsonl prints the operations and rows as records (jsonl adds a \"step\"\n"
    "object per step and a last summary; see the README), the step lines then go to standard\n"
    "error; --quiet prints only failures and the summary; --progress shows a live line on a\n"
    "terminal.\n"
    "\nExit status: 0 every operation succeeded, 1 an operation or a step failed, 2 no such\n"
    "batch or a usage error, 130 stopped (Ctrl+C, SIGTERM, SIGHUP, or standard output closed).\n";

// Why the preset's folders cannot be compared safely, if they cannot.
std::optional<std::string> UnusableFolder(const kn::TKNOptionsRec& preset)
{
    for (const std::string& folder : {vex::GetField(preset.LeftFolder), vex::GetField(preset.RightFolder)})
        if (std::string problem = cli::CheckLocalRoot(folder); !problem.empty()) return problem;
    return std::nullopt;
}

// What the command line sets for every entry, over each preset's own setting.
struct BatchFlags {
    std::optional<int64_t> MaxDelete;       // --max-delete N
    std::optional<int> Transfers;           // --transfers N
    std::optional<int64_t> BandwidthLimit;  // --bwlimit RATE
};

// How one entry ended.
struct StepResult {
    std::string Preset;
    const char* Result = "skipped";  // done, failed, skipped, refused, stopped
    std::string Reason;              // why it was not done
    std::optional<cli::RunCounts> Counts;
};

class BatchRun {
public:
    BatchRun(const kn::TKNConfig& config, const BatchFlags& flags, const cli::OutputOptions& output)
        : config_(config), flags_(flags), output_(output), report_(engine_, output), stops_(engine_)
    {
    }

    // Runs every entry, then the last comparison, then the summary; returns the exit status.
    int Run(const kn::TKNBatchRec& batch)
    {
        const int count = kn::UsedEntries(batch);
        Say("Batch \"%s\": %d entr%s\n", vex::GetField(batch.Name).c_str(), count, count == 1 ? "y" : "ies");
        for (int i = 0; i < count && !Stopped(); ++i) {
            Say("[%d/%d] ", i + 1, count);
            steps_.push_back(RunEntry(batch.Entries[i]));
            StepRecord(i, count);
        }
        if (!Stopped() && last_) FinalComparison();
        std::fflush(stdout);
        const int status = Stopped()                             ? cli::ExitInterrupted
                           : report_.Failures() + failures_ == 0 ? cli::ExitOk
                                                                 : cli::ExitFound;
        if (status == cli::ExitInterrupted) cli::SayStopped("batch");
        PrintSummary(vex::GetField(batch.Name), count, status);
        return status;
    }

private:
    static bool Stopped() { return cli::InterruptStops::Interrupted(); }
    bool TextOut() const { return output_.Format == cli::OutputFormat::Text; }

    // A line in words: on standard output in text (not with --quiet), else on standard error.
    void Say(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        if (TextOut() && output_.Quiet) return;
        std::va_list args;
        va_start(args, format);
        std::vfprintf(TextOut() ? stdout : stderr, format, args);
        va_end(args);
    }

    void Fail(StepResult& step, const char* result, const std::string& message)
    {
        ++failures_;
        step.Result = result;
        step.Reason = message;
        std::fflush(stdout);
        std::fprintf(stderr, "kestrune-cli batch: preset \"%s\" %s: %s\n", step.Preset.c_str(),
                     result == std::string("refused") ? "skipped" : result,
                     cli::EscapeText(kn::HideLocationPasswords(message)).c_str());
    }

    StepResult RunEntry(const kn::TKNBatchEntry& entry)
    {
        StepResult step;
        step.Preset = vex::GetField(entry.PresetName);
        // A damaged value reads as Auto, never as a direction.
        const kn::TKNAction action = kn::StoredAction(static_cast<int>(entry.Action));
        const kn::TKNOptionsRec* preset = config_.Presets.Find(step.Preset);
        if (!preset) {
            step.Reason = "there is no such preset";
            Say("preset \"%s\": skipped, %s\n", step.Preset.c_str(), step.Reason.c_str());
            return step;
        }
        Say("preset \"%s\": %s%s\n  left:  %s\n  right: %s\n", step.Preset.c_str(), kn::ActionCaption(action),
            entry.Force ? ", Force Update" : "", kn::HideLocationPasswords(vex::GetField(preset->LeftFolder)).c_str(),
            kn::HideLocationPasswords(vex::GetField(preset->RightFolder)).c_str());
        std::fflush(stdout);
        if (std::optional<std::string> problem = UnusableFolder(*preset)) {
            Fail(step, "refused", *problem);
            return step;
        }
        kn::TKNRunRequest request = Request(*preset);
        request.Action = action;
        request.Force = entry.Force != 0;
        request.CompareAfter = false;
        const int failuresBefore = report_.Failures();
        const kn::TKNRunResult result = Execute(request, step);
        if (!result.Updated) return step;
        std::fflush(stdout);
        step.Counts = report_.Counts(false);
        step.Result = Stopped() ? "stopped" : report_.Failures() == failuresBefore ? "done" : "failed";
        if (step.Result == std::string("done") && engine_.TwoWay && engine_.TwoWay->Outcome().ExitStatus() != 0)
            Fail(step, "failed", "conflicts were kept both ways or skipped, or paths were left unsettled");
        last_ = preset;
        lastAction_ = action;
        return step;
    }

    // A run of the run layer with the batch's settings for `preset`'s folders.
    kn::TKNRunRequest Request(const kn::TKNOptionsRec& preset) const
    {
        kn::TKNRunRequest request;
        request.Left = vex::GetField(preset.LeftFolder);
        request.Right = vex::GetField(preset.RightFolder);
        request.Options = preset;
        request.Transfers = flags_.Transfers;
        request.MaxDelete = flags_.MaxDelete;
        request.BandwidthLimit = flags_.BandwidthLimit;
        return request;
    }

    // Compares (and updates, as `request` says) through the run layer; a refusal or a failed
    // comparison ends the step as such.
    kn::TKNRunResult Execute(const kn::TKNRunRequest& request, StepResult& step)
    {
        cli::RunObserver observer(&report_);
        observer.OnCompared = [this](const kn::TKNFileCompare&) {
            std::fflush(stdout);
            cli::PrintScanNotes(stderr, engine_);
            Say("  Found %zu folder(s) and file(s).\n", engine_.Items.size());
            return true;
        };
        kn::TKNRun run(engine_, observer);
        const kn::TKNRunResult result = run.Execute(request);
        if (Stopped())
            step.Result = "stopped";
        else if (!result.Refusal.empty())
            Fail(step, "refused", result.Refusal);
        else if (!result.Compared)
            Fail(step, "failed", "the comparison failed: " + engine_.ErrorText);
        return result;
    }

    void FinalComparison()
    {
        Say("Final comparison: preset \"%s\"\n", vex::GetField(last_->Name).c_str());
        StepResult final;
        final.Preset = vex::GetField(last_->Name);
        kn::TKNRunRequest request = Request(*last_);
        request.Update = false;
        if (!Execute(request, final).Compared) return;
        cli::PrintRowRecords(output_, engine_, lastAction_, false);
        std::fflush(stdout);
    }

    // jsonl: the record of step `index` (0-based) of `count`, as soon as it has ended.
    void StepRecord(int index, int count)
    {
        if (output_.Format != cli::OutputFormat::Jsonl) return;
        const StepResult& step = steps_.back();
        vex::TJsonObject object;
        object.String("type", "step").Number("step", index + 1).Number("steps", count);
        object.String("preset", step.Preset).String("result", step.Result);
        if (step.Reason.empty())
            object.Null("reason");
        else
            object.String("reason", kn::HideLocationPasswords(step.Reason));
        if (step.Counts) cli::AddCounts(object, *step.Counts);
        cli::WriteLine(object.Text());
    }

    // How every step ended: lines in words (on standard output in text, else on standard
    // error), and in jsonl the summary record with the totals of all steps.
    void PrintSummary(const std::string& name, int count, int status)
    {
        cli::RunCounts totals;
        std::FILE* out = TextOut() ? stdout : stderr;
        std::fprintf(out, "Summary of batch \"%s\":\n", name.c_str());
        for (std::size_t i = 0; i < steps_.size(); ++i) {
            const StepResult& step = steps_[i];
            std::string line = "  [" + std::to_string(i + 1) + "/" + std::to_string(count) + "] preset \"" +
                               step.Preset + "\": " + step.Result;
            if (!step.Reason.empty()) line += ", " + cli::EscapeText(kn::HideLocationPasswords(step.Reason));
            if (step.Counts) {
                kn::TKNUpdateOutcome outcome;
                outcome.Done = step.Counts->Totals;
                outcome.Failures.resize(static_cast<std::size_t>(step.Counts->Failed));
                line += ". " + vex::GroupCountsInText(kn::DoneLine(outcome));
                Add(totals, *step.Counts);
            }
            std::fprintf(out, "%s\n", line.c_str());
        }
        std::fflush(out);
        cli::SummaryFacts facts;
        facts.Command = "batch";
        facts.Counts = &totals;
        facts.Rows = last_ && !Stopped() ? engine_.Items.size() : 0;
        facts.Stopped = status == cli::ExitInterrupted;
        facts.Exit = status;
        cli::Summarize(output_, facts, engine_);
    }

    static void Add(cli::RunCounts& sum, const cli::RunCounts& step)
    {
        kn::TKNPlanTotals& t = sum.Totals;
        const kn::TKNPlanTotals& s = step.Totals;
        t.FilesToCopy += s.FilesToCopy;
        t.BytesToCopy += s.BytesToCopy;
        t.FilesToDelete += s.FilesToDelete;
        t.FoldersToCreate += s.FoldersToCreate;
        t.FoldersToRemove += s.FoldersToRemove;
        t.AttributeChanges += s.AttributeChanges;
        t.TimesToSet += s.TimesToSet;
        sum.Failed += step.Failed;
    }

    const kn::TKNConfig& config_;
    const BatchFlags flags_;
    const cli::OutputOptions output_;
    kn::TKNFileCompare engine_;
    cli::UpdateReport report_;
    cli::InterruptStops stops_;
    int failures_ = 0;  // steps refused or failed before an update
    std::vector<StepResult> steps_;
    const kn::TKNOptionsRec* last_ = nullptr;
    kn::TKNAction lastAction_ = kn::TKNAction::Auto;
};

// Reads NAME and the options; returns an exit status when the command ends here.
std::optional<int> ParseBatchArgs(const std::vector<std::string>& args, std::string& name, BatchFlags& flags,
                                  cli::OutputOptions& output)
{
    cli::CompareArgs ignored;
    std::vector<cli::CompareOption> options = cli::OutputOptionList(output);
    options.push_back({"--max-delete", "N", "", [&flags](const std::string& v, cli::CompareArgs&, std::string& e) {
                           flags.MaxDelete = cli::ParseCount(v);
                           if (!flags.MaxDelete) e = "expected a count of entries, not \"" + v + "\"";
                           return flags.MaxDelete.has_value();
                       }});
    options.push_back(cli::TransfersOption(flags.Transfers));
    options.push_back(cli::BandwidthOption(flags.BandwidthLimit));
    std::string error;
    if (!cli::ParseCompareArgs(args, ignored, error, options, false)) return cli::UsageError("batch", error);
    if (ignored.Help) {
        std::fputs(kUsage, stdout);
        return cli::ExitOk;
    }
    if (ignored.Operands.size() != 1 || ignored.Operands[0].empty())
        return cli::UsageError("batch", "give exactly one batch name");
    name = ignored.Operands[0];
    return std::nullopt;
}

int RunBatchCommand(std::vector<std::string> args)
{
    std::string name;
    BatchFlags flags;
    cli::OutputOptions output;
    if (std::optional<int> status = ParseBatchArgs(args, name, flags, output)) return *status;
    auto config = kn::TKNConfig::OpenProgramConfig();
    const kn::TKNBatchRec* found = config->Batches.Find(name);
    if (!found) {
        std::fprintf(stderr, "kestrune-cli batch: there is no batch named \"%s\" in %s\n", name.c_str(),
                     config->ConfigFile.FileName().c_str());
        return cli::ExitUsage;
    }
    const kn::TKNBatchRec batch = *found;
    BatchRun run(*config, flags, output);
    return run.Run(batch);
}

const cli::CliCommandRegistration batchCommand("batch", "run a batch of presets: compare and update each",
                                               RunBatchCommand);

}  // namespace
