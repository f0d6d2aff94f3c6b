// Interruptible blocking waits.
//
// A thread can be ended forcibly (TerminateThread) or suspended by another thread. We never use
// asynchronous cancellation or signals for that: a thread stopped inside libcurl or malloc would
// leave locks held. Instead every blocking wait of our layers registers a waker for the duration
// of the wait; a forced end or a suspension request calls that waker, the wait returns early, and
// the waiting thread then calls CheckPoint(), which throws ThreadKilled (for a forced end) or
// parks the thread until it is resumed (for a suspension).
//
// Contract for a blocking wait (message channel, network poll, condition variable):
//
//   kernel::InterruptibleWait guard(&WakeMe, this);  // registers; may throw ThreadKilled
//   while (!done && !kernel::InterruptPending()) block();  // WakeMe must make block() return
//   // leave the guard's scope, then:
//   kernel::CheckPoint();
//
// Threads: every function here acts on the calling thread and may be called on any thread,
// including threads not created through kernel/thread.h (they are simply never interrupted).
#pragma once

#include <atomic>

namespace kernel {

// Thrown on a thread that has been ended forcibly. Deliberately not derived from std::exception:
// a guard that catches std::exception lets it through, and every catch (...) in our code must
// rethrow it (catch (const kernel::ThreadKilled&) { throw; } before the catch-all). The thread's
// entry function catches it last and ends the thread without running any further step.
struct ThreadKilled final {};

// Registers a waker for the calling thread's current blocking wait. The waker is called, on the
// thread that ends or suspends this one, with the registration lock held: it must be quick, must
// not throw, must not block and must be safe to call more than once. It takes a plain function
// pointer and context so that registering never allocates (synchronised calls sit on a hot path).
// Registration is not nested: a wait inside a wait replaces the outer waker until it ends.
// Constructing it on a thread that is already killed throws ThreadKilled.
class InterruptibleWait {
 public:
  using Waker = void (*)(void* context) noexcept;
  InterruptibleWait(Waker wake, void* context);
  ~InterruptibleWait();
  InterruptibleWait(const InterruptibleWait&) = delete;
  InterruptibleWait& operator=(const InterruptibleWait&) = delete;

 private:
  Waker previous_wake_;
  void* previous_context_;
};

// True when the calling thread has been killed or asked to suspend; a wait loop stops blocking
// as soon as it is true. Never throws.
bool InterruptPending() noexcept;

// True when the calling thread has been ended forcibly. Never throws.
bool IsThreadKilled() noexcept;

// Throws ThreadKilled when the calling thread has been ended forcibly. While a suspension is
// requested it parks the calling thread until it is resumed (then returns) or killed (then throws).
// A parked thread counts as stopped for SuspendThread (kernel/thread.h).
void CheckPoint();

// The calling thread's "killed" mark, for a thread that hands work to another one and blocks
// (the message channel): the other thread may test it to skip work whose requester is being
// killed. The pointee lives at least as long as the calling thread; only dereference it while the
// calling thread is known to be alive (for example while it is still blocked waiting for you).
// For threads not started through kernel/thread.h it is a mark that is never set. Never throws.
const std::atomic<bool>* CurrentKillMark() noexcept;

}  // namespace kernel
