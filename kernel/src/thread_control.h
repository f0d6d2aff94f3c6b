// Private to the kernel layer: the per-thread control block behind interrupt.h and thread.h.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "kernel/interrupt.h"

namespace kernel::detail {

struct ThreadControl {
  std::mutex lock;                  // guards wake/wake_context and parking
  std::condition_variable resumed;  // a parked thread waits here
  std::atomic<bool> killed{false};
  std::atomic<bool> suspend_requested{false};
  InterruptibleWait::Waker wake = nullptr;
  void* wake_context = nullptr;

  // Marks the thread killed and wakes it from whatever wait it is in. Any thread.
  void Kill() noexcept;
  // Calls the registered waker, if any, under the lock. Any thread.
  void WakeLocked() noexcept;
};

// The control block of the calling thread; nullptr on threads the kernel layer did not start.
ThreadControl* CurrentControl() noexcept;
void SetCurrentControl(ThreadControl* control) noexcept;

}  // namespace kernel::detail
