// The application object: the program's message loop on the main thread.
//
// Headless by default: the loop services the messages that worker threads send to the main
// thread's windows (synchronised calls, user/window.h) and nothing else, so components run and
// are tested without a display.
//
// The one seam for a GUI toolkit: SetEventSource(source) plugs an extra event source (the FLTK
// forms layer's display connection) into every wait of the main thread. A source provides a
// descriptor to poll, a "has pending events" test, the time to its next timer and a dispatch call
// (user/event_source.h documents the contract). With a source registered:
//   - HandleMessage/Run wake for the source's input and timers as well as for sent messages, and
//     ProcessMessages dispatches both until neither has anything pending;
//   - the component waits that watch "any message" (a worker component's Execute with a wait)
//     wake for the source's input too, and process it through ProcessMessages.
// A toolkit loop that blocks by itself (a modal message box) must in turn watch
// user::MessageQueueFd() and call user::DispatchSentMessages() when it is readable.
//
// Threads: everything runs on the main thread, except Terminated, which any thread may read.
// Ownership: one process-wide object, created on first use, never destroyed. Failures: exceptions
// of window procedures go back to their senders; exceptions of the event source's Dispatch
// (handlers) propagate out of ProcessMessages/HandleMessage/Run.
#pragma once

#include <atomic>
#include <string>

#include "user/event_source.h"

namespace vcl {

class TApplication {
 public:
  TApplication() = default;
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Program start: nothing to prepare for a headless program; kept as the first call of main().
  void Initialize() {}

  // Runs every pending message (sent messages, then the event source's pending input) until none
  // is left; never waits.
  void ProcessMessages();
  // Waits for the next message or input (no limit), then processes everything pending.
  void HandleMessage();
  // The message loop: HandleMessage until Terminated.
  void Run();

  // Asks the loop to end: Terminated becomes true (it is never cleared); Run returns after the
  // message being handled. Main thread (a worker asks through a synchronised call).
  void Terminate() noexcept { terminated_.store(true, std::memory_order_release); }
  bool Terminated() const noexcept { return terminated_.load(std::memory_order_acquire); }

  // The path of the program file (the running executable), or empty if it cannot be read.
  std::string ExeName() const;

  // The seam described above; nullptr removes the source. The source is not owned.
  void SetEventSource(user::EventSource* source) noexcept;
  user::EventSource* EventSource() const noexcept { return source_; }

 private:
  std::atomic<bool> terminated_{false};
  user::EventSource* source_ = nullptr;
};

// The process-wide application object.
TApplication& Application();

}  // namespace vcl
