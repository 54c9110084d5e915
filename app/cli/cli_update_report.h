// How kestrune-cli reports an update while it runs, shared by the commands that update
// (update, batch): each operation as a record on standard output as it ends (text: its path as
// it is carried out; a dry run: what the operation would do), each failure on standard error,
// the progress line; and the stop requests (Ctrl+C, SIGTERM, SIGHUP, a closed standard output)
// turned into a stop of the engine between operations (compare's go through the same guard).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/cli_command.h"
#include "app/cli/cli_compare_options.h"
#include "app/cli/cli_output.h"
#include "app/cli/cli_progress.h"
#include "engine/kn_unitCompare.h"
#include "engine/kn_unitRun.h"

namespace cli {

// Binds the engine's update events to the output `options` ask for; must outlive the engine's
// runs.
class UpdateReport {
public:
    UpdateReport(kn::TKNFileCompare& engine, const OutputOptions& options);
    UpdateReport(const UpdateReport&) = delete;
    UpdateReport& operator=(const UpdateReport&) = delete;

    // An update of `plan` is about to start (the progress line counts against it).
    void Starting(const kn::TKNPlanTotals& plan);
    // The failures reported so far (operations, skipped operations, and runs that could not
    // start).
    int Failures() const { return failures_; }
    // What the engine's last update planned (a dry run) or did, for a summary.
    RunCounts Counts(bool dryRun) const;

private:
    void Operation(const kn::TKNOpEvent& event);

    kn::TKNFileCompare& engine_;
    const OutputOptions options_;
    ProgressLine progress_;
    bool showProgress_ = false;
    int failures_ = 0;
};

// What the command line answers the run layer: passwords as SupplyPassword finds them, no to
// every question (trusting a server is `kestrune-cli trust`'s, a mass deletion --max-delete's),
// and the update's start to `report`. `compared` (when set) hears of the comparison's end and
// says whether the run goes on.
class RunObserver : public kn::TKNRunObserver {
public:
    explicit RunObserver(UpdateReport* report = nullptr) : report_(report) {}
    std::string SupplyPassword(const std::string& location) override;
    bool Compared(const kn::TKNFileCompare& engine) override { return !OnCompared || OnCompared(engine); }
    void Updating(const kn::TKNPlanTotals& plan) override
    {
        if (report_) report_->Starting(plan);
    }
    std::function<bool(const kn::TKNFileCompare&)> OnCompared;

private:
    UpdateReport* report_;
};

// A count given on the command line (--max-delete N): a whole number of 0 or more, or nothing.
std::optional<int64_t> ParseCount(const std::string& text);

// "--transfers N" for update and batch: N operations at once (1 to kn::kMaxTransfers), each with
// its own connections, whatever the options or presets say.
CompareOption TransfersOption(std::optional<int>& transfers);
// --bwlimit RATE: the bytes per second of all transfers together ("0" for none).
CompareOption BandwidthOption(std::optional<int64_t>& limit);

// Every row of the engine's result, in its order.
std::vector<int> AllRows(const kn::TKNFileCompare& engine);

// While it exists, Ctrl+C, SIGTERM and SIGHUP ask `engine` to stop whatever it runs (a second
// one ends the program at once), and so does a standard output that can no longer be written
// (a reader that went away): the engine's own stop path removes its temporary files. The
// waits of the engine test it on the main thread.
class InterruptStops {
public:
    explicit InterruptStops(kn::TKNFileCompare& engine);
    ~InterruptStops();
    InterruptStops(const InterruptStops&) = delete;
    InterruptStops& operator=(const InterruptStops&) = delete;

    // A stop was asked for since the guard was made (or standard output failed).
    static bool Interrupted();
};

// Says on standard error that `command` stopped ("kestrune-cli update: stopped"), or that its
// standard output could not be written; nothing when that output is a pipe whose reader has
// gone (`kestrune-cli compare ... | head`), where common tools end quietly too.
void SayStopped(const std::string& command);

// Ignores SIGPIPE for the whole program: a write to a closed pipe fails with EPIPE, which the
// guard above sees, instead of killing the program silently.
void IgnoreBrokenPipes();

}  // namespace cli
