#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/vex_unitThreads.h"

using namespace vex;

TEST(Threads, WorkerCallRunsOnTheMainThreadWhileTheWorkerWaits)
{
    ASSERT_TRUE(IsMainThread());
    std::atomic<int> wakeUps{0};
    SetSynchronizeWakeUp([&] { ++wakeUps; });
    std::thread::id ranOn;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        Synchronize([&] { ranOn = std::this_thread::get_id(); });
        returned = true;
    });
    WaitDraining([&] { return returned.load(); });
    worker.join();
    SetSynchronizeWakeUp(nullptr);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(wakeUps, 1);
    EXPECT_FALSE(ProcessSynchronized());  // nothing left
}

TEST(Threads, ExceptionsReachTheWorker)
{
    std::string caught;  // read only after the worker has been joined
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        try {
            Synchronize([] { throw std::runtime_error("boom"); });
        } catch (const std::exception& e) {
            caught = e.what();
        }
        finished = true;
    });
    WaitDraining([&] { return finished.load(); });
    worker.join();
    EXPECT_EQ(caught, "boom");
}

TEST(Threads, OnTheMainThreadTheCallRunsAtOnce)
{
    int runs = 0;
    Synchronize([&] { ++runs; });
    EXPECT_EQ(runs, 1);
}

TEST(Threads, OnlyTheMainThreadDrainsAndThePumpRunsWhileWaiting)
{
    std::atomic<bool> done{false};
    int pumped = 0;
    SetProcessMessages([&] { ++pumped; });
    std::thread worker([&] {
        EXPECT_FALSE(IsMainThread());
        EXPECT_FALSE(ProcessSynchronized());
        Synchronize([&] { done = true; });
    });
    WaitDraining([&] { return done.load(); });
    worker.join();
    SetProcessMessages(nullptr);
    EXPECT_GE(pumped, 1);
}

TEST(Threads, ManyWorkersAtOnce)
{
    int total = 0;  // touched only on the main thread
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&] {
            for (int i = 0; i < 100; ++i) Synchronize([&] { ++total; });
            ++finished;
        });
    WaitDraining([&] { return finished == 4; });
    for (auto& t : workers) t.join();
    EXPECT_EQ(total, 400);
}

// Posted calls: the worker never waits for them, they run in order, and a synchronised call
// made after them runs after them.
TEST(Threads, PostedCallsRunInOrderWithoutTheWorkerWaiting)
{
    std::vector<int> seen;  // touched only on the main thread
    std::atomic<int> wakeUps{0};
    SetSynchronizeWakeUp([&] { ++wakeUps; });
    std::thread worker([&] {
        for (int i = 0; i < 500; ++i) Post([&seen, i] { seen.push_back(i); });
    });
    worker.join();  // a worker that waited for its calls would never get here
    SetSynchronizeWakeUp(nullptr);
    EXPECT_TRUE(seen.empty()) << "nothing runs before the main thread serves the queue";
    EXPECT_EQ(wakeUps, 1) << "one wake-up for a queue that was empty";
    EXPECT_TRUE(ProcessSynchronized());
    ASSERT_EQ(seen.size(), 500u);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(seen[static_cast<size_t>(i)], i);
    EXPECT_FALSE(ProcessSynchronized());
}

TEST(Threads, OnlyTheNewestOfASlotRunsAndAtMostThirtyTimesASecond)
{
    const int progressSlot = 0, otherSlot = 0;
    std::vector<int> progress, other;
    std::vector<int> delays;
    std::mutex delaysGuard;
    SetNewestWakeUp([&](int delay) {
        std::lock_guard lock(delaysGuard);
        delays.push_back(delay);
    });
    // Whatever ran before (another test) is out of the way: wait a whole period first.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000 / kNewestRate + 5));
    ProcessSynchronized();
    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i) PostNewest(&progressSlot, [&progress, i] { progress.push_back(i); });
        PostNewest(&otherSlot, [&other] { other.push_back(7); });
    });
    worker.join();
    ASSERT_EQ(delays.size(), 1u) << "one wake-up asked for, however many reports";
    EXPECT_EQ(delays[0], 0) << "the period had passed: at once";
    EXPECT_TRUE(ProcessSynchronized());
    EXPECT_EQ(progress, std::vector<int>{999}) << "only the newest report runs";
    EXPECT_EQ(other, std::vector<int>{7}) << "every slot keeps its own newest";

    // Right after a run, the next report waits for the rest of the period.
    std::thread again([&] { PostNewest(&progressSlot, [&progress] { progress.push_back(1000); }); });
    again.join();
    EXPECT_FALSE(ProcessSynchronized()) << "not yet";
    ASSERT_EQ(delays.size(), 2u);
    EXPECT_GT(delays[1], 0);
    EXPECT_LE(delays[1], 1000 / kNewestRate + 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(delays[1] + 1));
    EXPECT_TRUE(ProcessSynchronized());
    EXPECT_EQ(progress, (std::vector<int>{999, 1000}));
    SetNewestWakeUp(nullptr);
}

TEST(Threads, ASynchronisedCallRunsAfterTheNewestPostedBeforeIt)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1000 / kNewestRate + 5));
    ProcessSynchronized();
    const int slot = 0;
    std::vector<std::string> order;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        PostNewest(&slot, [&order] { order.push_back("first progress"); });
        Synchronize([&order] { order.push_back("early end"); });  // runs at once: the period is over
        PostNewest(&slot, [&order] { order.push_back("second progress"); });
        Synchronize([&order] { order.push_back("end"); });  // within the period, yet after its progress
        finished = true;
    });
    WaitDraining([&] { return finished.load(); });
    worker.join();
    EXPECT_EQ(order, (std::vector<std::string>{"first progress", "early end", "second progress", "end"}));
}

TEST(Threads, DeliverChoosesTheWay)
{
    const int slot = 0;
    std::vector<int> seen;
    std::atomic<bool> waited{false};
    std::thread worker([&] {
        Deliver(TDelivery::Queued, &slot, [&seen] { seen.push_back(1); });
        Deliver(TDelivery::Queued, &slot, [&seen] { seen.push_back(2); });
        Deliver(TDelivery::Synchronized, &slot, [&seen] { seen.push_back(3); });
        waited = true;
    });
    WaitDraining([&] { return waited.load(); });
    worker.join();
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3})) << "queued calls are never merged";
    Deliver(TDelivery::Newest, &slot, [&seen] { seen.push_back(4); });
    EXPECT_EQ(seen.back(), 4) << "on the main thread every way runs at once";
}
