#include "framework/vex_unitDateTime.h"

#include <cmath>
#include <cstdio>

namespace vex {

int64_t LocalOffsetNow()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_gmtoff;
}

TDateTime UnixToDateTime(int64_t unixSeconds, int64_t offset)
{
    return kUnixEpochDays + static_cast<double>(unixSeconds + offset) / kSecondsPerDay;
}

TDateTime UnixToDosDateTime(int64_t unixSeconds, int64_t offset)
{
    int64_t local = unixSeconds + offset;
    // Floor to an even second, also for times before 1970.
    int64_t cut = local - (((local % 2) + 2) % 2);
    return kUnixEpochDays + static_cast<double>(cut) / kSecondsPerDay;
}

int64_t DateTimeToUnix(TDateTime value, int64_t offset)
{
    return static_cast<int64_t>(std::llround((value - kUnixEpochDays) * kSecondsPerDay)) - offset;
}

// Days since 1970-01-01 for a proleptic Gregorian date (H. Hinnant's days_from_civil).
static int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

static void CivilFromDays(int64_t z, int& year, int& month, int& day)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (month <= 2));
}

DateTimeFields DecodeDateTime(TDateTime value)
{
    int64_t ms = std::llround(value * kSecondsPerDay * 1000.0);
    int64_t msPerDay = 86400000;
    int64_t days = ms >= 0 ? ms / msPerDay : -((-ms + msPerDay - 1) / msPerDay);
    int64_t rest = ms - days * msPerDay;
    DateTimeFields f{};
    CivilFromDays(days - static_cast<int64_t>(kUnixEpochDays), f.year, f.month, f.day);
    f.hour = static_cast<int>(rest / 3600000);
    f.minute = static_cast<int>(rest / 60000 % 60);
    f.second = static_cast<int>(rest / 1000 % 60);
    f.millisecond = static_cast<int>(rest % 1000);
    return f;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    double days = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day))) +
                  kUnixEpochDays;
    return days + (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / (kSecondsPerDay * 1000.0);
}

TDateTime Now()
{
    std::timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    localtime_r(&ts.tv_sec, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec, static_cast<int>(ts.tv_nsec / 1000000));
}

TDateTime Today()
{
    return std::floor(Now());
}

std::string FormatDateTime(TDateTime value)
{
    DateTimeFields f = DecodeDateTime(value);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute, f.second);
    return buf;
}

bool ParseDate(const std::string& text, TDateTime& value)
{
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3) return false;
    if (m < 1 || m > 12 || d < 1 || d > 31) return false;
    value = EncodeDateTime(y, m, d);
    // Reject days that roll over into the next month (2026-02-30).
    DateTimeFields back = DecodeDateTime(value);
    return back.year == y && back.month == m && back.day == d;
}

}  // namespace vex
