// Tick counts: milliseconds since an arbitrary fixed point (the system's monotonic clock), in 32
// bits, so the count wraps after about 49.7 days; differences taken in 32-bit unsigned arithmetic
// stay correct across one wrap. Any thread; never fails.
#pragma once

#include <cstdint>

namespace kernel {

std::uint32_t GetTickCount() noexcept;

}  // namespace kernel
