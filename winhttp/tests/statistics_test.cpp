// Progress figures: percentages, elapsed and remaining time, transfer rate, and the rounding
// (to nearest, halves to even) they all use.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "winhttp/statistics.h"

namespace {

using winhttp::ComputeStatistics;
using winhttp::PercentOf;
using winhttp::RoundHalfEven;

TEST(StatisticsTest, RoundsHalvesToEven) {
  struct Case {
    long double value;
    std::int64_t rounded;
  };
  for (const Case& c : {Case{0.5L, 0}, Case{1.5L, 2}, Case{2.5L, 2}, Case{3.5L, 4}, Case{-0.5L, 0},
                        Case{-1.5L, -2}, Case{2.4999L, 2}, Case{2.5001L, 3}, Case{1e30L, 0},
                        Case{std::numeric_limits<long double>::quiet_NaN(), 0}}) {
    SCOPED_TRACE(static_cast<double>(c.value));
    EXPECT_EQ(RoundHalfEven(c.value), c.rounded);
  }
}

TEST(StatisticsTest, PercentOfKeepsTheLowEightBits) {
  EXPECT_EQ(PercentOf(5, 0), 0);
  EXPECT_EQ(PercentOf(0, 0), 0);
  EXPECT_EQ(PercentOf(1, 3), 33);
  EXPECT_EQ(PercentOf(2, 3), 67);
  EXPECT_EQ(PercentOf(300, 100), 44);  // 300 % in 8 bits
  EXPECT_EQ(PercentOf(4294967295u, 4294967295u), 100);
}

// Ticks: the transfer started at tick 1000; `elapsed_ms` later the figures are taken.
struct Row {
  const char* name;
  std::uint32_t start_position;
  std::uint32_t data_length;
  std::uint32_t bytes;
  std::uint32_t elapsed_ms;
  int percents;
  std::uint32_t elapsed_s;
  std::int32_t estimated;
};

TEST(StatisticsTest, FiguresOfTheProgressEvents) {
  for (const Row& r : {
           Row{"1 of 200 bytes: 0.5 rounds to 0", 0, 200, 1, 0, 0, 0, 0},
           Row{"3 of 200: 1.5 rounds to 2", 0, 200, 3, 0, 2, 0, 0},
           Row{"5 of 200: 2.5 rounds to 2", 0, 200, 5, 0, 2, 0, 0},
           Row{"7 of 200: 3.5 rounds to 4", 0, 200, 7, 0, 4, 0, 0},
           Row{"200 of 200", 0, 200, 200, 0, 100, 0, 0},
           Row{"no length: minus the elapsed time", 0, 0, 5000, 4999, 0, 4, -4},
           Row{"250 of 1000 after 3 s", 0, 1000, 250, 3000, 25, 3, 9},
           Row{"estimate 2.5 s rounds to 2", 0, 5, 2, 1000, 40, 1, 1},
           Row{"estimate 3.5 s rounds to 4", 0, 7, 2, 1000, 29, 1, 3},
           Row{"resumed at 5000", 5000, 3000, 1000, 2500, 75, 2, 4},
           Row{"sums wrap in 32 bits", 0xFFFFFF00u, 0x200, 0x100, 0, 0, 0, 0},
           Row{"elapsed seconds round down", 0, 100, 1, 1999, 1, 1, 99},
           Row{"no bytes yet: no estimate", 0, 100, 0, 2000, 0, 2, -2},
       }) {
    SCOPED_TRACE(r.name);
    const auto s =
        ComputeStatistics(r.start_position, r.data_length, r.bytes, 1000, 1000 + r.elapsed_ms);
    EXPECT_EQ(s.percents_done, r.percents);
    EXPECT_EQ(s.elapsed_time, r.elapsed_s);
    EXPECT_EQ(s.estimated_time_left, r.estimated);
  }
}

TEST(StatisticsTest, ElapsedTimeSurvivesATickWrap) {
  const auto s = ComputeStatistics(0, 0, 1, 0xFFFFF000u, 0x00000F00u);  // 7936 ms later
  EXPECT_EQ(s.elapsed_time, 7u);
}

TEST(StatisticsTest, TransferRateInSinglePrecision) {
  // 250 bytes in 3 s: 250 / 1024 = 0.244140625 (exact in single precision), / 3 rounded to
  // single precision.
  EXPECT_EQ(ComputeStatistics(0, 1000, 250, 0, 3000).transfer_rate,
            std::bit_cast<float>(0x3da6aaabu));
  // Within the first second: the kibibytes moved so far.
  EXPECT_EQ(ComputeStatistics(0, 0, 2048, 0, 999).transfer_rate, 2.0f);
  EXPECT_EQ(ComputeStatistics(0, 0, 0, 0, 5000).transfer_rate, 0.0f);
}

TEST(StatisticsTest, AHugeEstimateKeepsItsLowThirtyTwoBits) {
  // 4294967295 / 1 * 1000 s - 1000 s = 4294966294000: stored in 32 bits.
  const auto s = ComputeStatistics(0, 4294967295u, 1, 0, 1000000);
  const std::int64_t full = 4294967295LL * 1000 - 1000;
  EXPECT_EQ(s.estimated_time_left, static_cast<std::int32_t>(static_cast<std::uint32_t>(full)));
}

}  // namespace
