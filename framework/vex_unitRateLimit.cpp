#include "framework/vex_unitRateLimit.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <thread>

namespace vex {

std::optional<int64_t> ParseByteRate(const std::string& text)
{
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.')) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (errno == ERANGE || end == text.c_str() || !std::isfinite(number)) return std::nullopt;
    std::string unit(end);
    for (char& c : unit) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    double scale = 0;
    if (unit.empty() || unit == "B")
        scale = 1;
    else if (unit == "K" || unit == "KIB")
        scale = 1024.0;
    else if (unit == "M" || unit == "MIB")
        scale = 1024.0 * 1024;
    else if (unit == "G" || unit == "GIB")
        scale = 1024.0 * 1024 * 1024;
    else
        return std::nullopt;
    const double rate = number * scale;
    if (rate == 0) return 0;
    if (rate < 1 || rate > 1024.0 * 1024 * 1024 * 1024) return std::nullopt;
    return static_cast<int64_t>(std::llround(rate));
}

TRateLimit::Clock::time_point TRateLimit::Due(int64_t bytes, Clock::time_point now)
{
    const auto share = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(bytes) / static_cast<double>(rate_)));
    std::lock_guard<std::mutex> hold(mutex_);
    // An idle limit starts again from now: no credit is saved up while nothing moves.
    const Clock::time_point from = due_ ? std::max(*due_, now) : now;
    due_ = from + share;
    return *due_;
}

bool TRateLimit::Pass(int64_t bytes, const std::function<bool()>& stopped)
{
    const Clock::time_point due = Due(bytes, Clock::now());
    for (Clock::time_point now = Clock::now(); now < due; now = Clock::now()) {
        if (stopped && stopped()) return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(due - now, std::chrono::milliseconds(50)));
    }
    return true;
}

}  // namespace vex
