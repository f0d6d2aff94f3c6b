#include "vcl/application.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "user/message_wait.h"
#include "user/window.h"

namespace {

constexpr std::uint32_t kCount = 0x400;
constexpr std::uint32_t kTerminate = 0x401;
std::atomic<int> handled{0};

user::LRESULT AppTestProc(user::HWND, std::uint32_t message, user::WPARAM, user::LPARAM) {
  ++handled;
  if (message == kTerminate) vcl::Application().Terminate();
  return 0;
}

// An event source that reports `pending` events, one consumed per Dispatch.
class CountingSource : public user::EventSource {
 public:
  int PollFd() const override { return -1; }
  int NextTimeoutMs() const override { return -1; }
  bool HasPending() override { return pending > 0; }
  void Dispatch() override {
    --pending;
    ++dispatched;
  }
  int pending = 0;
  int dispatched = 0;
};

class Application : public testing::Test {
 protected:
  void SetUp() override {
    user::RegisterClass("AppTest", &AppTestProc);
    window_ = user::CreateWindow("AppTest");
    handled = 0;
  }
  void TearDown() override {
    vcl::Application().SetEventSource(nullptr);
    user::DestroyWindow(window_);
    user::UnregisterClass("AppTest");
  }
  // Sends `count` messages of `message` from a plain thread (the window is ours).
  std::thread SendFromWorker(std::uint32_t message, int count) {
    return std::thread([=, this] {
      for (int i = 0; i < count; ++i) user::SendMessage(window_, message, 0, 0);
    });
  }
  user::HWND window_ = user::kNoWindow;
};

TEST_F(Application, ProcessMessagesRunsSentMessagesAndSourceEventsUntilNoneIsLeft) {
  CountingSource source;
  source.pending = 3;
  vcl::Application().SetEventSource(&source);
  EXPECT_EQ(vcl::Application().EventSource(), &source);
  std::thread worker = SendFromWorker(kCount, 1);
  while (handled == 0) vcl::Application().HandleMessage();  // wakes for the message or source
  vcl::Application().ProcessMessages();
  worker.join();
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(source.dispatched, 3);
  EXPECT_FALSE(vcl::Application().Terminated());
}

TEST_F(Application, RunEndsWhenAHandlerTerminates) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Terminated is never cleared, so the loop runs in a child process.
  EXPECT_EXIT(
      {
        std::thread worker = SendFromWorker(kCount, 5);
        std::thread terminator([this] { user::SendMessage(window_, kTerminate, 0, 0); });
        vcl::Application().Run();
        const bool ok = vcl::Application().Terminated() && handled >= 1;
        terminator.join();
        vcl::Application().ProcessMessages();  // the counting sends may still be under way
        while (handled < 6) vcl::Application().HandleMessage();
        worker.join();
        std::_Exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(ApplicationExeName, IsTheRunningProgram) {
  const std::string name = vcl::Application().ExeName();
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(name.front(), '/');
  EXPECT_NE(name.find("vcl_application_test"), std::string::npos);
  EXPECT_EQ(access(name.c_str(), X_OK), 0);
}

}  // namespace
