#include "kernel/timezone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>

#include "testsupport/scoped_time_zone.h"

namespace kernel {
namespace {

using testsupport::ScopedTimeZone;

constexpr std::time_t kJuly2024 = 1720000000;     // 2024-07-03 09:46:40 UTC
constexpr std::time_t kJanuary2024 = 1704100000;  // 2024-01-01 09:06:40 UTC

struct Case {
  const char* tz;
  std::time_t moment;
  std::uint32_t id;
  std::int32_t bias;
  std::int32_t daylight_bias;
};

TEST(GetTimeZoneInformationAt, SplitsStandardBiasAndDaylightSaving) {
  const Case cases[] = {
      {"UTC0", kJuly2024, TIME_ZONE_ID_STANDARD, 0, 0},
      {"CST-8", kJuly2024, TIME_ZONE_ID_STANDARD, -480, 0},
      {"Asia/Shanghai", kJanuary2024, TIME_ZONE_ID_STANDARD, -480, 0},
      {"Europe/Berlin", kJuly2024, TIME_ZONE_ID_DAYLIGHT, -60, -60},
      {"Europe/Berlin", kJanuary2024, TIME_ZONE_ID_STANDARD, -60, 0},
      {"CET-1CEST,M3.5.0,M10.5.0/3", kJuly2024, TIME_ZONE_ID_DAYLIGHT, -60, -60},
      {"CET-1CEST,M3.5.0,M10.5.0/3", kJanuary2024, TIME_ZONE_ID_STANDARD, -60, 0},
      {"America/New_York", kJuly2024, TIME_ZONE_ID_DAYLIGHT, 300, -60},
      {"America/New_York", kJanuary2024, TIME_ZONE_ID_STANDARD, 300, 0},
      // Southern hemisphere: daylight saving in January.
      {"Australia/Sydney", kJanuary2024, TIME_ZONE_ID_DAYLIGHT, -600, -60},
      {"Australia/Sydney", kJuly2024, TIME_ZONE_ID_STANDARD, -600, 0},
      {"Asia/Kolkata", kJuly2024, TIME_ZONE_ID_STANDARD, -330, 0},
      // Daylight saving all year: no standard time to split off.
      {"XST-1XDT,0/0,J365/25", kJanuary2024, TIME_ZONE_ID_DAYLIGHT, -120, 0},
      // Unreadable zone data: the C library falls back to universal time.
      {"No/Such_Zone", kJuly2024, TIME_ZONE_ID_STANDARD, 0, 0},
  };
  for (const Case& c : cases) {
    ScopedTimeZone zone(c.tz);
    TIME_ZONE_INFORMATION info;
    info.StandardBias = 12345;  // must be overwritten
    EXPECT_EQ(GetTimeZoneInformationAt(c.moment, &info), c.id) << c.tz;
    EXPECT_EQ(info.Bias, c.bias) << c.tz;
    EXPECT_EQ(info.StandardBias, 0) << c.tz;
    EXPECT_EQ(info.DaylightBias, c.daylight_bias) << c.tz;
  }
}

TEST(GetTimeZoneInformation, GivesTheBiasInForceNow) {
  ScopedTimeZone zone("Europe/Berlin");
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ASSERT_NE(localtime_r(&now, &local), nullptr);
  TIME_ZONE_INFORMATION info;
  const std::uint32_t id = GetTimeZoneInformation(&info);
  EXPECT_EQ(id, local.tm_isdst > 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD);
  EXPECT_EQ(CurrentTimeZoneBias(), local.tm_isdst > 0 ? -120 : -60);
}

TEST(GetTimeZoneInformationAt, AMomentOutOfRangeIsInvalidAndUniversal) {
  TIME_ZONE_INFORMATION info;
  info.Bias = 7;
  EXPECT_EQ(GetTimeZoneInformationAt(static_cast<std::time_t>(-1), &info), TIME_ZONE_ID_INVALID);
  EXPECT_EQ(info.Bias, 0);
  // Beyond what a broken-down year can hold.
  EXPECT_EQ(GetTimeZoneInformationAt(std::numeric_limits<std::time_t>::max(), &info),
            TIME_ZONE_ID_INVALID);
  EXPECT_EQ(info.Bias + info.StandardBias + info.DaylightBias, 0);
}

TEST(CurrentTimeZoneBias, FollowsTheZone) {
  {
    ScopedTimeZone zone("CST-8");
    EXPECT_EQ(CurrentTimeZoneBias(), -480);
  }
  {
    ScopedTimeZone zone("<-0530>5:30");
    EXPECT_EQ(CurrentTimeZoneBias(), 330);
  }
}

}  // namespace
}  // namespace kernel
