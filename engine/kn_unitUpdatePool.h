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
// A worker whose sides carry several files at once (TKNUpdateWorker::FilesAtOnce) takes up to
// that many consecutive jobs of the stage that may be grouped (JoinsGroup), but no more than
// its share of what is left of the stage, so the workers end a stage together; other jobs,
// and jobs handed back by a retiring worker, are taken one at a time.
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
    // Carries out `jobs`: one job, or a group of jobs that may be grouped.
    using TCarry = std::function<void(TKNUpdateWorker& worker, const std::vector<std::size_t>& jobs)>;

    TKNUpdatePool(TKNUpdateThread& run, int workers);
    TKNUpdatePool(const TKNUpdatePool&) = delete;
    TKNUpdatePool& operator=(const TKNUpdatePool&) = delete;

    // Carries out the jobs of `stages` with `carry`; `grouped[job]` tells whether a job may be
    // carried in a group. The workers reach their read sides at once when `reads` (else when
    // first read). Returns when every job has ended or on a stop.
    void Run(const std::vector<std::vector<std::size_t>>& stages, const std::vector<bool>& grouped, bool reads,
             const TCarry& carry);

private:
    void Work(int slot, bool reads, const TCarry& carry);
    bool Take(int groupSize, std::vector<std::size_t>& jobs);
    void Ended(bool gaveBack, const std::vector<std::size_t>& jobs);
    void Retire(const std::string& reason);
    bool JobsLeft() const;

    TKNUpdateThread& run_;
    const int workers_;
    std::mutex mutex_;
    std::condition_variable changed_;
    const std::vector<std::vector<std::size_t>>* stages_ = nullptr;
    const std::vector<bool>* grouped_ = nullptr;
    std::size_t stage_ = 0, next_ = 0;
    int inFlight_ = 0;                  // takes not yet ended
    std::deque<std::size_t> returned_;  // jobs of retired workers, taken first
    std::vector<TKNUpdateWorker*> active_;
    int ended_ = 0, connected_ = 0, retired_ = 0;
    std::string firstRefusal_;
    std::exception_ptr failure_;
};

}  // namespace kn
