// Failure helpers: set the calling thread's last error and return the failure value in one step.
#pragma once

#include <cstdint>

#include "inet/wininet.h"
#include "kernel/last_error.h"

namespace inet::detail {

inline bool Fail(std::uint32_t code) noexcept {
  kernel::SetLastError(code);
  return false;
}

inline HINTERNET FailNull(std::uint32_t code) noexcept {
  kernel::SetLastError(code);
  return nullptr;
}

}  // namespace inet::detail
