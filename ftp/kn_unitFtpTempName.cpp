#include "ftp/kn_unitFtpTempName.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>

namespace kn {

namespace {

constexpr std::string_view kPrefix = ".kn-";
constexpr std::size_t kMaxStem = 200;
constexpr std::size_t kSuffixLength = 6;
constexpr std::string_view kDigits = "abcdefghijklmnopqrstuvwxyz0123456789";

std::string Suffix()
{
    static std::atomic<uint64_t> counter{0};
    uint64_t x = (static_cast<uint64_t>(::getpid()) << 32) ^
                 static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                 (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    std::string out;
    for (std::size_t i = 0; i < kSuffixLength; ++i, x /= kDigits.size()) out += kDigits[x % kDigits.size()];
    return out;
}

}  // namespace

std::string FtpTempName(std::string_view name)
{
    return std::string(kPrefix) + std::string(name.substr(0, kMaxStem)) + "-" + Suffix();
}

bool IsFtpTempName(std::string_view name)
{
    const std::size_t fixed = kPrefix.size() + 1 + kSuffixLength;
    if (name.size() <= fixed || name.size() > fixed + kMaxStem || name.substr(0, kPrefix.size()) != kPrefix)
        return false;
    if (name[name.size() - kSuffixLength - 1] != '-') return false;
    for (char c : name.substr(name.size() - kSuffixLength))
        if (kDigits.find(c) == std::string_view::npos) return false;
    return true;
}

}  // namespace kn
