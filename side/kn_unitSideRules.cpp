#include "side/kn_unitSideRules.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>

namespace kn {

namespace {

constexpr std::string_view kPrefix = ".kn~";
constexpr std::size_t kRandomLength = 8;
constexpr std::size_t kCheckLength = 8;
constexpr std::string_view kDigits = "abcdefghijklmnopqrstuvwxyz0123456789";

// FNV-1a over the name's stem and random part: a check against accidental look-alikes, not a
// secret (any copy of the program may clean up another's left-overs).
uint32_t Check(std::string_view text)
{
    uint32_t h = 2166136261u;
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    return h;
}

std::string Hex8(uint32_t value)
{
    char out[9];
    std::snprintf(out, sizeof out, "%08x", value);
    return out;
}

thread_local std::string currentTag;

std::string RandomPart()
{
    static std::atomic<uint64_t> counter{0};
    uint64_t x = (static_cast<uint64_t>(::getpid()) << 32) ^
                 static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                 (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    std::string out;
    for (std::size_t i = 0; i < kRandomLength; ++i, x /= kDigits.size()) out += kDigits[x % kDigits.size()];
    if (currentTag.size() == kTempTagLength) out.replace(0, kTempTagLength, currentTag);
    return out;
}

// `text` cut to at most `limit` bytes, never inside a UTF-8 sequence.
std::string_view CutUtf8(std::string_view text, std::size_t limit)
{
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace

std::string TempName(std::string_view name)
{
    const std::size_t fixed = kPrefix.size() + 1 + kRandomLength + kCheckLength;
    const std::string body = std::string(CutUtf8(name, kMaxTempNameLength - fixed)) + "~" + RandomPart();
    return std::string(kPrefix) + body + Hex8(Check(body));
}

bool IsOwnTempName(std::string_view name)
{
    const std::size_t tail = 1 + kRandomLength + kCheckLength;
    if (name.size() < kPrefix.size() + tail || name.size() > kMaxTempNameLength) return false;
    if (name.substr(0, kPrefix.size()) != kPrefix) return false;
    const std::string_view body = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kCheckLength);
    if (body[body.size() - kRandomLength - 1] != '~') return false;
    return name.substr(name.size() - kCheckLength) == Hex8(Check(body));
}

TKNTempTag::TKNTempTag(const std::string& tag) : previous_(currentTag)
{
    const bool valid = tag.size() == kTempTagLength && tag.find_first_not_of(kDigits) == std::string::npos;
    if (valid) currentTag = tag;
}

TKNTempTag::~TKNTempTag()
{
    currentTag = previous_;
}

std::string TempTagOf(std::string_view name)
{
    if (!IsOwnTempName(name)) return {};
    return std::string(name.substr(name.size() - kCheckLength - kRandomLength, kTempTagLength));
}

uint32_t ModeForCopy(uint32_t mode, bool sameOwner)
{
    mode &= 07777;
    return sameOwner ? mode : (mode & ~06000u);
}

bool HasDotName(const TKNSidePath& path)
{
    const std::vector<std::string>& names = path.Names();
    return std::any_of(names.begin(), names.end(), [](const std::string& name) { return name.front() == '.'; });
}

TKNExpected ExpectedOf(const TKNSideEntry& entry)
{
    TKNExpected expected;
    expected.Known = true;
    expected.Exists = true;
    expected.Size = entry.Size;
    expected.MTime = entry.MTime;
    expected.TimeStep = entry.TimeStep;
    expected.Inode = entry.Inode;
    expected.Link = entry.Link;
    expected.Version = entry.Version;
    return expected;
}

TKNExpected ExpectedAbsent()
{
    TKNExpected expected;
    expected.Known = true;
    return expected;
}

TKNSideResult CheckExpected(const TKNExpected& expected, const TKNSideResult& statResult, const TKNSideEntry& current,
                            const std::string& shown)
{
    if (!expected.Known) return TKNSideResult::Ok();
    const bool exists = static_cast<bool>(statResult);
    if (!exists && statResult.Kind != TKNSideError::NotFound) return statResult;
    auto changed = [&] {
        return TKNSideResult::Fail(TKNSideError::Changed, "\"" + shown + "\" changed since the comparison.");
    };
    if (exists != expected.Exists) return changed();
    if (!exists) return TKNSideResult::Ok();
    if (expected.Link || current.Link) return expected.Link == current.Link ? TKNSideResult::Ok() : changed();
    const int64_t step = expected.TimeStep > 1 ? expected.TimeStep : 1;
    const bool sameTime = current.MTime / step == expected.MTime / step;
    const bool sameInode = expected.Inode == 0 || current.Inode == 0 || current.Inode == expected.Inode;
    const bool sameVersion = expected.Version.empty() || current.Version.empty() || current.Version == expected.Version;
    if (current.Size != expected.Size || !sameTime || !sameInode || !sameVersion) return changed();
    return TKNSideResult::Ok();
}

}  // namespace kn
