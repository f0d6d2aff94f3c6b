#include "kernel/zeroed_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

namespace {

using kernel::ZeroedMemory;

constexpr std::size_t kMiB = std::size_t{1} << 20;

void Fill(const ZeroedMemory& block, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) block.Data()[i] = static_cast<std::uint8_t>(i * 7 + 1);
}

// True when [0, content) holds Fill's pattern and [content, capacity) is zero.
::testing::AssertionResult HoldsPatternThenZeros(const ZeroedMemory& block, std::size_t content) {
  for (std::size_t i = 0; i < content; ++i)
    if (block.Data()[i] != static_cast<std::uint8_t>(i * 7 + 1))
      return ::testing::AssertionFailure() << "content lost at byte " << i;
  const std::uint8_t* begin = block.Data();
  const std::uint8_t* end = begin + block.Capacity();
  const std::uint8_t* dirty =
      std::find_if(begin + content, end, [](std::uint8_t b) { return b != 0; });
  if (dirty != end)
    return ::testing::AssertionFailure() << "non-zero byte at " << (dirty - block.Data());
  return ::testing::AssertionSuccess();
}

// Each step grows the block holding `content` written bytes: on the heap, from the heap into a
// mapping, and mapping to mapping (remapped, possibly moved).
TEST(ZeroedMemory, GrowthKeepsTheContentAndZeroFillsTheRest) {
  struct Step {
    std::size_t capacity;
    std::size_t content;
  };
  const Step steps[] = {
      {100, 0}, {5000, 100}, {3 * kMiB, 4999}, {3 * kMiB + 1, 3 * kMiB}, {64 * kMiB, 3 * kMiB}};
  ZeroedMemory block;
  std::size_t written = 0;
  for (const Step& step : steps) {
    Fill(block, written, step.content);
    written = step.content;
    block.Grow(step.capacity, step.content);
    EXPECT_GE(block.Capacity(), step.capacity);
    EXPECT_TRUE(HoldsPatternThenZeros(block, step.content)) << "grown to " << step.capacity;
  }
  const std::uint8_t* before = block.Data();
  block.Grow(kMiB, 0);  // smaller: nothing happens
  EXPECT_EQ(block.Data(), before);
  EXPECT_TRUE(HoldsPatternThenZeros(block, written));
}

TEST(ZeroedMemory, FailedGrowthLeavesTheBlockAsItWas) {
  for (const std::size_t start : {std::size_t{4096}, 2 * kMiB}) {
    ZeroedMemory block;
    block.Grow(start, 0);
    Fill(block, 0, start);
    const std::uint8_t* data = block.Data();
    const std::size_t capacity = block.Capacity();
    EXPECT_THROW(block.Grow(SIZE_MAX / 2, start), std::bad_alloc) << "from " << start;
    EXPECT_THROW(block.Grow(SIZE_MAX, start), std::bad_alloc) << "from " << start;
    EXPECT_EQ(block.Data(), data);
    EXPECT_EQ(block.Capacity(), capacity);
    EXPECT_TRUE(HoldsPatternThenZeros(block, start));
  }
}

TEST(ZeroedMemory, MovesHandOverTheBlockAndResetEmptiesIt) {
  ZeroedMemory first;
  first.Grow(2 * kMiB, 0);
  Fill(first, 0, 1000);
  ZeroedMemory second(std::move(first));
  EXPECT_EQ(first.Data(), nullptr);
  EXPECT_EQ(first.Capacity(), 0u);
  EXPECT_TRUE(HoldsPatternThenZeros(second, 1000));

  ZeroedMemory third;
  third.Grow(100, 0);
  third = std::move(second);  // frees third's own heap block
  EXPECT_TRUE(HoldsPatternThenZeros(third, 1000));
  third.Reset();
  EXPECT_EQ(third.Data(), nullptr);
  EXPECT_EQ(third.Capacity(), 0u);
  third.Grow(10, 0);  // usable again
  EXPECT_TRUE(HoldsPatternThenZeros(third, 0));
}

}  // namespace
