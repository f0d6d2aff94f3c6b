#include "winhttp/http_date.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testsupport/scoped_time_zone.h"
#include "winhttp/date_time.h"

namespace winhttp {
namespace {

using testsupport::kAlwaysDaylight;
using testsupport::kCentralEuropean;
using testsupport::kChinaStandardTime;
using testsupport::ScopedTimeZone;

constexpr double kTolerance = 1e-9;  // far below a second, far above rounding

TDateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return *TryEncodeDate(year, month, day) + *TryEncodeTime(hour, minute, second);
}

struct DateCase {
  const char* text;
  TDateTime utc;  // the value before the move to local time
};

// The reference texts, odd results included: they are the parser's intended behaviour (a year of
// 1900 counts as missing; a failed time loses the date but not the offset after it).
std::vector<DateCase> ReferenceCases() {
  return {
      {"Sun, 06 Nov 1994 08:49:37 GMT", At(1994, 11, 6, 8, 49, 37)},
      {"Sunday, 06-Nov-94 08:49:37 GMT", At(1994, 11, 6, 8, 49, 37)},
      {"Sun Nov  6 08:49:37 1994", At(1994, 11, 6, 8, 49, 37)},
      {"Nov 6 08:49:37 1994", At(1994, 11, 6, 8, 49, 37)},
      {"sun, 06 NOV 1994 08:49:37 gmt", At(1994, 11, 6, 8, 49, 37)},
      {"Sun, 06 Nov 1994 08:49:37 +0200", At(1994, 11, 6, 6, 49, 37)},
      {"Sun, 06 Nov 1994 08:49:37 -0530", At(1994, 11, 6, 14, 19, 37)},
      {"Sun, 06 Nov 1994 08:49:37 +02:00", At(1994, 11, 6, 8, 49, 37)},
      {"Sun, 06 Nov 1994 08:49:37 GMT+0200", At(1994, 11, 6, 8, 49, 37)},
      {"06 Nov 1994", At(1994, 11, 6)},
      {"Sunday, 06-Nov-79 08:49:37 GMT", At(2079, 11, 6, 8, 49, 37)},
      {"Sunday, 06-Nov-80 08:49:37 GMT", At(1980, 11, 6, 8, 49, 37)},
      {"Sun, xx Nov 1994 08:49:37 GMT", At(1994, 11, 1, 8, 49, 37)},
      {"Mon, 01 Jan 1900 10:00:00 +0100", At(1900, 1, 1)},
      {"Sun, 06 November 1994 08:49:37 GMT", 0},
      {"Sun, 06 Nov 1994 25:00:00 +0200", -2.0 / 24},
      {"06-Nov-94", 0},
  };
}

// Further texts that servers send, and the failure of each stage of the parse.
std::vector<DateCase> FurtherCases() {
  return {
      // Blanks (codes up to 32) around the text and after the weekday.
      {"\t Sun, 06 Nov 1994 08:49:37 GMT \r\n", At(1994, 11, 6, 8, 49, 37)},
      {"Sun,   06 Nov 1994 08:49:37 GMT", At(1994, 11, 6, 8, 49, 37)},
      // A weekday is recognised by its first three letters only.
      {"Sunny 06 Nov 1994", At(1994, 11, 6)},
      {"Thursday, 01-Jan-70 00:00:00 GMT", At(2070, 1, 1)},
      // The pieces of the time of day default to 0.
      {"06 Nov 1994 08", At(1994, 11, 6)},  // no ":", so no time at all
      {"06 Nov 1994 08:", At(1994, 11, 6, 8)},
      {"06 Nov 1994 8:5", At(1994, 11, 6, 8, 5)},
      {"06 Nov 1994 23:59:59", At(1994, 11, 6, 23, 59, 59)},
      {"06 Nov 1994 08:49:xx", At(1994, 11, 6, 8, 49)},
      // A bad time loses the date, but the offset after it still applies.
      {"06 Nov 1994 08:60:00 -0100", 1.0 / 24},
      {"06 Nov 1994 -1:00:00", 0},
      // Years: the calendar's range, two-digit years, leap years.
      {"01 Jan 0001", At(2001, 1, 1)},
      {"01 Jan 100", At(100, 1, 1)},
      {"31 Dec 9999", At(9999, 12, 31)},
      {"01 Jan 10000", 0},
      {"01 Jan 99", At(1999, 1, 1)},
      {"29 Feb 2000", At(2000, 2, 29)},
      {"29 Feb 1900", 0},
      {"31 Apr 2024", 0},
      // Numbers convert as whole texts; hexadecimal is accepted.
      {"$1F Jan 2024", At(2024, 1, 31)},
      {"06 Nov 0x7CA", At(1994, 11, 6)},
      {"06th Nov 1994", At(1994, 11, 1)},
      // Day and year are 16-bit: 65537 is day 1, -1 is day 65535, and 67436 is the year 1900,
      // which counts as missing (the time text is tried as the year and left as the rest).
      {"65537 Nov 1994", At(1994, 11, 1)},
      {"-1 Nov 1994", 0},
      {"06 Nov 67436 12:00:00 +0100", At(1900, 11, 6)},
      // An offset needs five characters and a valid hour and minute.
      {"06 Nov 1994 00:00:00 +01", At(1994, 11, 6)},
      {"06 Nov 1994 00:00:00 +2400", At(1994, 11, 6)},
      {"06 Nov 1994 00:00:00 +2359", At(1994, 11, 6) - (23.0 * 60 + 59) / kMinutesPerDay},
      // No date at all.
      {"garbage", 0},
      {"-", 0},
      {"Sun,", 0},
  };
}

struct ZoneCase {
  const char* tz;
  TDateTime shift;  // local time minus universal time, as a day fraction
};

// A fixed zone east of Greenwich (POSIX rule and tzdata name), universal time itself, and a zone
// that is on daylight-saving time all year, so the daylight branch is in force whatever today is.
const ZoneCase kZones[] = {
    {"UTC0", 0},
    {kChinaStandardTime, 8.0 / 24},
    {"Asia/Shanghai", 8.0 / 24},
    {kAlwaysDaylight, 2.0 / 24},
    {"EST5EDT,0/0,J365/25", -4.0 / 24},
};

class HttpDateInZone : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(HttpDateInZone, ReferenceAndFurtherCasesMoveToLocalTime) {
  ScopedTimeZone zone(GetParam().tz);
  ASSERT_NEAR(LocalTimeBias(), -GetParam().shift, kTolerance);
  for (const auto& table : {ReferenceCases(), FurtherCases()}) {
    for (const DateCase& c : table) {
      EXPECT_NEAR(HTTPDateToDateTime(c.text), c.utc + GetParam().shift, kTolerance)
          << "text: \"" << c.text << "\"";
    }
  }
}

TEST_P(HttpDateInZone, EmptyOrBlankTextIsExactlyZero) {
  ScopedTimeZone zone(GetParam().tz);
  for (const char* text : {"", " ", "\t\r\n", " \x01\x1F "}) {
    EXPECT_EQ(HTTPDateToDateTime(text), 0.0) << "text: \"" << text << "\"";
  }
  // A byte of 128 or more is no blank: the text is parsed (and fails), then moved to local time.
  EXPECT_NEAR(HTTPDateToDateTime("\xA0"), GetParam().shift, kTolerance);
}

TEST_P(HttpDateInZone, UTCToLocalTimeSubtractsTheBias) {
  ScopedTimeZone zone(GetParam().tz);
  const TDateTime noon = At(2024, 7, 1, 12);
  EXPECT_NEAR(UTCToLocalTime(noon), noon + GetParam().shift, kTolerance);
  EXPECT_NEAR(UTCToLocalTime(noon) - noon, -LocalTimeBias(), kTolerance);
}

INSTANTIATE_TEST_SUITE_P(Zones, HttpDateInZone, ::testing::ValuesIn(kZones),
                         [](const auto& info) { return "Zone" + std::to_string(info.index); });

TEST(LocalTimeBias, CentralEuropeanIsOneOrTwoHoursByDaylightSaving) {
  // Whether daylight saving is in force depends on today; either way the bias is the one in force.
  for (const char* tz : {kCentralEuropean, "Europe/Berlin"}) {
    ScopedTimeZone zone(tz);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ASSERT_NE(localtime_r(&now, &local), nullptr);
    const double expected = local.tm_isdst > 0 ? -2.0 / 24 : -1.0 / 24;
    EXPECT_NEAR(LocalTimeBias(), expected, kTolerance) << tz;
  }
}

TEST(LocalTimeBias, UnreadableZoneCountsAsUniversalTime) {
  ScopedTimeZone zone("No/Such_Zone");
  EXPECT_EQ(LocalTimeBias(), 0.0);
}

TEST(LocalTimeBias, FollowsAChangeOfZoneBetweenCalls) {
  ScopedTimeZone first(kChinaStandardTime);
  EXPECT_NEAR(LocalTimeBias(), -8.0 / 24, kTolerance);
  ScopedTimeZone second("UTC0");
  EXPECT_EQ(LocalTimeBias(), 0.0);
}

struct OffsetCase {
  const char* text;
  TDateTime offset;
};

TEST(ZoneOffsetToDateTime, ReadsSignHoursAndMinutesOfTheFirstFiveCharacters) {
  const OffsetCase cases[] = {
      {"+0200", 2.0 / 24},
      {"-0530", -5.5 / 24},
      {" \t+0200\r\n", 2.0 / 24},
      {"+02001", 2.0 / 24},  // only five characters count
      {"+2359", (23 * 60 + 59) / kMinutesPerDay},
      {"-0000", 0},
      {"+ 1 5", (60 + 5) / kMinutesPerDay},  // each number may have leading spaces
      {"+$A00", 10.0 / 24},                  // and may be hexadecimal
      {"+x1x2", (60 + 2) / kMinutesPerDay},
      {"+020", 2.0 / 24},  // the minutes are what there is of characters 4 and 5: "0"
      // Everything else is no offset.
      {"", 0},
      {"   ", 0},
      {"+", 0},
      {"+02", 0},
      {"+02:00", 0},
      {"GMT", 0},
      {"GMT+0200", 0},
      {"0200", 0},
      {"+2400", 0},
      {"+0060", 0},
      {"+-1-1", 0},
      {"+0x00", 0},
      {"+0 00", 0},         // a trailing blank fails a number ...
      {"+02 0", 2.0 / 24},  // ... a leading one does not
  };
  for (const OffsetCase& c : cases) {
    EXPECT_NEAR(ZoneOffsetToDateTime(c.text), c.offset, kTolerance) << "text: \"" << c.text << "\"";
  }
}

TEST(CutToken, CutsOrPeeksAtTheFirstOccurrence) {
  struct Case {
    const char* text;
    const char* token;
    bool remove;
    const char* head;
    const char* text_after;
  };
  const Case cases[] = {
      {"06 Nov 1994", " ", true, "06", "Nov 1994"},
      {"06 Nov 1994", " ", false, "06", "06 Nov 1994"},
      {"06-Nov-94 x", "-", true, "06", "Nov-94 x"},
      {"a::b", "::", true, "a", "b"},
      {"1994", " ", true, "1994", ""},  // not found: the whole text, and the text is used up
      {"1994", " ", false, "1994", "1994"},
      {" lead", " ", true, "", "lead"},
      {"tail ", " ", true, "tail", ""},
      {"", " ", true, "", ""},
      {"abc", "", true, "abc", ""},  // an empty token is never found
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    std::string head = "stale";
    CutToken(text, c.token, c.remove, head);
    EXPECT_EQ(head, c.head) << c.text << " / " << c.token;
    EXPECT_EQ(text, c.text_after) << c.text << " / " << c.token;
  }
  std::string same = "head rest";
  CutToken(same, " ", true, same);
  EXPECT_EQ(same, "head");
}

TEST(FindName, IgnoresLetterCaseButNotLength) {
  EXPECT_EQ(FindName("nov", MonthNames, 11), 10);
  EXPECT_EQ(FindName("NOV", MonthNames, 11), 10);
  EXPECT_EQ(FindName("November", MonthNames, 11), -1);
  EXPECT_EQ(FindName("No", MonthNames, 11), -1);
  EXPECT_EQ(FindName("", MonthNames, 11), -1);
  EXPECT_EQ(FindName("Dec", MonthNames, 10), -1);  // beyond the highest index searched
  EXPECT_EQ(FindName("Dec", MonthNames, 99), 11);  // clamped to the table
  EXPECT_EQ(FindName("Jan", MonthNames, -1), -1);
  EXPECT_EQ(FindName("N\xD6V", MonthNames, 11), -1);  // only ASCII letters fold
}

TEST(NameIndex, DaysAndMonthsCountFromOne) {
  for (int i = 0; i < 7; ++i) EXPECT_EQ(DayNameIndex(DayNames[i]), i + 1);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(MonthNameIndex(MonthNames[i]), i + 1);
  EXPECT_EQ(DayNameIndex("sAT"), 7);
  EXPECT_EQ(MonthNameIndex("jAN"), 1);
  EXPECT_EQ(DayNameIndex("Jan"), 0);
  EXPECT_EQ(MonthNameIndex("Sun"), 0);
  EXPECT_EQ(DayNameIndex("Sunday"), 0);
  EXPECT_EQ(MonthNameIndex(""), 0);
}

}  // namespace
}  // namespace winhttp
