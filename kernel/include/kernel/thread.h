// Kernel threads: created suspended, resumed with a suspend count, suspended, ended forcibly,
// prioritised, waited for, with exit codes. The calls keep the meaning of the kernel services the
// system was designed for; the mechanism is our own (POSIX threads, no signals, no cancellation).
//
// Forced end. TerminateThread never cancels a thread asynchronously (a thread stopped inside
// libcurl or malloc would leave locks held). It marks the thread killed and wakes it from the
// interruptible wait it is in (kernel/interrupt.h); the thread then unwinds from its next
// interruption point (an interruptible wait, a CheckPoint) with kernel::ThreadKilled, which the
// thread's entry function catches last: the thread ends with the given exit code and none of the
// procedure's remaining steps run. TerminateThread on the calling thread throws ThreadKilled at
// once.
//
// Suspension. The suspend count follows the Windows rules: SuspendThread adds one and returns the
// previous count, ResumeThread subtracts one and returns the previous count (0: was not
// suspended), and the thread runs only while the count is 0. A thread created suspended has count
// 1. Suspending a running thread cannot stop it at an arbitrary instruction; instead
// SuspendThread of another thread returns once that thread is "stopped", which means exactly one
// of:
//   - it has not started running its procedure yet (created suspended, or not scheduled yet),
//   - it is parked at a CheckPoint (it reached one while the suspension was pending),
//   - it is inside an interruptible wait (kernel::InterruptibleWait registered: a synchronised
//     call, a message wait, a network wait). On leaving that wait it parks at its CheckPoint
//     before running any further code of the caller,
//   - its procedure has ended.
// A thread that computes for a long time without reaching an interruption point delays
// SuspendThread until it does. SuspendThread of the calling thread parks it at once until another
// thread resumes it (or kills it: then ThreadKilled is thrown).
//
// Handles. ThreadHandle is a reference-counted value; copies name the same thread. Dropping the
// last handle (CloseHandle) does not affect the thread: a thread left suspended stays suspended.
//
// Threads: every function may be called on any thread. Nothing here allocates after CreateThread.
#pragma once

#include <cstdint>
#include <memory>

namespace kernel {

namespace detail {
struct ThreadControl;
}

// Results of waits (shared with user/ waits) and special values.
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitTimeout = 0x102;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;
inline constexpr std::uint32_t kStillActive = 259;  // GetExitCodeThread of a running thread
// The exit code of a thread whose procedure let an exception (other than ThreadKilled) escape.
inline constexpr std::uint32_t kExitCodeUnhandledException = 0xE0000001u;

// Thread priorities: the seven standard values; any value in [-15, 15] is accepted.
inline constexpr std::int32_t kThreadPriorityIdle = -15;
inline constexpr std::int32_t kThreadPriorityLowest = -2;
inline constexpr std::int32_t kThreadPriorityBelowNormal = -1;
inline constexpr std::int32_t kThreadPriorityNormal = 0;
inline constexpr std::int32_t kThreadPriorityAboveNormal = 1;
inline constexpr std::int32_t kThreadPriorityHighest = 2;
inline constexpr std::int32_t kThreadPriorityTimeCritical = 15;
inline constexpr std::int32_t kThreadPriorityErrorReturn = 0x7FFFFFFF;  // GetThreadPriority failed

// The thread procedure: runs on the new thread with the parameter given to CreateThread; its
// result is the thread's exit code.
using ThreadProc = std::uint32_t (*)(void* parameter);

class ThreadHandle {
 public:
  ThreadHandle() noexcept = default;  // the null handle: every call on it fails
  explicit operator bool() const noexcept { return control_ != nullptr; }
  friend bool operator==(const ThreadHandle& a, const ThreadHandle& b) noexcept {
    return a.control_ == b.control_;
  }

  // CloseHandle: drops this reference; the thread itself is not affected.
  void Close() noexcept { control_.reset(); }

 private:
  friend struct ThreadAccess;
  explicit ThreadHandle(std::shared_ptr<detail::ThreadControl> control) noexcept
      : control_(std::move(control)) {}
  std::shared_ptr<detail::ThreadControl> control_;
};

// Starts a thread running proc(parameter), suspended (count 1) when `create_suspended`. Returns
// the null handle when the system cannot create a thread (nothing else is reported).
ThreadHandle CreateThread(ThreadProc proc, void* parameter, bool create_suspended);

// Previous suspend count; 0 when the thread was not suspended; -1 for the null handle.
std::int32_t ResumeThread(const ThreadHandle& thread) noexcept;
// Previous suspend count, or -1 for the null handle. See "Suspension" above for when it returns.
// On the calling thread it returns only after the thread has been resumed, and throws
// ThreadKilled if it is killed meanwhile.
std::int32_t SuspendThread(const ThreadHandle& thread);
// Ends the thread as described above with `exit_code`. False for the null handle; true otherwise
// (also for a thread that has already ended, which keeps its exit code). Throws ThreadKilled when
// `thread` is the calling thread.
bool TerminateThread(const ThreadHandle& thread, std::uint32_t exit_code);

// The priority as last set (0 for a new thread); kThreadPriorityErrorReturn for the null handle.
std::int32_t GetThreadPriority(const ThreadHandle& thread) noexcept;
// Stores the priority and applies it best-effort to the Linux thread (as its nice value; raising
// it may need privileges, a refusal is not reported). False for the null handle or a value outside
// [-15, 15].
bool SetThreadPriority(const ThreadHandle& thread, std::int32_t priority) noexcept;

// kStillActive while the thread has not ended. False for the null handle.
bool GetExitCodeThread(const ThreadHandle& thread, std::uint32_t* exit_code) noexcept;
// Waits up to `timeout_ms` (kInfinite: no limit) for the end of the thread: kWaitObject0 when it
// has ended, kWaitTimeout, or kWaitFailed for the null handle. An interruptible wait: a kernel
// thread waiting here can be killed or suspended.
std::uint32_t WaitForSingleObject(const ThreadHandle& thread, std::uint32_t timeout_ms);
// A descriptor that becomes readable (and stays so) once the thread has ended; for poll-based
// waits (user/ message waits). Valid while `thread` (or a copy) is held; -1 for the null handle.
int ThreadEndFd(const ThreadHandle& thread) noexcept;

// The thread's identifier (its Linux thread id); 0 until the thread has started running (a thread
// created suspended starts at its first resume), and for the null handle.
std::uint32_t GetThreadId(const ThreadHandle& thread) noexcept;
// True when `thread` is the calling thread.
bool IsCurrentThread(const ThreadHandle& thread) noexcept;

// The calling thread's identifier (Linux thread id).
std::uint32_t GetCurrentThreadId() noexcept;
// The identifier of the program's main thread (the thread that runs main()).
std::uint32_t MainThreadId() noexcept;

}  // namespace kernel
