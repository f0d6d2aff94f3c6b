// Private to the user layer: a thread's queue of sent messages and the window registry.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>

#include "user/event_source.h"
#include "user/window.h"

namespace user::detail {

struct DispatchFrame;

// One sent message. Lives on the sender's stack from the send until it completes or is withdrawn;
// every field after construction is read and written under the queue's mutex.
struct SentMessage {
  enum class State { kNew, kQueued, kRunning, kDone };

  HWND window = kNoWindow;
  std::uint32_t message = 0;
  WPARAM wparam = 0;
  LPARAM lparam = 0;
  const std::atomic<bool>* sender_killed = nullptr;  // the sender's kernel kill mark
  class MessageQueue* queue = nullptr;

  State state = State::kNew;
  SentMessage* prev = nullptr;  // queue links while kQueued
  SentMessage* next = nullptr;
  DispatchFrame* frame = nullptr;  // while kRunning: the dispatcher's record of it
  LRESULT result = 0;
  std::exception_ptr exception;
  std::condition_variable done;  // the sender waits here
};

// The dispatcher's record of the message it runs; the sender clears `message` when it abandons
// the message (killed meanwhile), after which the dispatcher no longer touches it.
struct DispatchFrame {
  SentMessage* message = nullptr;
};

// The queue of one thread. Its eventfd is signalled, outside the mutex, when a message is queued
// into an empty queue, and drained by the dispatcher before it empties the queue; so it is
// readable whenever messages wait, and at most spuriously readable once after they were taken
// (the waits check the queue itself before they report a message).
class MessageQueue {
 public:
  MessageQueue();
  ~MessageQueue();
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  int fd() const noexcept { return event_fd_; }
  std::mutex& mutex() noexcept { return mutex_; }

  // Caller holds mutex(). Returns false when the queue is closed (its thread ended); sets
  // `signal` when the caller must call Signal() after releasing the mutex.
  bool PushLocked(SentMessage* message, bool* signal) noexcept;
  // Caller holds mutex().
  SentMessage* PopLocked() noexcept;
  void UnlinkLocked(SentMessage* message) noexcept;
  bool EmptyLocked() const noexcept { return head_ == nullptr; }

  // Makes the descriptor readable / clears it. Without the mutex.
  void Signal() noexcept;
  void Drain() noexcept;
  // Whether messages wait (takes the mutex).
  bool HasMessages() noexcept;

  // Completes a message with result 0 without running it. Caller holds mutex().
  static void CompleteUnrunLocked(SentMessage* message) noexcept;

  // At the end of the owner thread: every queued message completes with 0, later pushes fail.
  void Close() noexcept;

  // Owner thread only.
  EventSource* source = nullptr;

 private:
  std::mutex mutex_;
  SentMessage* head_ = nullptr;
  SentMessage* tail_ = nullptr;
  bool closed_ = false;
  int event_fd_ = -1;
};

// The calling thread's queue, created on first use (and closed when the thread ends).
const std::shared_ptr<MessageQueue>& CurrentQueue();
// The calling thread's queue if it has one yet, else nullptr.
MessageQueue* CurrentQueueIfAny() noexcept;

// Looks up a window: its procedure and its thread's queue. False when it does not exist.
bool LookupWindow(HWND window, WindowProc* proc, std::shared_ptr<MessageQueue>* queue);

}  // namespace user::detail
