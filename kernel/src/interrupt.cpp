#include "kernel/interrupt.h"

#include "thread_control.h"

namespace kernel {
namespace detail {
namespace {
thread_local ThreadControl* current_control = nullptr;
}

ThreadControl* CurrentControl() noexcept {
  return current_control;
}
void SetCurrentControl(ThreadControl* control) noexcept {
  current_control = control;
}

void ThreadControl::WakeLocked() noexcept {
  if (wake != nullptr) wake(wake_context);
  resumed.notify_all();
}

void ThreadControl::Kill() noexcept {
  std::lock_guard guard(lock);
  killed.store(true, std::memory_order_release);
  WakeLocked();
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
  std::unique_lock guard(control->lock);
  control->resumed.wait(guard, [control] {
    return control->killed.load(std::memory_order_acquire) ||
           !control->suspend_requested.load(std::memory_order_acquire);
  });
  if (control->killed.load(std::memory_order_acquire)) throw ThreadKilled{};
}

}  // namespace kernel
