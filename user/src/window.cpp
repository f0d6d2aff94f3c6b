#include "user/window.h"

#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

#include "kernel/interrupt.h"
#include "message_queue.h"

namespace user {
namespace detail {
namespace {

struct WindowRecord {
  std::string class_name;
  WindowProc proc = nullptr;
  std::shared_ptr<MessageQueue> queue;
};

// Classes and windows of the process. Never destroyed, so that windows can be released from
// static destructors and exiting threads in any order.
struct Registry {
  std::mutex mutex;
  std::map<std::string, WindowProc> classes;
  std::unordered_map<std::uintptr_t, WindowRecord> windows;
  std::uintptr_t last_id = 0;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

}  // namespace

bool LookupWindow(HWND window, WindowProc* proc, std::shared_ptr<MessageQueue>* queue) {
  Registry& registry = TheRegistry();
  std::lock_guard guard(registry.mutex);
  auto it = registry.windows.find(static_cast<std::uintptr_t>(window));
  if (it == registry.windows.end()) return false;
  if (proc != nullptr) *proc = it->second.proc;
  if (queue != nullptr) *queue = it->second.queue;
  return true;
}

}  // namespace detail

using detail::MessageQueue;
using detail::SentMessage;

bool RegisterClass(const char* name, WindowProc proc) {
  if (name == nullptr || *name == '\0' || proc == nullptr) return false;
  detail::Registry& registry = detail::TheRegistry();
  std::lock_guard guard(registry.mutex);
  return registry.classes.emplace(name, proc).second;
}

bool UnregisterClass(const char* name) {
  if (name == nullptr) return false;
  detail::Registry& registry = detail::TheRegistry();
  std::lock_guard guard(registry.mutex);
  auto it = registry.classes.find(name);
  if (it == registry.classes.end()) return false;
  for (const auto& [id, record] : registry.windows)
    if (record.class_name == it->first) return false;
  registry.classes.erase(it);
  return true;
}

HWND CreateWindow(const char* class_name) {
  if (class_name == nullptr) return kNoWindow;
  const std::shared_ptr<MessageQueue>& queue = detail::CurrentQueue();
  detail::Registry& registry = detail::TheRegistry();
  std::lock_guard guard(registry.mutex);
  auto it = registry.classes.find(class_name);
  if (it == registry.classes.end()) return kNoWindow;
  const std::uintptr_t id = ++registry.last_id;
  registry.windows.emplace(id, detail::WindowRecord{it->first, it->second, queue});
  return static_cast<HWND>(id);
}

bool DestroyWindow(HWND window) {
  std::shared_ptr<MessageQueue> queue;
  {
    detail::Registry& registry = detail::TheRegistry();
    std::lock_guard guard(registry.mutex);
    auto it = registry.windows.find(static_cast<std::uintptr_t>(window));
    if (it == registry.windows.end()) return false;
    queue = std::move(it->second.queue);
    registry.windows.erase(it);
  }
  // Messages still queued for it find no window when their turn comes and complete with 0.
  return true;
}

bool IsWindow(HWND window) {
  return detail::LookupWindow(window, nullptr, nullptr);
}

LRESULT DefWindowProc(HWND, std::uint32_t, WPARAM, LPARAM) noexcept {
  return 0;
}

namespace {

// The waker of a sender's wait: runs on the thread that kills or suspends the sender.
void WakeSender(void* context) noexcept {
  auto* message = static_cast<SentMessage*>(context);
  std::lock_guard guard(message->queue->mutex());
  message->done.notify_one();
}

// On every way out of SendMessage but completion: take the message back so that nobody touches
// it after the sender's frame is gone.
class Withdrawal {
 public:
  explicit Withdrawal(SentMessage* message) noexcept : message_(message) {}
  ~Withdrawal() {
    if (message_ == nullptr) return;
    std::lock_guard guard(message_->queue->mutex());
    switch (message_->state) {
      case SentMessage::State::kNew:
        break;
      case SentMessage::State::kQueued:
        message_->queue->UnlinkLocked(message_);
        break;
      case SentMessage::State::kRunning:
        message_->frame->message = nullptr;  // the dispatcher drops the result
        break;
      case SentMessage::State::kDone:
        break;
    }
  }
  void Completed() noexcept { message_ = nullptr; }
  Withdrawal(const Withdrawal&) = delete;
  Withdrawal& operator=(const Withdrawal&) = delete;

 private:
  SentMessage* message_;
};

}  // namespace

LRESULT SendMessage(HWND window, std::uint32_t message, WPARAM wparam, LPARAM lparam) {
  WindowProc proc = nullptr;
  std::shared_ptr<MessageQueue> queue;
  if (!detail::LookupWindow(window, &proc, &queue)) return 0;
  if (queue.get() == detail::CurrentQueueIfAny()) return proc(window, message, wparam, lparam);

  SentMessage sent;
  sent.window = window;
  sent.message = message;
  sent.wparam = wparam;
  sent.lparam = lparam;
  sent.sender_killed = kernel::CurrentKillMark();
  sent.queue = queue.get();

  Withdrawal withdrawal(&sent);
  bool queued = false;
  for (;;) {
    {
      kernel::InterruptibleWait wait(&WakeSender, &sent);  // throws when already killed
      std::unique_lock guard(queue->mutex());
      if (!queued) {
        bool signal = false;
        if (!queue->PushLocked(&sent, &signal)) {
          withdrawal.Completed();
          return 0;  // the window's thread has ended
        }
        queued = true;
        if (signal) {
          // Signalled without the mutex: the woken thread may take the message at once
          // instead of running into our lock.
          guard.unlock();
          queue->Signal();
          guard.lock();
        }
      }
      sent.done.wait(guard, [&sent] {
        return sent.state == SentMessage::State::kDone || kernel::InterruptPending();
      });
      if (sent.state == SentMessage::State::kDone) {
        withdrawal.Completed();
        break;
      }
    }
    // Killed: ThreadKilled (the message is withdrawn on the way out). Suspended: park here,
    // then wait on; the message may run meanwhile.
    kernel::CheckPoint();
  }
  // A sender killed just as its message completed stops here, not in the caller's code.
  kernel::CheckPoint();
  if (sent.exception) std::rethrow_exception(sent.exception);
  return sent.result;
}

}  // namespace user
