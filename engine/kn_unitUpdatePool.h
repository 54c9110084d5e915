// A pool of update workers: threads, each with a TKNUpdateWorker of its own (its own pair of
// sides, so one connection each on a server), take jobs from one queue stage by stage
// (kn_unitUpdateSchedule.h): a stage's jobs go to whichever worker is free, and the next stage
// begins once every job of this one has ended.
//
// A worker that cannot reach a side retires: the job it held goes back to the queue for the
// others, its connections close and the run goes on with fewer workers (a server that refuses
// one more connection makes the pool smaller). Only a pool left without a worker while jobs
// remain fails the run, with the first reason. A stop request raises every worker's stop flag
// within about 20 ms, so each ends its operation in work early, and no job is taken after it.
//
// Errors: Run throws std::runtime_error with a side's message when no worker could carry the
// jobs out, and rethrows an unexpected exception of a worker once all have ended.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kn {

class TKNUpdateThread;
class TKNUpdateWorker;

class TKNUpdatePool {
public:
    using TCarry = std::function<void(TKNUpdateWorker& worker, std::size_t job)>;

    TKNUpdatePool(TKNUpdateThread& run, int workers);
    TKNUpdatePool(const TKNUpdatePool&) = delete;
    TKNUpdatePool& operator=(const TKNUpdatePool&) = delete;

    // Carries out the jobs of `stages` with `carry`; the workers reach their read sides at once
    // when `reads` (else when first read). Returns when every job has ended or on a stop.
    void Run(const std::vector<std::vector<std::size_t>>& stages, bool reads, const TCarry& carry);

private:
    void Work(int slot, bool reads, const TCarry& carry);
    bool Take(std::size_t& job);
    void Ended(bool gaveBack, std::size_t job);
    void Retire(const std::string& reason);
    bool JobsLeft() const;

    TKNUpdateThread& run_;
    const int workers_;
    std::mutex mutex_;
    std::condition_variable changed_;
    const std::vector<std::vector<std::size_t>>* stages_ = nullptr;
    std::size_t stage_ = 0, next_ = 0;
    int inFlight_ = 0;
    std::deque<std::size_t> returned_;  // jobs of retired workers, taken first
    std::vector<TKNUpdateWorker*> active_;
    int ended_ = 0, connected_ = 0, retired_ = 0;
    std::string firstRefusal_;
    std::exception_ptr failure_;
};

}  // namespace kn
