#include "user/message_wait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <vector>

#include "kernel/interrupt.h"
#include "kernel/poll_wait.h"
#include "message_queue.h"
#include "user/event_source.h"

namespace user {

using detail::DispatchFrame;
using detail::MessageQueue;
using detail::SentMessage;

namespace {

// Hands the outcome back to the sender unless it abandoned the message meanwhile.
void Complete(MessageQueue& queue, DispatchFrame& frame, LRESULT result,
              std::exception_ptr exception) noexcept {
  std::lock_guard guard(queue.mutex());
  SentMessage* message = frame.message;
  if (message == nullptr) return;
  message->result = result;
  message->exception = std::move(exception);
  message->frame = nullptr;
  message->state = SentMessage::State::kDone;
  message->done.notify_one();  // under the lock: the sender's frame lives until it re-locks
}

// Takes the next message to run, skipping those whose sender is being killed. Null when empty.
SentMessage* TakeNext(MessageQueue& queue, DispatchFrame& frame) {
  std::lock_guard guard(queue.mutex());
  for (;;) {
    SentMessage* message = queue.PopLocked();
    if (message == nullptr) return nullptr;
    if (message->sender_killed->load(std::memory_order_acquire)) {
      MessageQueue::CompleteUnrunLocked(message);
      continue;
    }
    message->state = SentMessage::State::kRunning;
    message->frame = &frame;
    frame.message = message;
    return message;
  }
}

bool InputBits(std::uint32_t wake_mask) {
  return (wake_mask & ~kQsSendMessage) != 0;
}

}  // namespace

int DispatchSentMessages() {
  MessageQueue* queue = detail::CurrentQueueIfAny();
  if (queue == nullptr) return 0;
  // Drained before the queue is emptied: a message queued after this signals again.
  queue->Drain();
  int count = 0;
  for (;;) {
    DispatchFrame frame;
    SentMessage* message = TakeNext(*queue, frame);
    if (message == nullptr) return count;
    // Copy the arguments: the sender may abandon the message while it runs.
    const HWND window = message->window;
    const std::uint32_t id = message->message;
    const WPARAM wparam = message->wparam;
    const LPARAM lparam = message->lparam;
    ++count;
    WindowProc proc = nullptr;
    LRESULT result = 0;
    std::exception_ptr exception;
    if (detail::LookupWindow(window, &proc, nullptr)) {
      try {
        result = proc(window, id, wparam, lparam);
      } catch (const kernel::ThreadKilled&) {
        Complete(*queue, frame, 0, nullptr);
        throw;
      } catch (...) {
        exception = std::current_exception();
      }
    }
    Complete(*queue, frame, result, std::move(exception));
  }
}

bool PeekMessage() {
  DispatchSentMessages();
  EventSource* source = GetEventSource();
  return source != nullptr && source->HasPending();
}

int MessageQueueFd() {
  return detail::CurrentQueue()->fd();
}

void SetEventSource(EventSource* source) noexcept {
  try {
    detail::CurrentQueue()->source = source;
  } catch (...) {
    // Only std::bad_alloc can come from creating the queue; without a queue there is no wait to
    // plug into.
  }
}

EventSource* GetEventSource() noexcept {
  MessageQueue* queue = detail::CurrentQueueIfAny();
  return queue != nullptr ? queue->source : nullptr;
}

std::uint32_t MsgWaitForMultipleObjects(std::span<const kernel::ThreadHandle> threads,
                                        bool wait_all, std::uint32_t timeout_ms,
                                        std::uint32_t wake_mask) {
  constexpr std::size_t kMaxThreads = 64;
  if (wait_all || threads.size() > kMaxThreads) return kernel::kWaitFailed;
  for (const kernel::ThreadHandle& thread : threads)
    if (!thread) return kernel::kWaitFailed;
  MessageQueue& queue = *detail::CurrentQueue();
  const auto message_result = static_cast<std::uint32_t>(kernel::kWaitObject0 + threads.size());
  EventSource* source = InputBits(wake_mask) ? queue.source : nullptr;

  // Descriptors: the thread ends, then the queue (sent messages), then the source's input.
  pollfd fds[kMaxThreads + 2];
  nfds_t count = 0;
  for (const kernel::ThreadHandle& thread : threads)
    fds[count++] = pollfd{kernel::ThreadEndFd(thread), POLLIN, 0};
  const nfds_t queue_index = count;
  fds[count++] = pollfd{(wake_mask & kQsSendMessage) != 0 ? queue.fd() : -1, POLLIN, 0};
  const nfds_t source_index = count;
  fds[count++] = pollfd{source != nullptr ? source->PollFd() : -1, POLLIN, 0};

  if ((wake_mask & kQsSendMessage) != 0 && queue.HasMessages()) {
    for (const kernel::ThreadHandle& thread : threads)
      if (kernel::WaitForSingleObject(thread, 0) == kernel::kWaitObject0)
        return static_cast<std::uint32_t>(kernel::kWaitObject0 + (&thread - threads.data()));
    return message_result;
  }

  using Clock = std::chrono::steady_clock;
  const bool limited = timeout_ms != kernel::kInfinite;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int wait_ms = -1;
    bool deadline_slice = false;  // this wait ends at our own deadline
    if (limited) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait_ms = static_cast<int>(std::clamp<std::int64_t>(left, 0, 1 << 30));
      deadline_slice = true;
    }
    bool source_due = false;
    if (source != nullptr) {
      if (source->HasPending()) {
        source_due = true;
        wait_ms = 0;
      } else if (const int timer = source->NextTimeoutMs(); timer >= 0) {
        if (wait_ms < 0 || timer < wait_ms) {
          wait_ms = timer;
          deadline_slice = false;
        }
      }
    }
    for (nfds_t i = 0; i < count; ++i) fds[i].revents = 0;
    const int ready = kernel::InterruptiblePoll(fds, count, wait_ms);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return kernel::kWaitFailed;
    }
    for (nfds_t i = 0; i < threads.size(); ++i) {
      // WaitForSingleObject orders the ended thread's work before ours.
      if (fds[i].revents != 0 && kernel::WaitForSingleObject(threads[i], 0) == kernel::kWaitObject0)
        return static_cast<std::uint32_t>(kernel::kWaitObject0 + i);
    }
    if (fds[source_index].revents != 0 || source_due) return message_result;
    if (fds[queue_index].revents != 0) {
      if (queue.HasMessages()) return message_result;
      // A late signal for messages already taken: clear it, then look again (a message queued
      // in between has signalled after our drain, or is seen now).
      queue.Drain();
      if (queue.HasMessages()) return message_result;
    }
    if (ready == 0) {
      if (!deadline_slice) return message_result;  // the source's timer is due
      if (Clock::now() >= deadline) return kernel::kWaitTimeout;
    }
  }
}

}  // namespace user
