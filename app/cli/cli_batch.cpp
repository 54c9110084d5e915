// kestrune-cli batch NAME: runs a batch of the configuration as the desktop program's batch menu
// does, without asking first, so that batches can run from a scheduler. Each entry's preset is
// compared and then updated with the entry's action and force flag (no backup); a last
// comparison shows what is left.
#include <cstdio>
#include <optional>

#include "app/cli/cli_command.h"
#include "app/cli/cli_compare_options.h"
#include "app/cli/cli_rows.h"
#include "app/cli/cli_update_report.h"
#include "config/kn_unitConfig.h"
#include "engine/kn_unitCompare.h"
#include "engine/kn_unitUpdatePlan.h"
#include "framework/vex_unitText.h"

namespace {

const char* const kUsage =
    "Usage: kestrune-cli batch NAME [--max-delete N]\n"
    "Runs the batch NAME of the configuration (see `kestrune-cli batches`) as the desktop\n"
    "program's batch menu does, without asking first. For each entry in turn: its preset's\n"
    "folders and options are compared, then updated in the entry's direction, forced when the\n"
    "entry says so, without backup. An entry whose preset no longer exists is skipped; one whose\n"
    "local folder does not exist is skipped as a failure, since comparing it with nothing would\n"
    "let a forced update delete the other side. At the end the last preset's folders are\n"
    "compared once more and the rows left are printed as `kestrune-cli compare` prints them.\n"
    "\nAn entry whose forced update would delete more than 10 entries and more than half of the\n"
    "side it writes is skipped as a failure; with --max-delete N an entry is skipped instead when\n"
    "it would delete more than N entries.\n"
    "\nEach step is printed as \"[N/COUNT] ...\", each operation's path as it is carried out;\n"
    "failures go to standard error and the batch goes on. Ctrl+C stops the batch.\n"
    "\nExit status: 0 every operation succeeded, 1 an operation or a step failed, 2 no such\n"
    "batch or a usage error, 130 stopped by Ctrl+C.\n";

const char* ActionText(kn::TKNAction action)
{
    switch (action) {
        case kn::TKNAction::LeftToRight:
            return "Left to Right";
        case kn::TKNAction::RightToLeft:
            return "Right to Left";
        default:
            return "Auto";
    }
}

// Why the preset's folders cannot be compared safely, if they cannot.
std::optional<std::string> UnusableFolder(const kn::TKNOptionsRec& preset)
{
    for (const std::string& folder : {vex::GetField(preset.LeftFolder), vex::GetField(preset.RightFolder)})
        if (std::string problem = cli::CheckLocalRoot(folder); !problem.empty()) return problem;
    return std::nullopt;
}

class BatchRun {
public:
    BatchRun(const kn::TKNConfig& config, std::optional<int64_t> maxDelete)
        : config_(config), maxDelete_(maxDelete), stops_(engine_)
    {
        cli::PrintUpdateOperations(engine_, failures_);
    }

    // Runs every entry, then the last comparison. False when stopped by Ctrl+C.
    bool Run(const kn::TKNBatchRec& batch)
    {
        const int count = kn::UsedEntries(batch);
        std::printf("Batch \"%s\": %d entr%s\n", vex::GetField(batch.Name).c_str(), count, count == 1 ? "y" : "ies");
        int ran = 0;
        for (int i = 0; i < count && !Stopped(); ++i) {
            std::printf("[%d/%d] ", i + 1, count);
            if (RunEntry(batch.Entries[i])) ++ran;
        }
        if (Stopped()) return false;
        if (ran > 0) FinalComparison();
        return !Stopped();
    }

    int Failures() const { return failures_; }

private:
    static bool Stopped() { return cli::InterruptStops::Interrupted(); }

    void Fail(const std::string& message)
    {
        ++failures_;
        std::fflush(stdout);
        std::fprintf(stderr, "kestrune-cli batch: %s\n", cli::EscapeText(kn::HideLocationPasswords(message)).c_str());
    }

    bool RunEntry(const kn::TKNBatchEntry& entry)
    {
        const std::string name = vex::GetField(entry.PresetName);
        // A damaged value reads as Auto, never as a direction.
        const kn::TKNAction action = kn::StoredAction(static_cast<int>(entry.Action));
        const kn::TKNOptionsRec* preset = config_.Presets.Find(name);
        if (!preset) {
            std::printf("preset \"%s\": skipped, there is no such preset\n", name.c_str());
            return false;
        }
        std::printf("preset \"%s\": %s%s\n  left:  %s\n  right: %s\n", name.c_str(), ActionText(action),
                    entry.Force ? ", Force Update" : "",
                    kn::HideLocationPasswords(vex::GetField(preset->LeftFolder)).c_str(),
                    kn::HideLocationPasswords(vex::GetField(preset->RightFolder)).c_str());
        std::fflush(stdout);
        if (std::optional<std::string> problem = UnusableFolder(*preset)) {
            Fail("preset \"" + name + "\" skipped: " + *problem);
            return false;
        }
        engine_.KeepContentEqualRows = true;  // the update sets the times of content-equal pairs
        const bool compared = Compare(*preset);
        engine_.KeepContentEqualRows = false;
        if (!compared) return false;
        const std::vector<int> rows = cli::AllRows(engine_);
        if (std::optional<std::string> problem = TooManyDeletions(rows, action, entry.Force != 0)) {
            Fail("preset \"" + name + "\" skipped: " + *problem);
            return false;
        }
        engine_.Update(action, entry.Force != 0, rows, true, false, false);
        std::fflush(stdout);
        last_ = preset;
        return true;
    }

    // Why the plan deletes too much to run unasked, if it does: more than --max-delete when
    // given, else the guard's share of the written side.
    std::optional<std::string> TooManyDeletions(const std::vector<int>& rows, kn::TKNAction action, bool force)
    {
        const kn::TKNPlanTotals plan = kn::PlanTotals(engine_.Items, rows, action, force);
        const std::string deletes = std::to_string(plan.Deletions());
        if (maxDelete_) {
            if (plan.Deletions() <= *maxDelete_) return std::nullopt;
            return "the update would delete " + deletes + " entries, more than --max-delete " +
                   std::to_string(*maxDelete_);
        }
        int64_t entries = 0;
        if (!kn::PlanTripsDeletionGuard(engine_, plan, action, entries)) return std::nullopt;
        return "the update would delete " + deletes + " of the " + std::to_string(entries) +
               " entries of the side it writes (give --max-delete to allow it)";
    }

    // Compares with `options`; false when the comparison failed or was stopped.
    bool Compare(const kn::TKNOptionsRec& options)
    {
        engine_.ApplyOptions(options);
        engine_.Compare(true);
        if (Stopped()) return false;
        if (!engine_.ErrorText.empty()) {
            Fail("the comparison failed: " + engine_.ErrorText);
            return false;
        }
        std::fflush(stdout);
        cli::PrintScanNotes(stderr, engine_);
        std::printf("  Found %zu folder(s) and file(s).\n", engine_.Items.size());
        return true;
    }

    void FinalComparison()
    {
        std::printf("Final comparison: preset \"%s\"\n", vex::GetField(last_->Name).c_str());
        if (!Compare(*last_)) return;
        cli::PrintRows(stdout, engine_);
        std::fflush(stdout);
    }

    const kn::TKNConfig& config_;
    const std::optional<int64_t> maxDelete_;
    kn::TKNFileCompare engine_;
    cli::InterruptStops stops_;
    int failures_ = 0;
    const kn::TKNOptionsRec* last_ = nullptr;
};

int RunBatchCommand(std::vector<std::string> args)
{
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return cli::ExitOk;
    }
    std::optional<int64_t> maxDelete;
    if (args.size() == 3 && args[1] == "--max-delete") {
        maxDelete = cli::ParseCount(args[2]);
        if (!maxDelete) {
            std::fprintf(stderr, "kestrune-cli batch: --max-delete: expected a count of entries, not \"%s\"\n",
                         args[2].c_str());
            return cli::ExitUsage;
        }
        args.resize(1);
    }
    if (args.size() != 1 || args[0].empty()) {
        std::fprintf(stderr, "kestrune-cli batch: give exactly one batch name\n%s", kUsage);
        return cli::ExitUsage;
    }
    auto config = kn::TKNConfig::OpenProgramConfig();
    const kn::TKNBatchRec* found = config->Batches.Find(args[0]);
    if (!found) {
        std::fprintf(stderr, "kestrune-cli batch: there is no batch named \"%s\" in %s\n", args[0].c_str(),
                     config->ConfigFile.FileName().c_str());
        return cli::ExitUsage;
    }
    const kn::TKNBatchRec batch = *found;
    BatchRun run(*config, maxDelete);
    const bool finished = run.Run(batch);
    std::fflush(stdout);
    if (!finished) {
        std::fprintf(stderr, "kestrune-cli batch: stopped\n");
        return cli::ExitInterrupted;
    }
    return run.Failures() == 0 ? cli::ExitOk : cli::ExitFound;
}

const cli::CliCommandRegistration batchCommand("batch", "run a batch of presets: compare and update each",
                                               RunBatchCommand);

}  // namespace
