// The one seam for an extra event source (a GUI toolkit's display connection) in a thread's
// message waits.
//
// Headless threads have no source: their waits wake only for sent messages (and thread ends).
// When a toolkit is in use, its layer implements EventSource and registers it for the main thread
// (normally through vcl::TApplication::SetEventSource). From then on:
//   - MsgWaitForMultipleObjects with an input bit in its wake mask (anything but kQsSendMessage)
//     also wakes when PollFd() becomes readable, when HasPending() is true, or when the source's
//     next timer is due (NextTimeoutMs);
//   - ProcessMessages (vcl) calls Dispatch() while HasPending() is true, between rounds of sent
//     messages.
// The reverse direction: a toolkit loop that waits by itself (a modal message box) should watch
// user::MessageQueueFd() and call user::DispatchSentMessages() when it becomes readable, so that
// workers' synchronised calls keep running (user/message_wait.h).
//
// Threads: all members are called on the thread the source is registered for. The source is not
// owned; it must stay alive until it is unregistered (SetEventSource(nullptr)).
#pragma once

namespace user {

class EventSource {
 public:
  virtual ~EventSource() = default;

  // A descriptor that becomes readable when new input may be waiting; -1 when there is none.
  virtual int PollFd() const = 0;
  // Milliseconds until the source's next timer is due (0: due now); -1 when it has no timer.
  virtual int NextTimeoutMs() const = 0;
  // True when Dispatch has work now (buffered events, a readable descriptor, a due timer). Must
  // not block.
  virtual bool HasPending() = 0;
  // Handles the pending input and due timers without waiting. Handlers run here; their
  // exceptions propagate to the caller (ProcessMessages), never through the toolkit's frames.
  virtual void Dispatch() = 0;
};

// Registers `source` for the calling thread's message waits, replacing any earlier one; nullptr
// removes it. Never throws.
void SetEventSource(EventSource* source) noexcept;
// The calling thread's source, or nullptr.
EventSource* GetEventSource() noexcept;

}  // namespace user
