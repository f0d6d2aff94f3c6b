#include "message_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace user::detail {

MessageQueue::MessageQueue() : event_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

MessageQueue::~MessageQueue() {
  if (event_fd_ >= 0) close(event_fd_);
}

bool MessageQueue::PushLocked(SentMessage* message, bool* signal) noexcept {
  *signal = false;
  if (closed_) return false;
  message->state = SentMessage::State::kQueued;
  message->next = nullptr;
  message->prev = tail_;
  if (tail_ != nullptr) {
    tail_->next = message;
  } else {
    head_ = message;
    *signal = true;  // empty -> not empty: one signal, however many follow
  }
  tail_ = message;
  return true;
}

void MessageQueue::UnlinkLocked(SentMessage* message) noexcept {
  (message->prev != nullptr ? message->prev->next : head_) = message->next;
  (message->next != nullptr ? message->next->prev : tail_) = message->prev;
  message->prev = message->next = nullptr;
}

void MessageQueue::Signal() noexcept {
  const std::uint64_t one = 1;
  (void)!write(event_fd_, &one, sizeof one);
}

void MessageQueue::Drain() noexcept {
  std::uint64_t count = 0;
  (void)!read(event_fd_, &count, sizeof count);
}

bool MessageQueue::HasMessages() noexcept {
  std::lock_guard guard(mutex_);
  return head_ != nullptr;
}

SentMessage* MessageQueue::PopLocked() noexcept {
  SentMessage* message = head_;
  if (message != nullptr) UnlinkLocked(message);
  return message;
}

void MessageQueue::CompleteUnrunLocked(SentMessage* message) noexcept {
  message->state = SentMessage::State::kDone;
  message->result = 0;
  message->done.notify_one();
}

void MessageQueue::Close() noexcept {
  std::lock_guard guard(mutex_);
  closed_ = true;
  while (SentMessage* message = PopLocked()) CompleteUnrunLocked(message);
}

namespace {

// Closes the thread's queue when the thread ends, so that senders to its windows do not wait
// forever; the queue itself lives on while windows refer to it.
struct QueueHolder {
  std::shared_ptr<MessageQueue> queue;
  ~QueueHolder() {
    if (queue) queue->Close();
  }
};

thread_local QueueHolder current_queue;

}  // namespace

const std::shared_ptr<MessageQueue>& CurrentQueue() {
  if (!current_queue.queue) current_queue.queue = std::make_shared<MessageQueue>();
  return current_queue.queue;
}

MessageQueue* CurrentQueueIfAny() noexcept {
  return current_queue.queue.get();
}

}  // namespace user::detail
