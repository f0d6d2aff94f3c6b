#include "kernel/last_error.h"

namespace kernel {
namespace {
thread_local std::uint32_t last_error = ERROR_SUCCESS;
}

std::uint32_t GetLastError() noexcept {
  return last_error;
}

void SetLastError(std::uint32_t code) noexcept {
  last_error = code;
}

}  // namespace kernel
