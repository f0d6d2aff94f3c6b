// TCustomWinThread: the component side (runs, waits, stops, settings).
#include "kernel/interrupt.h"
#include "kernel/thread.h"
#include "user/message_wait.h"
#include "vcl/application.h"
#include "winthread/win_thread.h"

namespace winthread {

TCustomWinThread::TCustomWinThread(vcl::TComponent* owner)
    : vcl::TComponent(owner), sync_owner_(owner), alive_(std::make_shared<bool>(true)) {
  ReplaceEventThread(std::make_unique<TEventWinThread>(this));
}

void TCustomWinThread::ReplaceEventThread(std::unique_ptr<TEventWinThread> next, bool keep_old) {
  current_.store(next.get(), std::memory_order_release);
  std::unique_ptr<TEventWinThread> old = std::move(event_thread_);
  event_thread_ = std::move(next);
  if (keep_old) {
    (void)old.release();  // belongs to its worker now, which frees it
  }
  // `old` is destroyed here: it waits for its ended thread.
}

TCustomWinThread::~TCustomWinThread() {
  // Marked first, so that the worker's handlers and synchronised calls stop before anything goes.
  Destroying();
  *alive_ = false;
  if (event_thread_->Running()) Terminate(true);
  event_thread_.reset();  // still readable as the current object while it waits for its thread
  current_.store(nullptr, std::memory_order_release);
}

void TCustomWinThread::Loaded() {
  vcl::TComponent::Loaded();
  SetSuspended(stored_suspended_);
}

bool TCustomWinThread::Execute() {
  if (FreeOwnerOnFinish() && (!OnFinish().Assigned() || Owner() == nullptr))
    throw EWinThreadError(
        "FreeOwnerOnFinish needs an OnFinish handler and an owner: without them the component "
        "would be left without a usable thread object");
  Terminate(true);
  if (FreeOwnerOnFinish()) Current()->SetFreeOnFinish(true);
  Current()->Resume();
  if (!wait_thread_) return true;

  // The handle is held by value: a handler may replace the thread object while we wait.
  const kernel::ThreadHandle threads[] = {Current()->Handle()};
  const std::uint32_t timeout =
      wait_timeout_ == 0 ? kernel::kInfinite : static_cast<std::uint32_t>(wait_timeout_);
  // A handler run below may destroy this component; test this before touching it again.
  const std::shared_ptr<const bool> alive = alive_;
  vcl::TApplication& application = vcl::Application();
  for (;;) {
    const std::uint32_t result =
        user::MsgWaitForMultipleObjects(threads, false, timeout, user::kQsAllEvents);
    if (result == kernel::kWaitTimeout) {
      bool terminate_thread = true;
      DoWaitTimeoutExpired(terminate_thread, alive);
      return !terminate_thread;
    }
    application.ProcessMessages();
    if (!*alive) return true;
    if (result != kernel::kWaitObject0 + 1 || IsDestroying() || application.Terminated())
      return true;
  }
}

void TCustomWinThread::DoWaitTimeoutExpired(bool& terminate_thread,
                                            const std::shared_ptr<const bool>& alive) {
  OnWaitTimeoutExpired.Fire(this, terminate_thread);
  if (terminate_thread && *alive) Terminate(true);
}

bool TCustomWinThread::SyncSkipped() const noexcept {
  return sync_owner_ != nullptr ? sync_owner_->IsDestroying() : IsDestroying();
}

void TCustomWinThread::Synchronize(const TThreadMethod& method) {
  if (SyncSkipped()) return;
  Current()->Synchronize(method);
}

void TCustomWinThread::Terminate(bool at_once) {
  TEventWinThread* current = Current();
  if (current == nullptr) return;
  if (!at_once) {
    current->Terminate();
    return;
  }
  // Renew ends the run (on the worker itself it throws kernel::ThreadKilled and nothing changes);
  // the replacement then destroys the old object, which waits for the ended thread.
  ReplaceEventThread(current->Renew());
}

bool TCustomWinThread::Terminated() const {
  kernel::CheckPoint();  // a worker polling for a stop is where a kill or suspension takes hold
  return Current()->Terminated();
}

bool TCustomWinThread::Suspended() const {
  if (IsDesigning()) return stored_suspended_;
  return Current()->Suspended();
}

void TCustomWinThread::SetSuspended(bool value) {
  stored_suspended_ = value;
  if (IsDesigning()) return;
  Current()->SetSuspended(value);
}

}  // namespace winthread
