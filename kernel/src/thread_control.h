// Private to the kernel layer: the per-thread control block behind interrupt.h and thread.h.
//
// One block exists per thread started through kernel/thread.h. It is shared (std::shared_ptr) by
// every ThreadHandle of the thread and by the running thread itself, so it outlives both the last
// handle and the thread. Everything except the atomics is guarded by `lock`.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "kernel/interrupt.h"
#include "kernel/thread.h"

namespace kernel::detail {

struct ThreadControl {
  ThreadControl() = default;
  ~ThreadControl();
  ThreadControl(const ThreadControl&) = delete;
  ThreadControl& operator=(const ThreadControl&) = delete;

  std::mutex lock;
  std::condition_variable resumed;  // a parked thread waits here for Resume or Kill
  std::condition_variable changed;  // Suspend and GetThreadId wait here for the thread's progress

  // Read without the lock by InterruptPending; written under the lock.
  std::atomic<bool> killed{false};
  std::atomic<bool> suspend_requested{false};  // suspend_count > 0 while the thread has started

  // The waker of the thread's current interruptible wait; nullptr when it is not in one.
  InterruptibleWait::Waker wake = nullptr;
  void* wake_context = nullptr;

  std::int32_t suspend_count = 0;
  bool parked = false;  // waiting at its start or at a CheckPoint: runs none of our code
  bool ended = false;   // the procedure has finished (or the thread was killed and has unwound)
  std::uint32_t exit_code = kStillActive;
  std::uint32_t kill_code = 0;
  std::int32_t priority = 0;  // as last set; applied to the Linux thread best-effort
  pid_t tid = 0;              // 0 until the thread has started running
  std::uint32_t id = 0;       // our thread id (the Linux tid), 0 until known

  ThreadProc proc = nullptr;
  void* parameter = nullptr;
  std::shared_ptr<ThreadControl> self;  // the running thread's own reference, taken at its start

  int end_fd = -1;        // eventfd, readable once `ended` (for polling waits)
  int interrupt_fd = -1;  // eventfd written on kill/suspend; created by the thread on first use

  // Marks the thread killed and wakes it from whatever wait it is in. Any thread.
  void Kill(std::uint32_t code) noexcept;
  // Calls the registered waker, if any, and wakes a parked thread. Caller holds `lock`.
  void WakeLocked() noexcept;
  // True while the thread runs none of our code: parked, inside an interruptible wait, or ended.
  bool StoppedLocked() const noexcept { return parked || ended || wake != nullptr; }
};

// The control block of the calling thread; nullptr on threads the kernel layer did not start.
ThreadControl* CurrentControl() noexcept;
void SetCurrentControl(ThreadControl* control) noexcept;

// Parks the calling thread (holding `guard` on control->lock) until it is neither suspended nor
// killed; throws ThreadKilled when it was killed.
void ParkLocked(ThreadControl* control, std::unique_lock<std::mutex>& guard);

}  // namespace kernel::detail
