#include "winhttp/date_time.h"

namespace winhttp {
namespace {

// Days from 1 January of year 1 to 30 December 1899.
constexpr long kDaysBeforeDayZero = 693594;

}  // namespace

bool IsLeapYear(int year) noexcept {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) noexcept {
  static constexpr int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kLengths[month - 1];
}

std::optional<TDateTime> TryEncodeDate(int year, int month, int day) noexcept {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return std::nullopt;
  if (day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  long days = day;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  const long y = year - 1;
  days += y * 365 + y / 4 - y / 100 + y / 400;
  return static_cast<TDateTime>(days - kDaysBeforeDayZero);
}

std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second) noexcept {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return std::nullopt;
  }
  return (hour * 3600 + minute * 60 + second) / kSecondsPerDay;
}

}  // namespace winhttp
