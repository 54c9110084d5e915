// Date-time values as the program stores them: a double counting days since 1899-12-30, the
// fraction being the time of day, in local time. -1.0 marks the time of an absent entry.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace vex {

using TDateTime = double;

constexpr TDateTime kNoTime = -1.0;
// Days from 1899-12-30 to the Unix epoch 1970-01-01.
constexpr double kUnixEpochDays = 25569.0;
constexpr double kSecondsPerDay = 86400.0;

// The local UTC offset in seconds in force now (east positive). A scan takes it once at its
// start and applies it to every entry, whatever the entry's own date.
int64_t LocalOffsetNow();

// Unix seconds (UTC) shifted by `offset` seconds, as a date-time.
TDateTime UnixToDateTime(int64_t unixSeconds, int64_t offset);
// Like UnixToDateTime, but first cut to even seconds (the 2-second resolution of a DOS time).
TDateTime UnixToDosDateTime(int64_t unixSeconds, int64_t offset);
// The inverse of UnixToDateTime, rounded to the nearest second.
int64_t DateTimeToUnix(TDateTime value, int64_t offset);

// Broken-down fields of a date-time (no time-zone work: the value is already local).
struct DateTimeFields {
    int year, month, day, hour, minute, second, millisecond;
};
DateTimeFields DecodeDateTime(TDateTime value);
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);

TDateTime Now();    // local date and time
TDateTime Today();  // local date, midnight

// "YYYY-MM-DD hh:mm:ss".
std::string FormatDateTime(TDateTime value);
// Parses "YYYY-MM-DD" into a date at midnight; false on anything else.
bool ParseDate(const std::string& text, TDateTime& value);

}  // namespace vex
