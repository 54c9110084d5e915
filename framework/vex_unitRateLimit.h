// A limit on the bytes a run moves per second, shared by all of its transfers (reads and
// writes alike), and the text people give it in ("500K", "4M": 1024-based units per second).
//
// The clock paces by finishing times: every block that passes moves the limit's due time on by
// its size divided by the rate, and the block's mover waits until then. Whoever waited until
// `due` has, with every block before it, moved no more than rate x (due - first start), so the
// rate over any stretch of a run stays at or below the limit; after an idle spell the due time
// starts again from now, so no credit is saved up (a burst is at most the blocks in flight,
// 1 MiB per mover, moved before their movers wait).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace vex {

// The bytes per second "RATE" names: a number (a decimal point allowed) with an optional unit
// B, K, M or G (KiB, MiB, GiB; case ignored; "4M" and "4MiB" alike); nullopt for anything else,
// below 1 byte per second or beyond 1 TiB per second. "0" is 0: no limit.
std::optional<int64_t> ParseByteRate(const std::string& text);

class TRateLimit {
public:
    using Clock = std::chrono::steady_clock;

    explicit TRateLimit(int64_t bytesPerSecond) : rate_(bytesPerSecond) {}

    // The time until which the mover of `bytes`, moved just before `now`, waits.
    Clock::time_point Due(int64_t bytes, Clock::time_point now);

    // Counts `bytes` and waits for their due time, waking every 50 ms to ask `stopped`; returns
    // early, false, when it says so.
    bool Pass(int64_t bytes, const std::function<bool()>& stopped);

private:
    const int64_t rate_;
    std::mutex mutex_;
    std::optional<Clock::time_point> due_;
};

}  // namespace vex
