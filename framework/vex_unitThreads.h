// Threads and the main-thread hand-over. A worker that must run something on the main thread
// (a progress report, an event) calls Synchronize: the call is queued for the main thread and
// the worker blocks until it has run. The main thread serves the queue with
// ProcessSynchronized, from its event loop or from any wait (WaitDraining); a main-thread wait
// that does not serve the queue deadlocks against a worker that synchronises.
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

// Runs every queued call (main thread only; elsewhere it does nothing). True when it ran one.
bool ProcessSynchronized();

// Called on the worker's thread whenever a call has been queued, so that an event loop can
// post itself a drain. Set it before any worker starts.
void SetSynchronizeWakeUp(std::function<void()> wakeUp);

// Run by WaitDraining on every pass, after the queue is served: a windowing program processes
// its pending messages here, the command line tests its Ctrl+C flag. Set it on the main thread.
void SetProcessMessages(std::function<void()> pump);

// Waits until `done()` is true. On the main thread it keeps serving the queue and the message
// pump while it waits, sleeping at most about a millisecond between passes; on another thread
// it only sleeps between tests.
void WaitDraining(const std::function<bool()>& done);

}  // namespace vex
