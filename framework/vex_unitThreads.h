// Threads and the main-thread hand-over. A worker that must run something on the main thread
// hands it over in one of three ways:
//   - Synchronize: the call is queued and the worker blocks until it has run (an event that
//     needs an answer, an error box, the end of a run);
//   - Post: the call is queued and the worker goes on; posted calls run in order (a report
//     every line of which counts, such as the command line's list of operations);
//   - PostNewest: the call replaces one of the same slot that has not run yet, and the newest
//     runs at most kNewestRate times a second (progress a window shows: rows, bytes, paths).
// Every queued call runs after the newest-only calls posted before it, so an end report never
// comes before the progress it ends. The main thread serves the hand-over with
// ProcessSynchronized, from its event loop or from any wait (WaitDraining); a main-thread wait
// that does not serve it deadlocks against a worker that synchronises.
#pragma once

#include <functional>

namespace vex {

// The main thread is the thread that started the program (static initialisation); a program
// that runs its windows elsewhere names that thread with SetMainThread.
void SetMainThread();
bool IsMainThread();

// Runs `fn` on the main thread and returns when it has run; an exception thrown by `fn` is
// rethrown here. On the main thread itself `fn` runs at once.
void Synchronize(std::function<void()> fn);

// Queues `fn` for the main thread and returns at once; on the main thread it runs at once. An
// exception thrown by a posted call comes out of ProcessSynchronized.
void Post(std::function<void()> fn);

// How often a second newest-only calls run at most.
constexpr int kNewestRate = 30;

// Keeps `fn` as the newest call of `slot` (any address that names one kind of report) and
// returns at once; a call of that slot not yet run is dropped. On the main thread it runs at
// once.
void PostNewest(const void* slot, std::function<void()> fn);

// How a kind of report reaches the main thread.
enum class TDelivery : unsigned char { Synchronized, Queued, Newest };
// Synchronize, Post or PostNewest(slot, fn), as `how` says.
void Deliver(TDelivery how, const void* slot, std::function<void()> fn);

// Runs every queued call, and the newest-only calls when their time has come (main thread
// only; elsewhere it does nothing). True when it ran one.
bool ProcessSynchronized();

// Called on the worker's thread when a call is queued into an empty queue, so that an event
// loop can post itself a drain. Set it before any worker starts.
void SetSynchronizeWakeUp(std::function<void()> wakeUp);

// Called with a delay in milliseconds when newest-only calls wait for their time, on the
// worker's or the main thread: an event loop starts a timer that drains then. Without it, the
// waits of WaitDraining find the calls. Set it before any worker starts.
void SetNewestWakeUp(std::function<void(int delayMs)> wakeUp);

// Run by WaitDraining on every pass, after the queue is served: a windowing program processes
// its pending messages here, the command line tests its Ctrl+C flag. Set it on the main thread.
void SetProcessMessages(std::function<void()> pump);

// Waits until `done()` is true. On the main thread it keeps serving the queue and the message
// pump while it waits, sleeping at most about a millisecond between passes; on another thread
// it only sleeps between tests.
void WaitDraining(const std::function<bool()>& done);

}  // namespace vex
