#include "winthread/thread_window.h"

#include <atomic>
#include <mutex>

#include "winthread/win_thread.h"

namespace winthread {
namespace {

// ThreadWindowLock. A constant-initialised mutex with a trivial destructor: it is live for the
// whole life of the process, so releases during static destruction still take it.
std::mutex thread_window_lock;
std::int32_t thread_window_count = 0;  // guarded by thread_window_lock
// Written under the lock; read without it by senders, whose own thread object keeps it alive.
std::atomic<user::HWND> thread_window{user::kNoWindow};

}  // namespace

void AcquireThreadWindow() {
  std::lock_guard guard(thread_window_lock);
  if (thread_window_count == 0) {
    // Results ignored: without a window, synchronised calls return at once without running.
    user::RegisterClass(kThreadWindowClassName, &ThreadWindowProc);
    thread_window.store(user::CreateWindow(kThreadWindowClassName));
  }
  ++thread_window_count;
}

void ReleaseThreadWindow() noexcept {
  std::lock_guard guard(thread_window_lock);
  if (--thread_window_count == 0) {
    user::DestroyWindow(thread_window.exchange(user::kNoWindow));
    user::UnregisterClass(kThreadWindowClassName);
  }
}

user::HWND ThreadWindow() noexcept {
  return thread_window.load();
}

std::int32_t ThreadWindowCount() noexcept {
  std::lock_guard guard(thread_window_lock);
  return thread_window_count;
}

user::LRESULT ThreadWindowProc(user::HWND window, std::uint32_t message, user::WPARAM wparam,
                               user::LPARAM lparam) {
  if (message != WM_THREADSYNC) return user::DefWindowProc(window, message, wparam, lparam);
  auto* thread = reinterpret_cast<TEventWinThread*>(lparam);
  if (thread->component_->IsDestroying()) return 0;
  // Nothing of `thread` is touched after the call: the procedure may replace and destroy it.
  // Its exception escapes to the channel, which hands it back to the sender.
  const SyncCall call = thread->sync_call_;
  call.invoke(call.context);
  return 0;
}

}  // namespace winthread
