#include "engine/kn_unitUpdatePool.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "engine/kn_unitCompareUpdate.h"
#include "engine/kn_unitUpdate.h"
#include "side/kn_unitSideRules.h"

namespace kn {

namespace {

// How often waiting workers and the pool look at the stop request.
constexpr auto kStopPoll = std::chrono::milliseconds(20);

}  // namespace

TKNUpdatePool::TKNUpdatePool(TKNUpdateThread& run, int workers)
    : run_(run), workers_(workers > 0 ? workers : 1), active_(static_cast<std::size_t>(workers_), nullptr)
{
}

void TKNUpdatePool::Run(const std::vector<std::vector<std::size_t>>& stages, const std::vector<bool>& grouped,
                        bool reads, const TCarry& carry)
{
    stages_ = &stages;
    grouped_ = &grouped;
    std::vector<std::thread> threads;
    for (int slot = 0; slot < workers_; ++slot)
        threads.emplace_back([this, slot, reads, &carry] { Work(slot, reads, carry); });
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (ended_ < workers_) {
            changed_.wait_for(lock, kStopPoll);
            if (!run_.StopRequested()) continue;
            for (TKNUpdateWorker* worker : active_)
                if (worker) worker->RequestStop();
            changed_.notify_all();
        }
    }
    for (std::thread& thread : threads) thread.join();
    if (failure_) std::rethrow_exception(failure_);
    // A pool that never got a connection fails as one worker would, jobs or none.
    if (!run_.StopRequested() && (connected_ == 0 || JobsLeft())) throw std::runtime_error(firstRefusal_);
    if (retired_ > 0)
        run_.Notice(std::to_string(retired_) + " of " + std::to_string(workers_) +
                    " transfers at once could not connect, and the update went on without them: " + firstRefusal_);
}

void TKNUpdatePool::Work(int slot, bool reads, const TCarry& carry)
{
    // The run's temporary files carry its tag: a later run tells them by its lock.
    const TKNTempTag tag(run_.FileCompare.RunTag);
    TKNUpdateWorker worker(run_, slot);
    // Declared after the worker, so it ends before the worker closes its sides.
    struct TLeave {
        TKNUpdatePool& pool;
        int slot;
        ~TLeave()
        {
            std::lock_guard<std::mutex> lock(pool.mutex_);
            pool.active_[static_cast<std::size_t>(slot)] = nullptr;
            ++pool.ended_;
            pool.changed_.notify_all();
        }
    } leave{*this, slot};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        active_[static_cast<std::size_t>(slot)] = &worker;
    }
    try {
        worker.Connect(reads);
    } catch (const TKNConnectError& e) {
        Retire(e.what());
        return;
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_) failure_ = std::current_exception();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++connected_;
    }
    std::vector<std::size_t> jobs;
    while (Take(worker.FilesAtOnce(), jobs)) {
        try {
            carry(worker, jobs);
        } catch (const TKNConnectError& e) {
            // Nothing of the jobs was done before their side was reached: other workers do them.
            Ended(true, jobs);
            Retire(e.what());
            return;
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!failure_) failure_ = std::current_exception();
            --inFlight_;
            changed_.notify_all();
            return;
        }
        Ended(false, jobs);
    }
}

// The next jobs: one handed back first, else the next of the stage with those after it that
// join its group; once the stage is handed out, the worker waits until its last take has
// ended, then the next stage begins.
bool TKNUpdatePool::Take(int groupSize, std::vector<std::size_t>& jobs)
{
    jobs.clear();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (run_.StopRequested() || failure_) return false;
        if (!returned_.empty()) {
            jobs.push_back(returned_.front());
            returned_.pop_front();
            ++inFlight_;
            return true;
        }
        if (stage_ >= stages_->size()) return false;
        const std::vector<std::size_t>& stage = (*stages_)[stage_];
        if (next_ < stage.size()) {
            const std::size_t workers = static_cast<std::size_t>(std::max(1, workers_ - ended_));
            const std::size_t share = (stage.size() - next_ + workers - 1) / workers;
            const std::size_t most = std::min(static_cast<std::size_t>(std::max(1, groupSize)), share);
            jobs.push_back(stage[next_++]);
            while (jobs.size() < most && next_ < stage.size() && (*grouped_)[jobs.front()] && (*grouped_)[stage[next_]])
                jobs.push_back(stage[next_++]);
            ++inFlight_;
            return true;
        }
        if (inFlight_ == 0) {
            ++stage_;
            next_ = 0;
            continue;
        }
        changed_.wait_for(lock, kStopPoll);
    }
}

// Only a job handed back or a stage's last take wakes anyone: workers wait for nothing else,
// and the pool's own thread only for workers that end (a wake-up a file cost a switch each).
void TKNUpdatePool::Ended(bool gaveBack, const std::vector<std::size_t>& jobs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (gaveBack) returned_.insert(returned_.end(), jobs.begin(), jobs.end());
    if (--inFlight_ == 0 || gaveBack) changed_.notify_all();
}

void TKNUpdatePool::Retire(const std::string& reason)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++retired_;
    if (firstRefusal_.empty()) firstRefusal_ = reason;
    changed_.notify_all();
}

bool TKNUpdatePool::JobsLeft() const
{
    if (!returned_.empty()) return true;
    const std::size_t stages = stages_->size();
    return stage_ < stages && (next_ < (*stages_)[stage_].size() || stage_ + 1 < stages);
}

}  // namespace kn
