// What the workers of an update run tell the main thread, gathered so that none of them waits:
// the row progress (a step per operation begun, its position counted across all workers), the
// bytes of the transfers in work (one slot per worker, summed), each operation's event, the
// failures, the dry run's lines and the notices.
//
// Reports are appended to one buffer; the first report into an empty buffer schedules one
// drain on the main thread, at most kNewestRate a second (vex::PostNewest: a queued call runs
// after it, so nothing overtakes a report), which raises the engine's events for all of them in
// the order they came. So the main thread wakes for batches, never once per file. Queued
// delivery raises every step; newest-only delivery the last step of a batch and the summed
// bytes once. Synchronized delivery keeps the worker waiting for each step and byte report,
// for callers that act on a given step.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/kn_unitUpdateEvent.h"
#include "framework/vex_unitThreads.h"

namespace kn {

class TKNFileCompare;

class TKNUpdateReports {
public:
    // The engine's events are raised for `engine`; `slots` workers report bytes.
    TKNUpdateReports(TKNFileCompare& engine, int slots);
    TKNUpdateReports(const TKNUpdateReports&) = delete;
    TKNUpdateReports& operator=(const TKNUpdateReports&) = delete;

    // An operation on `shown` begins: its position is the count of steps so far.
    void Step(const std::string& shown);
    // A transfer of `total` bytes on `shown` begins in worker `slot`, then moves on.
    void StartBytes(int slot, const std::string& shown, int64_t total);
    void MoreBytes(int slot, int64_t done);
    // Worker `slot`'s step has ended: its bytes leave the sum of the transfers in work (the
    // ended operation's own event counts them from now on).
    void EndBytes(int slot);
    void Operation(const TKNOpEvent& event);
    void Error(const std::string& message);
    void DryRun(const std::string& text);
    void Notice(const std::string& text);

    // Raises what is gathered (main thread): the scheduled drain, and the end of the run before
    // its report.
    void Drain();

private:
    enum class TKind : uint8_t { Step, Operation, Error, DryRun, Notice };
    struct TReport {
        TKind Kind;
        int Position = 0;
        std::string Text;
        TKNOpEvent Event;
    };
    struct TSlot {
        std::mutex Lock;  // the name; taken by its worker once per transfer and by the drain
        std::string Name;
        std::atomic<int64_t> Total{0}, Done{0};
        std::atomic<uint64_t> Started{0};  // when its transfer began, in StartBytes calls
    };

    void Add(TReport report);
    void Schedule();
    void Raise(std::vector<TReport>& batch);
    void RaiseBytes();
    bool SynchronizedProgress() const;

    TKNFileCompare& engine_;
    std::atomic<int> steps_{0};
    std::atomic<uint64_t> transfers_{0};
    std::unique_ptr<TSlot[]> slots_;
    int slotCount_;
    std::mutex lock_;  // the buffer: one push or one swap at a time
    std::vector<TReport> pending_;
    std::atomic<bool> scheduled_{false};
    std::atomic<bool> bytesMoved_{false};
    // Main thread only.
    bool draining_ = false;
    int64_t raisedTotal_ = -1, raisedDone_ = -1;
    std::string raisedName_;
};

}  // namespace kn
