// TEventWinThread: one kernel thread per object and the steps of its run.
#include <algorithm>
#include <atomic>
#include <iterator>

#include "kernel/interrupt.h"
#include "kernel/thread.h"
#include "user/message_wait.h"
#include "winthread/thread_window.h"
#include "winthread/win_thread.h"

namespace winthread {
namespace {

std::atomic<std::uint64_t> last_serial{0};

}  // namespace

TEventWinThread::TEventWinThread(TCustomWinThread* component)
    : component_(component), serial_(++last_serial) {
  AcquireThreadWindow();
  try {
    handle_ = kernel::CreateThread(&ThreadProc, this, true);
  } catch (...) {
    ReleaseThreadWindow();
    throw;
  }
}

TEventWinThread::~TEventWinThread() {
  terminated_.store(true);
  if (executing_.load()) {
    WaitFor();
  } else if (suspended_.load()) {
    // A thread that never ran starts here only to find Terminated and end at once; one that was
    // suspended more than once stays suspended and is not waited for.
    if (kernel::ResumeThread(handle_) == 1) WaitFor();
  } else if (started_.load() && !kernel::IsCurrentThread(handle_)) {
    // Resumed but not (yet) executing: it is about to find Terminated, or has ended. Waiting
    // keeps it from starting its run on a destroyed object.
    WaitFor();
  }
  handle_.Close();
  ReleaseThreadWindow();
}

void TEventWinThread::Synchronize(const TThreadMethod& method) {
  if (!method.Assigned()) return;
  // The window's thread runs a copy: if the worker is ended while the call runs (the call itself
  // may end it), the worker's frame, and `method` with it, goes away under the running call.
  SynchronizeCall({const_cast<TThreadMethod*>(&method), [](void* context) {
                     const TThreadMethod copy = *static_cast<const TThreadMethod*>(context);
                     copy();
                   }});
}

void TEventWinThread::SynchronizeCall(SyncCall call) {
  sync_exception_ = nullptr;
  sync_call_ = call;
  try {
    user::SendMessage(ThreadWindow(), WM_THREADSYNC, 0, reinterpret_cast<user::LPARAM>(this));
  } catch (const kernel::ThreadKilled&) {
    throw;
  } catch (...) {
    sync_exception_ = std::current_exception();
  }
  // The component is read only when there is an exception: after a finish step that destroyed
  // the owner (FreeOwnerOnFinish) it is gone, but then nothing was raised.
  if (sync_exception_ && !component_->CatchExceptions()) std::rethrow_exception(sync_exception_);
}

std::uint32_t TEventWinThread::WaitFor() {
  const kernel::ThreadHandle threads[] = {handle_};
  if (kernel::GetCurrentThreadId() == kernel::MainThreadId()) {
    // Keep running the workers' synchronised calls (only those) while waiting.
    while (user::MsgWaitForMultipleObjects(threads, false, kernel::kInfinite,
                                           user::kQsSendMessage) == kernel::kWaitObject0 + 1)
      user::PeekMessage();
  } else {
    kernel::WaitForSingleObject(handle_, kernel::kInfinite);
  }
  std::uint32_t code = 0;
  kernel::GetExitCodeThread(handle_, &code);
  return code;
}

void TEventWinThread::Suspend() {
  suspended_.store(true);
  kernel::SuspendThread(handle_);
}

void TEventWinThread::Resume() {
  if (kernel::ResumeThread(handle_) == 1) {
    started_.store(true);
    suspended_.store(false);
  }
}

void TEventWinThread::SetSuspended(bool value) {
  if (value == suspended_.load()) return;
  if (value) {
    Suspend();
  } else {
    Resume();
  }
}

TThreadPriority TEventWinThread::GetPriority() const {
  const std::int32_t value = kernel::GetThreadPriority(handle_);
  const auto* found = std::find(std::begin(kThreadPriorities), std::end(kThreadPriorities), value);
  if (found == std::end(kThreadPriorities)) return tpNormal;
  return static_cast<TThreadPriority>(found - std::begin(kThreadPriorities));
}

void TEventWinThread::SetPriority(TThreadPriority value) {
  kernel::SetThreadPriority(handle_, kThreadPriorities[value]);
}

std::unique_ptr<TEventWinThread> TEventWinThread::CreateSuccessor() const {
  auto successor = std::make_unique<TEventWinThread>(component_);
  successor->SetPriority(GetPriority());
  successor->OnFinish = OnFinish;
  successor->OnExecute = OnExecute;
  successor->OnException = OnException;
  return successor;
}

std::unique_ptr<TEventWinThread> TEventWinThread::Renew() {
  // A thread that was resumed but has not set Executing yet is ended too: otherwise it could
  // begin its run after this object is gone.
  if (Running()) kernel::TerminateThread(handle_, 0);  // on its own worker: throws, ends here
  return CreateSuccessor();
}

bool TEventWinThread::StillCurrent(const std::shared_ptr<const bool>& component_alive,
                                   TCustomWinThread* component, std::uint64_t serial) noexcept {
  if (!*component_alive) return false;
  const TEventWinThread* current = component->Current();
  return current != nullptr && current->serial_ == serial;
}

// The run, on the new thread. kernel::ThreadKilled passes through every step: a killed run ends
// without touching this object again.
std::uint32_t TEventWinThread::ThreadProc(void* parameter) {
  auto* self = static_cast<TEventWinThread*>(parameter);
  if (self->terminated_.load()) {
    // A stop requested before the run began. The component still owns this object (it is handed
    // to its worker only by a finish step), so it is never freed here, FreeOnFinish or not.
    return static_cast<std::uint32_t>(self->exit_code_);
  }
  self->executing_.store(true);
  kernel::CheckPoint();  // ended or suspended before the run began
  try {
    self->DoExecute();
  } catch (const kernel::ThreadKilled&) {
    throw;
  } catch (...) {
    // CatchExceptions false: the exception ends here; the finish step still runs.
  }
  kernel::CheckPoint();  // a run ended while it computed stops before its finish step
  const bool free_on_finish = self->free_on_finish_;
  const auto exit_code = static_cast<std::uint32_t>(self->exit_code_);
  try {
    self->DoFinish();
  } catch (const kernel::ThreadKilled&) {
    throw;
  } catch (...) {
    // OnFinish raised with CatchExceptions false, raised again here: the thread just ends.
  }
  // Only a finish step that handed this object over makes it ours to free; otherwise the
  // component still owns it and may destroy it as soon as Executing is false.
  const bool free_self = free_on_finish && self->handed_over_;
  self->executing_.store(false);
  if (free_self) delete self;
  return exit_code;
}

void TEventWinThread::DoExecute() {
  if (!OnExecute.Assigned() || component_->IsDestroying()) return;
  if (!component_->CatchExceptions()) {
    OnExecute(component_);
    return;
  }
  try {
    OnExecute(component_);
  } catch (const kernel::ThreadKilled&) {
    throw;
  } catch (...) {
    if (OnException.Assigned() && !component_->IsDestroying())
      Synchronize(this, &TEventWinThread::DoException);
  }
}

void TEventWinThread::DoFinish() {
  if (OnFinish.Assigned()) Synchronize(this, &TEventWinThread::SyncFinish);
}

// On the main thread, through the synchronised call. OnFinish may replace and destroy this object
// (a handler that calls Execute or Terminate(true)) or destroy the component; after it returns,
// nothing is touched unless this object is still the component's current one.
void TEventWinThread::SyncFinish() {
  TCustomWinThread* component = component_;
  const std::shared_ptr<const bool> alive = component->alive_;
  const std::uint64_t serial = serial_;
  const bool free_owner = component->FreeOwnerOnFinish();
  const bool catch_exceptions = component->CatchExceptions();
  if (OnFinish.Assigned() && !component->IsDestroying()) {
    if (catch_exceptions) {
      try {
        OnFinish(component);
      } catch (const kernel::ThreadKilled&) {
        throw;
      } catch (...) {
        if (StillCurrent(alive, component, serial)) DoException();
      }
    } else {
      OnFinish(component);
    }
  }
  if (!free_owner || !StillCurrent(alive, component, serial) || !free_on_finish_) return;
  vcl::TComponent* owner = component->Owner();
  if (owner == nullptr) return;
  std::unique_ptr<TEventWinThread> successor = CreateSuccessor();
  // Hand this object over to its worker, which frees it after this step.
  handed_over_ = true;
  component->ReplaceEventThread(std::move(successor), /*keep_old=*/true);
  vcl::Free(owner);
}

void TEventWinThread::DoException() {
  if (!component_->IsDestroying() && OnException.Assigned()) OnException(component_);
}

}  // namespace winthread
