// Date-time values: TDateTime is a day count, whole days since 30 December 1899 (day 0), the
// fraction being the time of day. Differences of time are day fractions too (one hour is 1/24).
//
// The encoders follow the proleptic Gregorian calendar (February has 29 days in years divisible
// by 4, except centuries not divisible by 400) and accept only the years 1 to 9999. A date before
// day 0 gives a negative count; a time is simply added to it.
//
// Pure functions: any thread, never throw.
#pragma once

#include <optional>

namespace winhttp {

using TDateTime = double;

inline constexpr double kMinutesPerDay = 24.0 * 60.0;
inline constexpr double kSecondsPerDay = 24.0 * 60.0 * 60.0;

bool IsLeapYear(int year) noexcept;

// 28 to 31; 0 for a month outside 1 to 12.
int DaysInMonth(int year, int month) noexcept;

// The day count of the date, or nothing unless year is 1 to 9999, month 1 to 12 and day 1 to the
// length of that month.
std::optional<TDateTime> TryEncodeDate(int year, int month, int day) noexcept;

// (hour * 3600 + minute * 60 + second) / 86400, or nothing unless hour is 0 to 23 and minute and
// second are 0 to 59.
std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second) noexcept;

}  // namespace winhttp
