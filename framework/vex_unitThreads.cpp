#include "framework/vex_unitThreads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace vex {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kNewestPeriod = std::chrono::milliseconds(1000 / kNewestRate);

// A synchronised call's completion, owned by the waiting worker's stack frame.
struct Waiter {
    std::exception_ptr error;
    bool done = false;  // under the mutex
};

struct QueuedCall {
    std::function<void()> fn;
    Waiter* waiter = nullptr;  // null for a posted call
};

struct HandOver {
    std::mutex mutex;
    std::condition_variable queued;  // the main thread waits here for work
    std::condition_variable ran;     // workers wait here for their call to finish
    std::deque<QueuedCall> queue;
    std::vector<std::pair<const void*, std::function<void()>>> newest;
    Clock::time_point newestRan{};
    // When the wake-up asked for the newest-only calls is due; empty when none is armed.
    std::optional<Clock::time_point> newestWakeAt;
    std::function<void()> wakeUp;
    std::function<void(int)> newestWakeUp;
    std::function<void()> pump;
    std::thread::id mainThread = std::this_thread::get_id();
};

HandOver& State()
{
    static HandOver state;
    return state;
}

// Takes the main thread's id during static initialisation, which runs on the main thread.
const bool kMainThreadTaken = (State(), true);

// Milliseconds until newest-only calls may run again (0: now). Under the mutex.
int NewestDelay(const HandOver& s, Clock::time_point now)
{
    const auto due = s.newestRan + kNewestPeriod;
    if (now >= due) return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(due - now).count());
}

// Queues a call; wakes the event loop when the queue was empty, as one drain serves it all.
void Enqueue(QueuedCall call)
{
    HandOver& s = State();
    std::function<void()> wakeUp;
    {
        std::lock_guard lock(s.mutex);
        if (s.queue.empty()) wakeUp = s.wakeUp;
        s.queue.push_back(std::move(call));
    }
    s.queued.notify_all();
    if (wakeUp) wakeUp();
}

// What one pass of the main thread runs: the newest-only calls (when a queued call comes
// next, or their time has come) and then at most one queued call.
struct Pass {
    std::vector<std::pair<const void*, std::function<void()>>> newest;
    QueuedCall call;
    bool hasCall = false;
    int rearmDelay = -1;  // newest-only calls left waiting: wake again after this long
};

Pass TakePass(HandOver& s)
{
    Pass pass;
    std::lock_guard lock(s.mutex);
    const Clock::time_point now = Clock::now();
    pass.hasCall = !s.queue.empty();
    if (!s.newest.empty()) {
        const int delay = NewestDelay(s, now);
        if (pass.hasCall || delay == 0) {
            pass.newest.swap(s.newest);
            s.newestRan = now;
            s.newestWakeAt.reset();
        } else if (!s.newestWakeAt || now >= *s.newestWakeAt) {
            // None armed, or it came early (a coarse timer): ask again for when it is time.
            pass.rearmDelay = delay;
            s.newestWakeAt = now + std::chrono::milliseconds(delay);
        }
    }
    if (pass.hasCall) {
        pass.call = std::move(s.queue.front());
        s.queue.pop_front();
    }
    return pass;
}

void RunQueued(HandOver& s, QueuedCall& call)
{
    if (!call.waiter) {
        call.fn();
        return;
    }
    try {
        call.fn();
    } catch (...) {
        call.waiter->error = std::current_exception();
    }
    {
        // The worker may return (and free its waiter) as soon as it sees done.
        std::lock_guard lock(s.mutex);
        call.waiter->done = true;
    }
    s.ran.notify_all();
}

}  // namespace

void SetMainThread()
{
    std::lock_guard lock(State().mutex);
    State().mainThread = std::this_thread::get_id();
}

bool IsMainThread()
{
    std::lock_guard lock(State().mutex);
    return State().mainThread == std::this_thread::get_id();
}

void Synchronize(std::function<void()> fn)
{
    if (IsMainThread()) {
        fn();
        return;
    }
    HandOver& s = State();
    Waiter waiter;
    Enqueue({std::move(fn), &waiter});
    {
        std::unique_lock lock(s.mutex);
        s.ran.wait(lock, [&] { return waiter.done; });
    }
    if (waiter.error) std::rethrow_exception(waiter.error);
}

void Post(std::function<void()> fn)
{
    if (IsMainThread()) {
        fn();
        return;
    }
    Enqueue({std::move(fn), nullptr});
}

void PostNewest(const void* slot, std::function<void()> fn)
{
    if (IsMainThread()) {
        fn();
        return;
    }
    HandOver& s = State();
    std::function<void(int)> wakeUp;
    int delay = 0;
    {
        std::lock_guard lock(s.mutex);
        auto same =
            std::find_if(s.newest.begin(), s.newest.end(), [slot](const auto& entry) { return entry.first == slot; });
        if (same != s.newest.end())
            same->second = std::move(fn);
        else
            s.newest.emplace_back(slot, std::move(fn));
        if (!s.newestWakeAt) {
            const Clock::time_point now = Clock::now();
            delay = NewestDelay(s, now);
            s.newestWakeAt = now + std::chrono::milliseconds(delay);
            wakeUp = s.newestWakeUp;
        }
    }
    if (wakeUp) wakeUp(delay);
}

void Deliver(TDelivery how, const void* slot, std::function<void()> fn)
{
    switch (how) {
        case TDelivery::Synchronized:
            Synchronize(std::move(fn));
            break;
        case TDelivery::Queued:
            Post(std::move(fn));
            break;
        case TDelivery::Newest:
            PostNewest(slot, std::move(fn));
            break;
    }
}

bool ProcessSynchronized()
{
    if (!IsMainThread()) return false;
    HandOver& s = State();
    bool ranAny = false;
    for (;;) {
        Pass pass = TakePass(s);
        if (pass.rearmDelay >= 0) {
            std::function<void(int)> wakeUp;
            {
                std::lock_guard lock(s.mutex);
                wakeUp = s.newestWakeUp;
            }
            if (wakeUp) wakeUp(pass.rearmDelay);
        }
        for (auto& entry : pass.newest) entry.second();
        ranAny = ranAny || !pass.newest.empty();
        if (!pass.hasCall) break;
        RunQueued(s, pass.call);
        ranAny = true;
    }
    return ranAny;
}

void SetSynchronizeWakeUp(std::function<void()> wakeUp)
{
    std::lock_guard lock(State().mutex);
    State().wakeUp = std::move(wakeUp);
}

void SetNewestWakeUp(std::function<void(int)> wakeUp)
{
    std::lock_guard lock(State().mutex);
    State().newestWakeUp = std::move(wakeUp);
}

void SetProcessMessages(std::function<void()> pump)
{
    std::lock_guard lock(State().mutex);
    State().pump = std::move(pump);
}

void WaitDraining(const std::function<bool()>& done)
{
    HandOver& s = State();
    const bool onMain = IsMainThread();
    constexpr auto kPass = std::chrono::milliseconds(1);
    for (;;) {
        if (onMain) {
            ProcessSynchronized();
            std::function<void()> pump;
            {
                std::lock_guard lock(s.mutex);
                pump = s.pump;
            }
            if (pump) pump();
        }
        if (done()) return;
        std::unique_lock lock(s.mutex);
        if (onMain)
            s.queued.wait_for(lock, kPass, [&] { return !s.queue.empty(); });
        else
            s.ran.wait_for(lock, kPass);
    }
}

}  // namespace vex
