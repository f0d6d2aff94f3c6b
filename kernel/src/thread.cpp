#include "kernel/thread.h"

#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>

#include "kernel/poll_wait.h"
#include "thread_control.h"

namespace kernel {

// Lets the free functions reach a handle's control block without making it public.
struct ThreadAccess {
  static detail::ThreadControl* Of(const ThreadHandle& handle) noexcept {
    return handle.control_.get();
  }
  static ThreadHandle Make(std::shared_ptr<detail::ThreadControl> control) noexcept {
    return ThreadHandle(std::move(control));
  }
};

namespace {

using detail::ThreadControl;

pid_t CurrentTid() noexcept {
  return static_cast<pid_t>(syscall(SYS_gettid));
}

// The Windows-style priority as a Linux nice value: -1 -> 5, 1 -> -5, -15 -> 19, 15 -> -20.
int NiceOf(std::int32_t priority) noexcept {
  return std::clamp(-5 * priority, -20, 19);
}

// Caller holds control->lock; the thread is alive (tid valid) while !ended.
void ApplyPriorityLocked(const ThreadControl* control) noexcept {
  if (control->tid == 0 || control->ended) return;
  // Best effort: raising the priority needs CAP_SYS_NICE or RLIMIT_NICE.
  (void)setpriority(PRIO_PROCESS, static_cast<id_t>(control->tid), NiceOf(control->priority));
}

// Runs the procedure; ThreadKilled ends it with the kill code. Returns the exit code.
std::uint32_t RunProcedure(ThreadControl* control) {
  try {
    return control->proc(control->parameter);
  } catch (const ThreadKilled&) {
    std::lock_guard guard(control->lock);
    return control->kill_code;
  } catch (...) {
    // A procedure must not let exceptions escape; ending only this thread beats ending the
    // process.
    return kExitCodeUnhandledException;
  }
}

void* ThreadEntry(void* argument) {
  auto* raw = static_cast<ThreadControl*>(argument);
  std::shared_ptr<ThreadControl> control;
  bool killed_before_start = false;
  {
    std::unique_lock guard(raw->lock);
    control = std::move(raw->self);
    control->tid = CurrentTid();
    control->id = static_cast<std::uint32_t>(control->tid);
    detail::SetCurrentControl(control.get());
    // Created suspended: wait for the first resume (or a kill) before running anything.
    control->suspend_requested.store(control->suspend_count > 0, std::memory_order_release);
    try {
      detail::ParkLocked(control.get(), guard);
    } catch (const ThreadKilled&) {
      killed_before_start = true;
    }
    if (control->priority != 0) ApplyPriorityLocked(control.get());
    control->changed.notify_all();  // the id is known now
  }
  std::uint32_t code = 0;
  if (killed_before_start) {
    std::lock_guard guard(control->lock);
    code = control->kill_code;
  } else {
    code = RunProcedure(control.get());
  }
  {
    std::lock_guard guard(control->lock);
    if (control->killed.load(std::memory_order_acquire)) code = control->kill_code;
    control->exit_code = code;
    control->ended = true;
    const std::uint64_t one = 1;
    (void)!write(control->end_fd, &one, sizeof one);
    control->changed.notify_all();
  }
  detail::SetCurrentControl(nullptr);
  return nullptr;
}

}  // namespace

ThreadHandle CreateThread(ThreadProc proc, void* parameter, bool create_suspended) {
  auto control = std::make_shared<ThreadControl>();
  control->proc = proc;
  control->parameter = parameter;
  control->suspend_count = create_suspended ? 1 : 0;
  control->end_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (control->end_fd < 0) return {};

  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return {};
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  control->self = control;  // handed to the thread; released by it at its start
  pthread_t thread;
  const int failed = pthread_create(&thread, &attributes, &ThreadEntry, control.get());
  pthread_attr_destroy(&attributes);
  if (failed != 0) {
    control->self.reset();
    return {};
  }
  return ThreadAccess::Make(std::move(control));
}

std::int32_t ResumeThread(const ThreadHandle& thread) noexcept {
  ThreadControl* control = ThreadAccess::Of(thread);
  if (control == nullptr) return -1;
  std::lock_guard guard(control->lock);
  const std::int32_t previous = control->suspend_count;
  if (previous == 0) return 0;
  if (--control->suspend_count == 0) {
    control->suspend_requested.store(false, std::memory_order_release);
    control->resumed.notify_all();
  }
  return previous;
}

std::int32_t SuspendThread(const ThreadHandle& thread) {
  ThreadControl* control = ThreadAccess::Of(thread);
  if (control == nullptr) return -1;
  std::unique_lock guard(control->lock);
  const std::int32_t previous = control->suspend_count++;
  if (previous != 0 || control->ended) return previous;
  control->suspend_requested.store(true, std::memory_order_release);
  if (control == detail::CurrentControl()) {
    detail::ParkLocked(control, guard);
    return previous;
  }
  // Make an interruptible wait return so that the thread parks at its CheckPoint, then wait until
  // it runs none of our code. A thread that has not started yet is parked already.
  if (control->wake != nullptr) control->wake(control->wake_context);
  control->changed.wait(guard, [control] {
    return control->StoppedLocked() || control->suspend_count == 0 ||
           control->killed.load(std::memory_order_acquire);
  });
  return previous;
}

bool TerminateThread(const ThreadHandle& thread, std::uint32_t exit_code) {
  ThreadControl* control = ThreadAccess::Of(thread);
  if (control == nullptr) return false;
  control->Kill(exit_code);
  if (control == detail::CurrentControl()) throw ThreadKilled{};
  return true;
}

std::int32_t GetThreadPriority(const ThreadHandle& thread) noexcept {
  ThreadControl* control = ThreadAccess::Of(thread);
  if (control == nullptr) return kThreadPriorityErrorReturn;
  std::lock_guard guard(control->lock);
  return control->priority;
}

bool SetThreadPriority(const ThreadHandle& thread, std::int32_t priority) noexcept {
  ThreadControl* control = ThreadAccess::Of(thread);
  if (control == nullptr || priority < kThreadPriorityIdle ||
      priority > kThreadPriorityTimeCritical)
    return false;
  std::lock_guard guard(control->lock);
  control->priority = priority;
  ApplyPriorityLocked(control);
  return true;
}

bool GetExitCodeThread(const ThreadHandle& thread, std::uint32_t* exit_code) noexcept {
  ThreadControl* control = ThreadAccess::Of(thread);
  if (control == nullptr || exit_code == nullptr) return false;
  std::lock_guard guard(control->lock);
  *exit_code = control->ended ? control->exit_code : kStillActive;
  return true;
}

std::uint32_t WaitForSingleObject(const ThreadHandle& thread, std::uint32_t timeout_ms) {
  ThreadControl* control = ThreadAccess::Of(thread);
  if (control == nullptr) return kWaitFailed;
  // `ended` is read under the lock the thread set it under, so that everything the thread did
  // happens before the waiter goes on (the descriptor alone carries no such ordering).
  auto ended = [control] {
    std::lock_guard guard(control->lock);
    return control->ended;
  };
  if (ended()) return kWaitObject0;
  pollfd end{control->end_fd, POLLIN, 0};
  // The time-out may be longer than poll's int; wait in slices and recompute what is left.
  const auto deadline_known = timeout_ms != kInfinite;
  struct timespec begin {};
  clock_gettime(CLOCK_MONOTONIC, &begin);
  for (;;) {
    int slice = -1;
    if (deadline_known) {
      struct timespec now {};
      clock_gettime(CLOCK_MONOTONIC, &now);
      const std::int64_t elapsed =
          (now.tv_sec - begin.tv_sec) * 1000 + (now.tv_nsec - begin.tv_nsec) / 1000000;
      const std::int64_t left = static_cast<std::int64_t>(timeout_ms) - elapsed;
      if (left <= 0) {
        slice = 0;
      } else {
        slice = static_cast<int>(std::min<std::int64_t>(left, 1 << 30));
      }
    }
    end.revents = 0;
    const int ready = InterruptiblePoll(&end, 1, slice);
    if (ready > 0 && ended()) return kWaitObject0;
    if (ready < 0 && errno != EINTR) return kWaitFailed;
    if (ready == 0 && slice == 0) return kWaitTimeout;
  }
}

int ThreadEndFd(const ThreadHandle& thread) noexcept {
  ThreadControl* control = ThreadAccess::Of(thread);
  return control == nullptr ? -1 : control->end_fd;
}

std::uint32_t GetThreadId(const ThreadHandle& thread) noexcept {
  ThreadControl* control = ThreadAccess::Of(thread);
  if (control == nullptr) return 0;
  std::lock_guard guard(control->lock);
  return control->id;
}

bool IsCurrentThread(const ThreadHandle& thread) noexcept {
  ThreadControl* control = ThreadAccess::Of(thread);
  return control != nullptr && control == detail::CurrentControl();
}

std::uint32_t GetCurrentThreadId() noexcept {
  return static_cast<std::uint32_t>(CurrentTid());
}

std::uint32_t MainThreadId() noexcept {
  // On Linux the main thread's id is the process id.
  return static_cast<std::uint32_t>(getpid());
}

}  // namespace kernel
