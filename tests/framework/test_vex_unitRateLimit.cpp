// The bandwidth limit: the rates people write, and the pacing of blocks shared by several movers.
#include <gtest/gtest.h>

#include "framework/vex_unitRateLimit.h"

TEST(RateLimit, RatesAsPeopleWriteThem)
{
    const std::pair<const char*, std::optional<int64_t>> cases[] = {
        {"500K", 500 * 1024},     {"4M", 4 << 20},         {"4mib", 4 << 20},    {"1.5M", 3 << 19},
        {"2g", int64_t(2) << 30}, {"1000", 1000},          {"64b", 64},          {"0", 0},
        {"0.5", std::nullopt},    {"", std::nullopt},      {"M", std::nullopt},  {"-1M", std::nullopt},
        {"4 M", std::nullopt},    {"4MB/s", std::nullopt}, {"2T", std::nullopt}, {"1e400", std::nullopt},
        {"2048G", std::nullopt},
    };
    for (const auto& [text, rate] : cases) EXPECT_EQ(vex::ParseByteRate(text), rate) << text;
}

TEST(RateLimit, BlocksArePacedTogetherAndIdleTimeIsNoCredit)
{
    using namespace std::chrono_literals;
    using Clock = vex::TRateLimit::Clock;
    const Clock::time_point t0{};
    struct Step {
        int64_t bytes;
        Clock::duration movedAt;  // after t0
        Clock::duration due;      // after t0
    } steps[] = {
        {1000, 0ms, 1000ms},     // 1000 bytes a second: the first block waits its own share
        {500, 10ms, 1500ms},     // a second mover's block queues behind the first
        {500, 1600ms, 2100ms},   // late: paced from when it moved
        {1000, 5000ms, 6000ms},  // after an idle spell no credit is left
        {250, 5000ms, 6250ms},
    };
    vex::TRateLimit limit(1000);
    for (const Step& s : steps) EXPECT_EQ(limit.Due(s.bytes, t0 + s.movedAt) - t0, s.due) << s.bytes;
}
