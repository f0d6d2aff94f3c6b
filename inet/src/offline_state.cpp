#include "offline_state.h"

#include <atomic>

namespace inet::detail {
namespace {
std::atomic<bool> process_offline{false};
}

bool ProcessOffline() noexcept {
  return process_offline.load(std::memory_order_acquire);
}

void SetProcessOffline(bool offline) noexcept {
  process_offline.store(offline, std::memory_order_release);
}

}  // namespace inet::detail
