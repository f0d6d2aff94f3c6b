// The worker thread component: runs one handler, OnExecute, on a fresh worker thread for every
// run; lets that handler have short procedures run on the main thread while it waits
// (Synchronize); lets the main thread wait for the run while it keeps handling messages (with an
// optional limit); stops the run by request (Terminate(false), polled through Terminated) or at
// once (Terminate(true): the thread is ended forcibly and its thread object replaced).
//
// Two classes:
//   TCustomWinThread  the component (owned by its owner component like any other). It always
//                     holds exactly one thread object and exchanges it before every run.
//   TEventWinThread   the thread object: one kernel thread, created suspended, plus the run's
//                     handlers and state. Owned by its component, except after a run with
//                     FreeOwnerOnFinish, when it belongs to its own worker and frees itself.
//
// Threads. The main thread creates, configures and destroys components, and calls Execute,
// Terminate, Suspend, Suspended and Priority. The worker runs OnExecute. OnException, OnFinish,
// OnWaitTimeoutExpired and every procedure passed to Synchronize run on the main thread (the
// thread that owns the hidden window, winthread/thread_window.h). The main thread runs
// synchronised calls only while it handles messages: in its message loop, in Execute's wait and
// in the waits for a worker. Terminated, Executing and Suspended may be read on any thread.
//
// Forced end. Terminate(true) ends the worker as kernel/thread.h describes: the worker is woken
// from the wait it is in (a synchronised call, a network wait) and unwinds with
// kernel::ThreadKilled; no finish step, no handler and no further code of the run follows. Code
// that runs on a worker must let kernel::ThreadKilled pass through every catch (...).
// Terminated() is an interruption point: a worker that polls it stops there when it has been
// killed or suspended.
//
// Failures. The component reports what its handlers raise through OnException (CatchExceptions,
// the default) or lets it end the run; the exception routes are documented at each operation.
// Execute throws EWinThreadError for a FreeOwnerOnFinish setting it cannot honour. Thread creation
// failures are not reported (the run simply never happens).
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "kernel/thread.h"
#include "vcl/component.h"
#include "vcl/event.h"
#include "vcl/exceptions.h"
#include "winthread/thread_window.h"

namespace winthread {

// The seven thread priorities, lowest first.
enum TThreadPriority : std::uint8_t {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical,
};

// The system priority of each TThreadPriority, indexed by it.
inline constexpr std::int32_t kThreadPriorities[] = {
    kernel::kThreadPriorityIdle,         kernel::kThreadPriorityLowest,
    kernel::kThreadPriorityBelowNormal,  kernel::kThreadPriorityNormal,
    kernel::kThreadPriorityAboveNormal,  kernel::kThreadPriorityHighest,
    kernel::kThreadPriorityTimeCritical,
};

// A procedure of an object without arguments (the argument of Synchronize).
using TThreadMethod = vcl::Event<>;
// OnWaitTimeoutExpired(Sender, var TerminateThread).
using TWinThreadWaitTimeoutExpired = vcl::Event<vcl::TObject*, bool&>;

// A setting the component cannot honour (FreeOwnerOnFinish without OnFinish or owner).
class EWinThreadError : public vcl::Exception {
 public:
  using vcl::Exception::Exception;
};

class TCustomWinThread;

// A call to run on the main thread, borrowed for the duration of one Synchronize: it points at the
// caller's callable (on the caller's stack) and never allocates. `invoke` must copy what it needs
// out of `context` before it runs anything: the call may end the worker, whose frame then goes
// away while the call is still running.
struct SyncCall {
  void* context = nullptr;
  void (*invoke)(void* context) = nullptr;
};

class TEventWinThread : public vcl::TObject {
 public:
  // Acquires the hidden window and creates the kernel thread, suspended. Main thread (or the
  // thread that renews). A failed thread creation leaves Handle() null; nothing is reported.
  explicit TEventWinThread(TCustomWinThread* component);
  // Sets Terminated, then waits for a run that is still under way (WaitFor), or lets a thread
  // that never ran start and find Terminated; a thread suspended more than once is left
  // suspended and not waited for. Releases the hidden window. On the main thread the wait keeps
  // running the worker's synchronised calls.
  ~TEventWinThread() override;

  std::string ClassName() const override { return "TEventWinThread"; }

  // Runs `method` on the main thread and blocks until it has run (see TCustomWinThread).
  // Nothing runs when `method` is not assigned. The main thread runs a copy of `method` (a
  // callable too large for std::function's inline buffer is copied to the heap); the
  // method-pointer form never allocates. Any thread; not by two threads at once.
  void Synchronize(const TThreadMethod& method);
  template <typename T>
  void Synchronize(T* object, void (T::*method)()) {
    struct Bound {
      T* object;
      void (T::*method)();
    } bound{object, method};
    SynchronizeCall({&bound, [](void* context) {
                       const Bound b = *static_cast<const Bound*>(context);  // see SyncCall
                       (b.object->*b.method)();
                     }});
  }
  void SynchronizeCall(SyncCall call);

  // Waits for the end of the thread and returns its exit code (0 for a null handle). On the
  // program's main thread the wait runs the messages other threads send meanwhile (only those).
  std::uint32_t WaitFor();

  void Suspend();                 // Suspended := true, then suspends the kernel thread
  void Resume();                  // Suspended := false only when the suspend count reaches 0
  void SetSuspended(bool value);  // Suspend or Resume when `value` differs from Suspended
  void Terminate() noexcept { terminated_.store(true); }  // requests a stop; never cleared
  TThreadPriority GetPriority() const;                    // tpNormal for a value outside the table
  void SetPriority(TThreadPriority value);

  // A new thread object for the same component with this one's priority and handlers.
  std::unique_ptr<TEventWinThread> CreateSuccessor() const;
  // Ends the run if one is under way (forcibly; on the worker itself this throws ThreadKilled and
  // nothing else happens) and returns the successor. The caller destroys this object afterwards
  // (assigning the result to the owning pointer does both).
  std::unique_ptr<TEventWinThread> Renew();

  const kernel::ThreadHandle& Handle() const noexcept { return handle_; }
  std::uint32_t ThreadId() const noexcept { return kernel::GetThreadId(handle_); }
  bool Terminated() const noexcept { return terminated_.load(); }
  bool Suspended() const noexcept { return suspended_.load(); }
  bool Executing() const noexcept { return executing_.load(); }
  bool FreeOnFinish() const noexcept { return free_on_finish_; }
  void SetFreeOnFinish(bool value) noexcept { free_on_finish_ = value; }
  std::int32_t ExitCode() const noexcept { return exit_code_; }
  // The exception captured during the last synchronised call, or null. Kept until the next call
  // or the object's destruction. Read on the thread that called Synchronize.
  const std::exception_ptr& SyncException() const noexcept { return sync_exception_; }
  TCustomWinThread* Component() const noexcept { return component_; }

  // Handlers, called with the component as Sender. Written only while no run is under way.
  vcl::TNotifyEvent OnExecute;
  vcl::TNotifyEvent OnException;
  vcl::TNotifyEvent OnFinish;

 private:
  friend class TCustomWinThread;
  friend user::LRESULT ThreadWindowProc(user::HWND, std::uint32_t, user::WPARAM, user::LPARAM);

  static std::uint32_t ThreadProc(void* parameter);
  void DoExecute();
  void DoFinish();
  void SyncFinish();
  void DoException();
  // Started and not known to have ended: a run is or may be under way.
  bool Running() const noexcept { return executing_.load() || started_.load(); }
  // True while this object is still its component's current thread object (a handler may have
  // replaced and destroyed it).
  static bool StillCurrent(const std::shared_ptr<const bool>& component_alive,
                           TCustomWinThread* component, std::uint64_t serial) noexcept;

  kernel::ThreadHandle handle_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> suspended_{true};
  bool free_on_finish_ = false;
  std::int32_t exit_code_ = 0;
  std::atomic<bool> executing_{false};
  std::atomic<bool> started_{false};  // released from its creation suspension (main thread)
  bool handed_over_ = false;          // belongs to its worker now (FreeOwnerOnFinish)
  SyncCall sync_call_;
  std::exception_ptr sync_exception_;
  TCustomWinThread* component_;
  std::uint64_t serial_;  // tells this object from a later one at the same address
};

class TCustomWinThread : public vcl::TComponent {
 public:
  // Creates the first thread object (its thread suspended; it never runs a handler: the first
  // Execute replaces it). Main thread.
  explicit TCustomWinThread(vcl::TComponent* owner);
  // Marks the component as being destroyed, ends a run in progress at once (no finish step, no
  // handler) and destroys the thread object. Main thread.
  ~TCustomWinThread() override;

  std::string ClassName() const override { return "TCustomWinThread"; }
  // After loading from a form file: Suspended := the stored value.
  void Loaded() override;

  // Ends any run in progress (at once, without its finish step), starts a new run on a fresh
  // thread with the same priority and handlers and, with WaitThread, waits for it while handling
  // the application's messages. Returns false only when the wait limit (WaitTimeout ms, 0 = none,
  // restarted by every message) expired and the run was ended forcibly; true when it did not
  // wait, when the run ended, when the wait failed, the component is being destroyed or the
  // application is terminating, and when OnWaitTimeoutExpired set TerminateThread to false (the
  // run goes on unobserved). Main thread. Throws EWinThreadError, before anything else happens,
  // when FreeOwnerOnFinish is set and either OnFinish is not assigned or there is no owner.
  // Exceptions of the application's message handling propagate.
  bool Execute();

  // Runs `method` on the main thread and blocks until it has run; nothing happens when the owner
  // (or, without an owner, the component) is being destroyed. On the main thread it runs
  // directly. An exception raised by `method` is captured on the main thread and, when
  // CatchExceptions is false, raised again here; otherwise it is dropped. Any thread (normally
  // the worker, from OnExecute); throws kernel::ThreadKilled when the worker is ended meanwhile.
  // The method-pointer form never allocates; the TThreadMethod form runs a copy of the method
  // (which allocates only for callables larger than std::function's inline buffer).
  void Synchronize(const TThreadMethod& method);
  template <typename T>
  void Synchronize(T* object, void (T::*method)()) {
    if (SyncSkipped()) return;
    Current()->Synchronize(object, method);
  }

  // false: request a stop (Terminated becomes true until the next Execute). true: end the run at
  // once and replace the thread object; called by the worker on itself, it ends the calling
  // thread there (kernel::ThreadKilled) and the component keeps the old thread object, which
  // goes on reporting Executing true until the next Execute. Any thread.
  void Terminate(bool at_once);
  // Suspends the worker; after it returns the worker runs none of the run's code until resumed
  // (Suspended := false) or ended (kernel/thread.h says when a worker counts as stopped).
  void Suspend() { Current()->Suspend(); }

  bool Executing() const noexcept { return Current()->Executing(); }
  // Whether a stop was requested. On a worker this is also an interruption point (see above).
  bool Terminated() const;

  // Design time: the stored value only. Run time: the thread object's state; writing false
  // resumes the thread object (a fresh one starts a run without Execute's renewal).
  bool Suspended() const;
  void SetSuspended(bool value);

  TThreadPriority Priority() const { return Current()->GetPriority(); }
  void SetPriority(TThreadPriority value) { Current()->SetPriority(value); }

  // Handlers live in the current thread object; Execute carries them to each new one.
  const vcl::TNotifyEvent& OnExecute() const noexcept { return Current()->OnExecute; }
  void SetOnExecute(vcl::TNotifyEvent handler) { Current()->OnExecute = std::move(handler); }
  const vcl::TNotifyEvent& OnException() const noexcept { return Current()->OnException; }
  void SetOnException(vcl::TNotifyEvent handler) { Current()->OnException = std::move(handler); }
  const vcl::TNotifyEvent& OnFinish() const noexcept { return Current()->OnFinish; }
  void SetOnFinish(vcl::TNotifyEvent handler) { Current()->OnFinish = std::move(handler); }

  // Plain settings, read by Execute and by the run (change them only while no run is under way).
  bool WaitThread() const noexcept { return wait_thread_; }
  void SetWaitThread(bool value) noexcept { wait_thread_ = value; }
  std::int32_t WaitTimeout() const noexcept { return wait_timeout_; }
  void SetWaitTimeout(std::int32_t value) noexcept { wait_timeout_ = value; }
  bool CatchExceptions() const noexcept { return catch_exceptions_.load(); }
  void SetCatchExceptions(bool value) noexcept { catch_exceptions_.store(value); }
  // After a run, the thread object frees itself and the finish step gives the component a fresh
  // thread object and destroys the owner (and the component with it). The owner must be one that
  // may be freed that way (owned by a component or by nobody, not by a ComponentPtr).
  bool FreeOwnerOnFinish() const noexcept { return free_owner_on_finish_.load(); }
  void SetFreeOwnerOnFinish(bool value) noexcept { free_owner_on_finish_.store(value); }
  TWinThreadWaitTimeoutExpired OnWaitTimeoutExpired;

  // The current thread object (inspection; replaced by Execute and Terminate(true)).
  TEventWinThread* EventThread() const noexcept { return Current(); }

 private:
  friend class TEventWinThread;

  bool SyncSkipped() const noexcept;
  TEventWinThread* Current() const noexcept { return current_.load(std::memory_order_acquire); }
  // Makes `next` the current thread object, then destroys the old one (unless `keep_old`: it has
  // been handed over to its worker). Main thread.
  void ReplaceEventThread(std::unique_ptr<TEventWinThread> next, bool keep_old = false);
  // Fires OnWaitTimeoutExpired and ends the run when `terminate_thread` stays true.
  void DoWaitTimeoutExpired(bool& terminate_thread, const std::shared_ptr<const bool>& alive);

  // Owned here and replaced on the main thread; `current_` holds the same pointer for readers on
  // any thread (a worker polls Terminated while the main thread renews the object).
  std::unique_ptr<TEventWinThread> event_thread_;
  std::atomic<TEventWinThread*> current_{nullptr};
  // The owner as given at construction, for the worker's check of its destroying state: the
  // framework clears the (plain) Owner() link while it destroys the owner, concurrently with the
  // worker. The owner's state outlives this component, which is freed inside its destructor.
  const vcl::TComponent* const sync_owner_;
  bool stored_suspended_ = true;
  std::atomic<bool> catch_exceptions_{true};
  std::atomic<bool> free_owner_on_finish_{false};
  bool wait_thread_ = false;
  std::int32_t wait_timeout_ = 0;
  // False once the destructor has begun; waits and handlers that may outlive the component
  // (Execute's wait loop, the finish step) hold a copy and test it before touching it again.
  std::shared_ptr<bool> alive_;
};

}  // namespace winthread
