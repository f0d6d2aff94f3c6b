#include "kernel/ticks.h"

#include <chrono>

namespace kernel {

std::uint32_t GetTickCount() noexcept {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

}  // namespace kernel
