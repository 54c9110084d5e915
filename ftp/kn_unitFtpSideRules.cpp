#include "ftp/kn_unitFtpSideRules.h"

#include <algorithm>
#include <cmath>

namespace kn {

namespace {

constexpr int64_t kHour = 3600;
constexpr int64_t kMaxOffset = 15 * kHour;
constexpr uint32_t kFinestStepToLearn = 60;

}  // namespace

TKNServerClock CompareServerClock(int64_t mdtm, int64_t listed, uint32_t step, int64_t& offset)
{
    offset = 0;
    if (step > kFinestStepToLearn) return TKNServerClock::Unknown;
    const int64_t apart = mdtm - listed;
    const int64_t hours = static_cast<int64_t>(std::llround(static_cast<double>(apart) / kHour)) * kHour;
    const int64_t rest = apart - hours;  // the part below the listing's step: 0 <= rest < step
    if (rest < 0 || rest >= static_cast<int64_t>(std::max<uint32_t>(step, 1)) || std::llabs(hours) > kMaxOffset)
        return TKNServerClock::Disagrees;
    offset = hours;
    return hours == 0 ? TKNServerClock::Agrees : TKNServerClock::WholeHours;
}

bool ListAllUnderstood(const std::vector<std::string>& plain, const std::vector<std::string>& all)
{
    for (const std::string& name : plain)
        if (std::find(all.begin(), all.end(), name) == all.end()) return false;
    return true;
}

}  // namespace kn
