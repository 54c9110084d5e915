// How the update's progress reports reach the main thread: queued, every row in order; or
// newest only, at most kNewestRate a second, the last row's report always among them and
// before the end of the run.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "tests/common/temp_tree.h"
#include "tests/update/update_harness.h"

namespace {

constexpr int kFiles = 300;

void MakeFiles(const std::string& folder)
{
    for (int i = 0; i < kFiles; ++i) testutil::WriteFile(folder + "/f" + std::to_string(i), "x");
}

TEST(ProgressDelivery, QueuedReportsArriveEveryOneInOrder)
{
    testutil::TempDir left, right;
    MakeFiles(left.path());
    testutil::UpdateHarness h(left.path(), right.path());
    h.engine.ProgressDelivery = vex::TDelivery::Queued;
    // The last sum of the transfers in work; a drain may find none in work at all, and raise none.
    int64_t workTotal = 0, workDone = 0;
    h.engine.OnFileProgress = [&](void*, const std::string&, int64_t total, int64_t done) {
        workTotal = total;
        workDone = done;
    };
    ASSERT_EQ(h.Compare(), static_cast<size_t>(kFiles));
    h.Update(kn::TKNAction::LeftToRight, false);
    // Ended transfers leave the sum: once all have ended nothing is in work, so a progress line
    // adding the ended copies' bytes to it counts each byte once.
    EXPECT_EQ(workTotal, 0);
    EXPECT_EQ(workDone, 0);
    ASSERT_EQ(h.positions.size(), static_cast<size_t>(kFiles));
    for (int i = 0; i < kFiles; ++i) ASSERT_EQ(h.positions[static_cast<size_t>(i)], i + 1);
    EXPECT_EQ(h.updateDone, 1);
    EXPECT_EQ(testutil::Snapshot(right.path()).size(), static_cast<size_t>(kFiles));
}

TEST(ProgressDelivery, NewestOnlyReportsAreFewAndEndWithTheLastRow)
{
    testutil::TempDir left, right;
    MakeFiles(left.path());
    testutil::UpdateHarness h(left.path(), right.path());
    h.engine.ProgressDelivery = vex::TDelivery::Newest;
    int doneSeenAt = -1;  // how many reports had arrived when the end was reported
    h.engine.OnUpdateDone = [&](void*) { doneSeenAt = static_cast<int>(h.positions.size()); };
    ASSERT_EQ(h.Compare(), static_cast<size_t>(kFiles));
    const auto start = std::chrono::steady_clock::now();
    h.Update(kn::TKNAction::LeftToRight, false);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);

    ASSERT_FALSE(h.positions.empty());
    EXPECT_EQ(h.positions.back(), kFiles) << "the newest report, of the last row, is never dropped";
    EXPECT_EQ(doneSeenAt, static_cast<int>(h.positions.size())) << "no report comes after the end";
    for (size_t i = 1; i < h.positions.size(); ++i) EXPECT_LT(h.positions[i - 1], h.positions[i]);
    // One drain per period at most, plus the first one at once, the flush before the end
    // report, and one for a period the clock above cut (the run starts before it is read). A
    // drain raises the newest row of each batch it takes, and on a busy machine a second batch
    // may come in while the first is raised: twice the rate is the bound, far below one report
    // a row.
    const auto allowed = static_cast<size_t>(took.count() * 2 * vex::kNewestRate / 1000 + 3);
    EXPECT_LT(allowed, static_cast<size_t>(kFiles) / 2) << "the run took too long to tell";
    EXPECT_LE(h.positions.size(), allowed) << "in " << took.count() << " ms";
    EXPECT_EQ(testutil::Snapshot(right.path()).size(), static_cast<size_t>(kFiles));
}

}  // namespace
