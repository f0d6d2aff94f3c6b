#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>

#include "kernel/thread.h"
#include "user/event_source.h"
#include "user/message_wait.h"
#include "user/window.h"

namespace {

using namespace std::chrono_literals;

bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

constexpr std::uint32_t kEcho = 0x400;   // returns wparam + lparam
constexpr std::uint32_t kThrow = 0x401;  // throws std::out_of_range
constexpr std::uint32_t kCall = 0x402;   // runs the std::function in lparam

std::atomic<std::uint32_t> last_proc_thread{0};

user::LRESULT TestProc(user::HWND window, std::uint32_t message, user::WPARAM wparam,
                       user::LPARAM lparam) {
  last_proc_thread = kernel::GetCurrentThreadId();
  switch (message) {
    case kEcho:
      return static_cast<user::LRESULT>(wparam) + lparam;
    case kThrow:
      throw std::out_of_range("from the window procedure");
    case kCall:
      (*reinterpret_cast<std::function<void()>*>(lparam))();
      return 1;
    default:
      return user::DefWindowProc(window, message, wparam, lparam);
  }
}

// A window of the test's (main) thread, registered and destroyed around each test.
class Channel : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(user::RegisterClass("TestChannel", &TestProc));
    window_ = user::CreateWindow("TestChannel");
    ASSERT_NE(window_, user::kNoWindow);
  }
  void TearDown() override {
    user::DestroyWindow(window_);
    EXPECT_TRUE(user::UnregisterClass("TestChannel"));
  }

  // Services the main thread's queue until `done` holds (bounded).
  void PumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      user::MsgWaitForMultipleObjects({}, false, 10, user::kQsSendMessage);
      user::DispatchSentMessages();
    }
    ASSERT_TRUE(done());
  }

  user::HWND window_ = user::kNoWindow;
};

// A kernel thread that sends one message and records what came back.
struct Sender {
  user::HWND window;
  std::uint32_t message;
  user::LPARAM lparam = 0;
  std::atomic<int> state{0};  // 1 sending, 2 returned, 3 threw
  std::atomic<user::LRESULT> result{-1};
  std::atomic<bool> after_send{false};

  static std::uint32_t Proc(void* parameter) {
    auto* self = static_cast<Sender*>(parameter);
    self->state = 1;
    try {
      self->result = user::SendMessage(self->window, self->message, 40, self->lparam);
      self->state = 2;
    } catch (const std::out_of_range&) {
      self->state = 3;
    }
    self->after_send = true;
    return 0;
  }
};

TEST_F(Channel, SendRunsOnTheWindowThreadAndHandsBackResultOrException) {
  struct Case {
    std::uint32_t message;
    int state;
    user::LRESULT result;
  };
  for (const Case& c : {Case{kEcho, 2, 42}, Case{kThrow, 3, -1}}) {
    SCOPED_TRACE(c.message);
    Sender sender{window_, c.message, 2};
    kernel::ThreadHandle thread = kernel::CreateThread(&Sender::Proc, &sender, false);
    PumpUntil([&] { return sender.state >= 2; });
    EXPECT_EQ(sender.state, c.state);
    EXPECT_EQ(sender.result, c.result);
    EXPECT_EQ(last_proc_thread, kernel::GetCurrentThreadId());
    EXPECT_EQ(kernel::WaitForSingleObject(thread, 5000), kernel::kWaitObject0);
  }
  // From the window's own thread the procedure is called directly.
  EXPECT_EQ(user::SendMessage(window_, kEcho, 1, 2), 3);
  EXPECT_THROW(user::SendMessage(window_, kThrow, 0, 0), std::out_of_range);
}

TEST_F(Channel, QueueDescriptorSignalsQueuedMessagesAndWaitsReportNoStaleOnes) {
  const int fd = user::MessageQueueFd();
  EXPECT_FALSE(Readable(fd));
  Sender a{window_, kEcho}, b{window_, kEcho};
  kernel::ThreadHandle ta = kernel::CreateThread(&Sender::Proc, &a, false);
  kernel::ThreadHandle tb = kernel::CreateThread(&Sender::Proc, &b, false);
  ASSERT_TRUE(Eventually([&] { return Readable(fd); }));
  EXPECT_EQ(user::MsgWaitForMultipleObjects({}, false, 0, user::kQsSendMessage),
            kernel::kWaitObject0);  // "a message is waiting" (index 0: no handles)
  PumpUntil([&] { return a.state == 2 && b.state == 2; });
  EXPECT_EQ(kernel::WaitForSingleObject(ta, 5000), kernel::kWaitObject0);
  EXPECT_EQ(kernel::WaitForSingleObject(tb, 5000), kernel::kWaitObject0);
  // Everything ran: a late signal, if any, is not reported as a message.
  EXPECT_EQ(user::MsgWaitForMultipleObjects({}, false, 0, user::kQsSendMessage),
            kernel::kWaitTimeout);
  EXPECT_FALSE(Readable(fd));
}

TEST_F(Channel, MissingWindowsAndClasses) {
  EXPECT_FALSE(user::RegisterClass("TestChannel", &TestProc));  // exists
  EXPECT_FALSE(user::UnregisterClass("TestChannel"));           // a window is alive
  EXPECT_FALSE(user::UnregisterClass("NoSuchClass"));
  EXPECT_EQ(user::CreateWindow("NoSuchClass"), user::kNoWindow);
  EXPECT_EQ(user::SendMessage(user::kNoWindow, kEcho, 1, 1), 0);

  // A message queued for a window that is destroyed before it runs completes with 0.
  const user::HWND doomed = user::CreateWindow("TestChannel");
  Sender sender{doomed, kEcho, 2};
  kernel::ThreadHandle thread = kernel::CreateThread(&Sender::Proc, &sender, false);
  ASSERT_TRUE(Eventually([&] { return Readable(user::MessageQueueFd()); }));
  EXPECT_TRUE(user::DestroyWindow(doomed));
  EXPECT_FALSE(user::IsWindow(doomed));
  EXPECT_EQ(user::DispatchSentMessages(), 1);
  EXPECT_EQ(kernel::WaitForSingleObject(thread, 5000), kernel::kWaitObject0);
  EXPECT_EQ(sender.result, 0);
  EXPECT_FALSE(user::DestroyWindow(doomed));
}

TEST_F(Channel, WindowOfAnEndedThreadAnswersZero) {
  user::HWND orphan = user::kNoWindow;
  std::thread owner([&] { orphan = user::CreateWindow("TestChannel"); });
  owner.join();
  EXPECT_EQ(user::SendMessage(orphan, kEcho, 1, 1), 0);
  user::DestroyWindow(orphan);
}

TEST_F(Channel, KilledSenderWithdrawsItsMessageWhichNeverRuns) {
  std::atomic<int> runs{0};
  std::function<void()> body = [&] { runs++; };
  Sender sender{window_, kCall, reinterpret_cast<user::LPARAM>(&body)};
  kernel::ThreadHandle thread = kernel::CreateThread(&Sender::Proc, &sender, false);
  ASSERT_TRUE(Eventually([&] { return Readable(user::MessageQueueFd()); }));
  EXPECT_TRUE(kernel::TerminateThread(thread, 7));
  // Whether the sender has withdrawn it yet or not, the message must not run.
  EXPECT_EQ(kernel::WaitForSingleObject(thread, 5000), kernel::kWaitObject0);
  user::DispatchSentMessages();
  EXPECT_EQ(runs, 0);
  EXPECT_FALSE(sender.after_send);
  EXPECT_EQ(user::MsgWaitForMultipleObjects({}, false, 0, user::kQsSendMessage),
            kernel::kWaitTimeout);
}

TEST_F(Channel, SenderKilledWhileItsMessageRunsIsAbandonedSafely) {
  Sender sender{window_, kCall};
  kernel::ThreadHandle thread;
  std::function<void()> body = [&] {
    // Inside the procedure: end the sender and wait for it, as a renewal of a worker does.
    kernel::TerminateThread(thread, 9);
    EXPECT_EQ(kernel::WaitForSingleObject(thread, 5000), kernel::kWaitObject0);
  };
  sender.lparam = reinterpret_cast<user::LPARAM>(&body);
  thread = kernel::CreateThread(&Sender::Proc, &sender, true);
  kernel::ResumeThread(thread);
  PumpUntil([&] { return kernel::WaitForSingleObject(thread, 0) == kernel::kWaitObject0; });
  std::uint32_t code = 0;
  kernel::GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 9u);
  EXPECT_FALSE(sender.after_send);
}

TEST_F(Channel, SuspendedSenderCountsAsStoppedAndPicksUpTheResultWhenResumed) {
  Sender sender{window_, kEcho, 1};
  kernel::ThreadHandle thread = kernel::CreateThread(&Sender::Proc, &sender, false);
  ASSERT_TRUE(Eventually([&] { return Readable(user::MessageQueueFd()); }));
  EXPECT_EQ(kernel::SuspendThread(thread), 0);  // returns: the sender is waiting
  EXPECT_EQ(user::DispatchSentMessages(), 1);   // the message runs meanwhile
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(sender.state, 1);  // but the sender does not go on
  EXPECT_EQ(kernel::ResumeThread(thread), 1);
  EXPECT_EQ(kernel::WaitForSingleObject(thread, 5000), kernel::kWaitObject0);
  EXPECT_EQ(sender.state, 2);
  EXPECT_EQ(sender.result, 41);
}

// An event source backed by a pipe; Dispatch drains it.
class PipeSource : public user::EventSource {
 public:
  PipeSource() { EXPECT_EQ(pipe(fds_), 0); }
  ~PipeSource() override {
    close(fds_[0]);
    close(fds_[1]);
  }
  void Feed() { ASSERT_EQ(write(fds_[1], "x", 1), 1); }
  int PollFd() const override { return fds_[0]; }
  int NextTimeoutMs() const override { return timer_ms; }
  bool HasPending() override { return Readable(fds_[0]); }
  void Dispatch() override {
    char c;
    while (Readable(fds_[0]) && read(fds_[0], &c, 1) == 1) dispatched++;
  }
  int timer_ms = -1;
  int dispatched = 0;

 private:
  int fds_[2];
};

TEST_F(Channel, MsgWaitWakesForWhatItsMaskCovers) {
  enum class Event { kNothing, kThreadEnds, kMessageSent, kSourceInput, kSourceTimer };
  struct Case {
    Event event;
    std::uint32_t mask;
    std::uint32_t expected;
  };
  const Case cases[] = {
      {Event::kNothing, user::kQsAllEvents, kernel::kWaitTimeout},
      {Event::kThreadEnds, user::kQsSendMessage, kernel::kWaitObject0},
      {Event::kMessageSent, user::kQsSendMessage, kernel::kWaitObject0 + 1},
      {Event::kMessageSent, user::kQsAllEvents, kernel::kWaitObject0 + 1},
      {Event::kSourceInput, user::kQsSendMessage, kernel::kWaitTimeout},
      {Event::kSourceInput, user::kQsAllEvents, kernel::kWaitObject0 + 1},
      {Event::kSourceTimer, user::kQsSendMessage, kernel::kWaitTimeout},
      {Event::kSourceTimer, user::kQsAllEvents, kernel::kWaitObject0 + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.event) * 1000 + static_cast<int>(c.mask));
    PipeSource source;
    user::SetEventSource(&source);
    std::atomic<bool> release{false};
    auto body = [](void* parameter) -> std::uint32_t {
      auto* flag = static_cast<std::atomic<bool>*>(parameter);
      while (!*flag) std::this_thread::sleep_for(1ms);
      return 0;
    };
    kernel::ThreadHandle worker = kernel::CreateThread(body, &release, false);
    Sender sender{window_, kEcho};
    kernel::ThreadHandle sending;
    switch (c.event) {
      case Event::kNothing:
        break;
      case Event::kThreadEnds:
        release = true;
        break;
      case Event::kMessageSent:
        sending = kernel::CreateThread(&Sender::Proc, &sender, false);
        break;
      case Event::kSourceInput:
        source.Feed();
        break;
      case Event::kSourceTimer:
        source.timer_ms = 5;
        break;
    }
    const kernel::ThreadHandle handles[] = {worker};
    const std::uint32_t result = user::MsgWaitForMultipleObjects(handles, false, 100, c.mask);
    EXPECT_EQ(result, c.expected);
    if (c.event == Event::kSourceInput) {
      EXPECT_TRUE(user::PeekMessage());
    }
    release = true;
    if (sending) {
      PumpUntil([&] { return sender.state == 2; });
      EXPECT_EQ(kernel::WaitForSingleObject(sending, 5000), kernel::kWaitObject0);
    }
    EXPECT_EQ(kernel::WaitForSingleObject(worker, 5000), kernel::kWaitObject0);
    user::SetEventSource(nullptr);
  }
  const kernel::ThreadHandle null_handle[] = {kernel::ThreadHandle()};
  EXPECT_EQ(user::MsgWaitForMultipleObjects(null_handle, false, 0, user::kQsAllEvents),
            kernel::kWaitFailed);
}

}  // namespace
