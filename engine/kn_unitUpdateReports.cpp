#include "engine/kn_unitUpdateReports.h"

#include <utility>

#include "engine/kn_unitCompare.h"

namespace kn {

TKNUpdateReports::TKNUpdateReports(TKNFileCompare& engine, int slots)
    : engine_(engine),
      slots_(new TSlot[static_cast<std::size_t>(slots > 0 ? slots : 1)]),
      slotCount_(slots > 0 ? slots : 1)
{
}

bool TKNUpdateReports::SynchronizedProgress() const
{
    return engine_.ProgressDelivery == vex::TDelivery::Synchronized;
}

void TKNUpdateReports::Step(const std::string& shown)
{
    if (!engine_.OnUpdateProgress || SynchronizedProgress()) {
        const int position = ++steps_;
        if (engine_.OnUpdateProgress)
            vex::Synchronize([this, &shown, position] { engine_.OnUpdateProgress(&engine_, shown, position); });
        return;
    }
    {
        // Counted under the buffer's lock, so that the positions arrive in order.
        std::lock_guard<std::mutex> lock(lock_);
        pending_.push_back({TKind::Step, ++steps_, shown, {}});
    }
    Schedule();
}

void TKNUpdateReports::StartBytes(int slot, const std::string& shown, int64_t total)
{
    TSlot& s = slots_[static_cast<std::size_t>(slot % slotCount_)];
    {
        std::lock_guard<std::mutex> lock(s.Lock);
        s.Name = shown;
    }
    s.Total = total;
    s.Done = 0;
    s.Started = ++transfers_;
    MoreBytes(slot, 0);
}

void TKNUpdateReports::MoreBytes(int slot, int64_t done)
{
    TSlot& s = slots_[static_cast<std::size_t>(slot % slotCount_)];
    s.Done = done;
    if (!engine_.OnFileProgress) return;
    if (SynchronizedProgress()) {
        std::string name;
        {
            std::lock_guard<std::mutex> lock(s.Lock);
            name = s.Name;
        }
        const int64_t total = s.Total;
        vex::Synchronize([&] { engine_.OnFileProgress(&engine_, name, total, done); });
        return;
    }
    bytesMoved_ = true;
    Schedule();
}

void TKNUpdateReports::EndBytes(int slot)
{
    TSlot& s = slots_[static_cast<std::size_t>(slot % slotCount_)];
    if (s.Started == 0) return;
    s.Started = 0;
    s.Total = 0;
    s.Done = 0;
    // A synchronised listener heard the last block already; a queued one hears the sum drop.
    if (!engine_.OnFileProgress || SynchronizedProgress()) return;
    bytesMoved_ = true;
    Schedule();
}

void TKNUpdateReports::Operation(const TKNOpEvent& event)
{
    if (engine_.OnOperation) Add({TKind::Operation, 0, {}, event});
}

void TKNUpdateReports::Error(const std::string& message)
{
    Add({TKind::Error, 0, message, {}});
}

void TKNUpdateReports::DryRun(const std::string& text)
{
    if (engine_.OnDryRunOperation) Add({TKind::DryRun, 0, text, {}});
}

void TKNUpdateReports::Notice(const std::string& text)
{
    if (engine_.OnNotice) Add({TKind::Notice, 0, text, {}});
}

void TKNUpdateReports::Add(TReport report)
{
    {
        std::lock_guard<std::mutex> lock(lock_);
        pending_.push_back(std::move(report));
    }
    Schedule();
}

// One drain serves every report that comes before it runs: it clears the flag before it takes
// the buffer, so a report added meanwhile schedules the next one.
void TKNUpdateReports::Schedule()
{
    if (scheduled_.exchange(true)) return;
    vex::PostNewest(this, [this] { Drain(); });
}

// A handler may open a modal window, whose event loop runs the next drain inside this one: that
// one leaves the reports to this one, which goes on until the buffer stays empty, so they keep
// their order.
void TKNUpdateReports::Drain()
{
    if (draining_) return;
    draining_ = true;
    for (;;) {
        scheduled_ = false;
        std::vector<TReport> batch;
        {
            std::lock_guard<std::mutex> lock(lock_);
            batch.swap(pending_);
        }
        if (batch.empty()) break;
        Raise(batch);
    }
    if (bytesMoved_.exchange(false)) RaiseBytes();
    draining_ = false;
}

void TKNUpdateReports::Raise(std::vector<TReport>& batch)
{
    const bool newest = engine_.ProgressDelivery == vex::TDelivery::Newest;
    std::size_t lastStep = batch.size();
    if (newest)
        for (std::size_t i = 0; i < batch.size(); ++i)
            if (batch[i].Kind == TKind::Step) lastStep = i;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        TReport& report = batch[i];
        switch (report.Kind) {
            case TKind::Step:
                if (!newest || i == lastStep) engine_.OnUpdateProgress(&engine_, report.Text, report.Position);
                break;
            case TKind::Operation:
                engine_.OnOperation(&engine_, report.Event);
                break;
            case TKind::Error:
                if (engine_.OnError) engine_.OnError(&engine_, report.Text);
                break;
            case TKind::DryRun:
                engine_.OnDryRunOperation(&engine_, report.Text);
                break;
            case TKind::Notice:
                engine_.OnNotice(&engine_, report.Text);
                break;
        }
    }
}

// The transfers in work, summed over the workers, named after the one begun last.
void TKNUpdateReports::RaiseBytes()
{
    if (!engine_.OnFileProgress) return;
    int64_t total = 0, done = 0;
    uint64_t latest = 0;
    std::string name;
    for (int i = 0; i < slotCount_; ++i) {
        TSlot& s = slots_[static_cast<std::size_t>(i)];
        const uint64_t started = s.Started;
        if (started == 0) continue;
        total += s.Total;
        done += s.Done;
        if (started > latest) {
            latest = started;
            std::lock_guard<std::mutex> lock(s.Lock);
            name = s.Name;
        }
    }
    if (total == raisedTotal_ && done == raisedDone_ && name == raisedName_) return;
    raisedTotal_ = total;
    raisedDone_ = done;
    raisedName_ = name;
    engine_.OnFileProgress(&engine_, name, total, done);
}

}  // namespace kn
