#include "winhttp/date_time.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>

namespace winhttp {
namespace {

TEST(TryEncodeDate, CountsDaysFromThe30thOfDecember1899) {
  struct Case {
    int year, month, day;
    double days;
  };
  const Case cases[] = {
      {1899, 12, 30, 0},    {1899, 12, 31, 1},       {1900, 1, 1, 2},
      {1900, 2, 28, 60},    {1900, 3, 1, 61},  // 1900 is no leap year in this calendar
      {1994, 11, 6, 34644}, {2000, 2, 29, 36585},    {2000, 3, 1, 36586},
      {1, 1, 1, -693593},   {9999, 12, 31, 2958465}, {1600, 2, 29, -109512},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TryEncodeDate(c.year, c.month, c.day), c.days)
        << c.year << "-" << c.month << "-" << c.day;
  }
}

TEST(TryEncodeDate, RejectsWhatIsNoDate) {
  const int invalid[][3] = {{0, 1, 1},     {10000, 1, 1}, {-1, 1, 1},    {2024, 0, 1},
                            {2024, 13, 1}, {2024, 1, 0},  {2024, 1, 32}, {2023, 2, 29},
                            {1900, 2, 29}, {2100, 2, 29}, {2024, 4, 31}, {65535, 65535, 65535}};
  for (const auto& d : invalid) {
    EXPECT_EQ(TryEncodeDate(d[0], d[1], d[2]), std::nullopt) << d[0] << "-" << d[1] << "-" << d[2];
  }
  EXPECT_TRUE(TryEncodeDate(2024, 2, 29));
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29));
}

TEST(TryEncodeTime, IsAFractionOfTheDay) {
  EXPECT_EQ(TryEncodeTime(0, 0, 0), 0.0);
  EXPECT_EQ(TryEncodeTime(12, 0, 0), 0.5);
  EXPECT_EQ(TryEncodeTime(6, 0, 0), 0.25);
  EXPECT_DOUBLE_EQ(*TryEncodeTime(8, 49, 37), (8 * 3600 + 49 * 60 + 37) / 86400.0);
  EXPECT_DOUBLE_EQ(*TryEncodeTime(23, 59, 59), 86399 / 86400.0);
  for (const auto& t : {std::array{24, 0, 0}, std::array{0, 60, 0}, std::array{0, 0, 60},
                        std::array{-1, 0, 0}, std::array{0, -1, 0}, std::array{0, 0, -1}}) {
    EXPECT_EQ(TryEncodeTime(t[0], t[1], t[2]), std::nullopt) << t[0] << ":" << t[1] << ":" << t[2];
  }
}

}  // namespace
}  // namespace winhttp
