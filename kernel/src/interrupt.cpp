#include "kernel/interrupt.h"

#include <unistd.h>

#include "thread_control.h"

namespace kernel {
namespace detail {
namespace {
thread_local ThreadControl* current_control = nullptr;
const std::atomic<bool> never_killed{false};
}  // namespace

ThreadControl* CurrentControl() noexcept {
  return current_control;
}
void SetCurrentControl(ThreadControl* control) noexcept {
  current_control = control;
}

ThreadControl::~ThreadControl() {
  if (end_fd >= 0) close(end_fd);
  if (interrupt_fd >= 0) close(interrupt_fd);
}

void ThreadControl::WakeLocked() noexcept {
  if (wake != nullptr) wake(wake_context);
  resumed.notify_all();
}

void ThreadControl::Kill(std::uint32_t code) noexcept {
  std::lock_guard guard(lock);
  if (ended) return;
  if (!killed.load(std::memory_order_relaxed)) {
    kill_code = code;
    killed.store(true, std::memory_order_release);
  }
  WakeLocked();
  changed.notify_all();
}

void ParkLocked(ThreadControl* control, std::unique_lock<std::mutex>& guard) {
  auto free_to_go = [control] {
    return control->killed.load(std::memory_order_acquire) ||
           !control->suspend_requested.load(std::memory_order_acquire);
  };
  if (!free_to_go()) {
    control->parked = true;
    control->changed.notify_all();  // a SuspendThread waiting for us to stop
    control->resumed.wait(guard, free_to_go);
    control->parked = false;
  }
  if (control->killed.load(std::memory_order_acquire)) throw ThreadKilled{};
}
}  // namespace detail

InterruptibleWait::InterruptibleWait(Waker wake, void* context)
    : previous_wake_(nullptr), previous_context_(nullptr) {
  detail::ThreadControl* control = detail::CurrentControl();
  if (control == nullptr) return;
  std::lock_guard guard(control->lock);
  if (control->killed.load(std::memory_order_acquire)) throw ThreadKilled{};
  previous_wake_ = control->wake;
  previous_context_ = control->wake_context;
  control->wake = wake;
  control->wake_context = context;
  // Inside the wait the thread counts as stopped; tell a SuspendThread that waits for that.
  if (control->suspend_requested.load(std::memory_order_relaxed)) control->changed.notify_all();
}

InterruptibleWait::~InterruptibleWait() {
  detail::ThreadControl* control = detail::CurrentControl();
  if (control == nullptr) return;
  std::lock_guard guard(control->lock);
  control->wake = previous_wake_;
  control->wake_context = previous_context_;
}

bool InterruptPending() noexcept {
  const detail::ThreadControl* control = detail::CurrentControl();
  return control != nullptr && (control->killed.load(std::memory_order_acquire) ||
                                control->suspend_requested.load(std::memory_order_acquire));
}

bool IsThreadKilled() noexcept {
  const detail::ThreadControl* control = detail::CurrentControl();
  return control != nullptr && control->killed.load(std::memory_order_acquire);
}

void CheckPoint() {
  detail::ThreadControl* control = detail::CurrentControl();
  if (control == nullptr) return;
  // Fast path: nothing pending, no lock.
  if (!control->killed.load(std::memory_order_acquire) &&
      !control->suspend_requested.load(std::memory_order_acquire))
    return;
  std::unique_lock guard(control->lock);
  detail::ParkLocked(control, guard);
}

const std::atomic<bool>* CurrentKillMark() noexcept {
  const detail::ThreadControl* control = detail::CurrentControl();
  return control != nullptr ? &control->killed : &detail::never_killed;
}

}  // namespace kernel
