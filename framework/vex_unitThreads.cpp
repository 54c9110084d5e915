#include "framework/vex_unitThreads.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace vex {

namespace {

// One queued call and its completion, owned by the waiting worker's stack frame.
struct PendingCall {
    std::function<void()> fn;
    std::exception_ptr error;
    std::atomic<bool> done{false};
};

// A hand-over costs two thread wake-ups, which take tens of microseconds on a virtual machine:
// more than copying a small file. So both sides first spin this long for the other before
// they sleep; the main thread only right after it has run a call, so an idle wait never spins.
constexpr auto kSpin = std::chrono::microseconds(50);

template <class Ready>
bool SpinFor(Ready ready)
{
    const auto until = std::chrono::steady_clock::now() + kSpin;
    do {
        if (ready()) return true;
    } while (std::chrono::steady_clock::now() < until);
    return false;
}

struct HandOver {
    std::mutex mutex;
    std::condition_variable queued;  // the main thread waits here for work
    std::condition_variable ran;     // workers wait here for their call to finish
    std::deque<PendingCall*> queue;
    std::atomic<int> queuedCount{0};  // queue.size(), readable without the mutex
    std::function<void()> wakeUp;
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
    PendingCall call;
    call.fn = std::move(fn);
    std::function<void()> wakeUp;
    {
        std::lock_guard lock(s.mutex);
        s.queue.push_back(&call);
        s.queuedCount.fetch_add(1, std::memory_order_release);
        wakeUp = s.wakeUp;
    }
    s.queued.notify_all();
    if (wakeUp) wakeUp();
    auto done = [&] { return call.done.load(std::memory_order_acquire); };
    if (!SpinFor(done)) {
        std::unique_lock lock(s.mutex);
        s.ran.wait(lock, done);
    }
    if (call.error) std::rethrow_exception(call.error);
}

bool ProcessSynchronized()
{
    if (!IsMainThread()) return false;
    HandOver& s = State();
    bool ranAny = false;
    for (;;) {
        PendingCall* call;
        {
            std::lock_guard lock(s.mutex);
            if (s.queue.empty()) break;
            call = s.queue.front();
            s.queue.pop_front();
            s.queuedCount.fetch_sub(1, std::memory_order_relaxed);
        }
        try {
            call->fn();
        } catch (...) {
            call->error = std::current_exception();
        }
        {
            // The worker may return (and free `call`) as soon as it sees done.
            std::lock_guard lock(s.mutex);
            call->done.store(true, std::memory_order_release);
        }
        s.ran.notify_all();
        ranAny = true;
    }
    return ranAny;
}

void SetSynchronizeWakeUp(std::function<void()> wakeUp)
{
    std::lock_guard lock(State().mutex);
    State().wakeUp = std::move(wakeUp);
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
            // A call that comes during the spin is run on the next pass, after the pump and
            // the done test, so a stream of calls never starves either.
            if (ProcessSynchronized())
                SpinFor([&] { return s.queuedCount.load(std::memory_order_acquire) > 0; });
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
