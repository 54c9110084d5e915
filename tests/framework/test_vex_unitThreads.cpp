#include "framework/vex_unitThreads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

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
