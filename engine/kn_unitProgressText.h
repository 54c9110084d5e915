// The text of an update's progress, as the command line's progress line and the window's status
// bar show it: the run's operations and bytes, its rate and the time left, then the transfers in
// work with their own bytes and time left. A pure function of the figures, so that its rules (no
// rate before a second has passed, no time left without a rate, bytes in work counted once) are
// tested apart from either; and the tally of a running update both feed it from their reports.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "engine/kn_unitUpdatePlan.h"

namespace kn {

struct TKNUpdateFigures {
    int64_t TotalOps = 0, DoneOps = 0;
    // The bytes the plan copies, and those of the copies that ended.
    int64_t TotalBytes = 0, EndedBytes = 0;
    // The transfers in work, summed over the workers, named after the one begun last (empty
    // when none is in work).
    std::string WorkName;
    int64_t WorkTotal = 0, WorkDone = 0;
    double Seconds = 0;  // since the update began
};

// "3/40 operations, 1.2 GiB of 4.8 GiB, 20.0 MiB/s, 3:05 left; 300.0 MiB of 1.0 GiB, 0:35 left in big.iso"
std::string UpdateProgressText(const TKNUpdateFigures& figures);

struct TKNOpEvent;

// The figures of a running update as its reports arrive (main thread), for both programs.
class TKNUpdateProgress {
public:
    // An update of `plan` begins: its operations and bytes, nothing done, the clock started.
    void Start(const TKNPlanTotals& plan);
    // One operation ended.
    void Ended(const TKNOpEvent& event);
    // The transfers in work, as the engine sums them; `name` as it is to be shown.
    void InWork(std::string name, int64_t total, int64_t done);
    bool AllEnded() const { return figures_.DoneOps == figures_.TotalOps; }
    int64_t Operations() const { return figures_.TotalOps; }
    // UpdateProgressText of the figures as of now.
    std::string Text();

private:
    TKNUpdateFigures figures_;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace kn
