#include "framework/vex_unitThreads.h"

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
    bool done = false;
};

struct HandOver {
    std::mutex mutex;
    std::condition_variable queued;  // the main thread waits here for work
    std::condition_variable ran;     // workers wait here for their call to finish
    std::deque<PendingCall*> queue;
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
    PendingCall call{std::move(fn), nullptr, false};
    std::function<void()> wakeUp;
    {
        std::lock_guard lock(s.mutex);
        s.queue.push_back(&call);
        wakeUp = s.wakeUp;
    }
    s.queued.notify_all();
    if (wakeUp) wakeUp();
    std::unique_lock lock(s.mutex);
    s.ran.wait(lock, [&] { return call.done; });
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
        }
        try {
            call->fn();
        } catch (...) {
            call->error = std::current_exception();
        }
        {
            std::lock_guard lock(s.mutex);
            call->done = true;
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
