// Blocking calls woken from other threads: InternetCloseHandle cancels them, a forced end of the
// calling thread unwinds them, a suspension parks them; overlapping calls are refused.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "inet_test_support.h"
#include "kernel/last_error.h"
#include "kernel/thread.h"
#include "testsupport/servers.h"

namespace {

using namespace inet;
using inet_test::Exchange;
using testsupport::Send;
using testsupport::Sleep;
using Clock = std::chrono::steady_clock;

constexpr auto kPrompt = std::chrono::seconds(3);  // far below the 60 s default time-outs

class Cancel : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.SetRoutes({{.path = "/stall-head", .steps = {Sleep(std::chrono::seconds(30))}},
                       {.path = "/stall-body",
                        .steps = {Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc"),
                                  Sleep(std::chrono::seconds(30))}},
                       {.path = "/pause-body",
                        .steps = {Send("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nabc"),
                                  Sleep(std::chrono::milliseconds(1500)), Send("def")}}});
  }
  // Waits until the server has seen `count` requests: the client is then inside its wait.
  void AwaitRequests(std::size_t count) {
    ASSERT_TRUE(server_.WaitForRequests(count, std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  testsupport::ScriptedServer server_;
};

TEST_F(Cancel, CloseWakesABlockedSend) {
  Exchange exchange(server_.Url("/stall-head"));
  HINTERNET request = exchange.request();
  std::atomic<std::uint32_t> error{0};
  std::atomic<bool> sent{true};
  const auto start = Clock::now();
  std::thread caller([&] {
    sent = HttpSendRequestA(request, nullptr, 0, nullptr, 0);
    error = kernel::GetLastError();
  });
  AwaitRequests(1);
  EXPECT_TRUE(InternetCloseHandle(request));
  caller.join();
  EXPECT_FALSE(sent);
  EXPECT_EQ(error, ERROR_INTERNET_OPERATION_CANCELLED);
  EXPECT_LT(Clock::now() - start, kPrompt);
}

TEST_F(Cancel, ClosingTheSessionWakesABlockedRead) {
  Exchange exchange(server_.Url("/stall-body"));
  ASSERT_TRUE(exchange.Send());
  HINTERNET request = exchange.request();
  std::atomic<std::uint32_t> error{0};
  std::atomic<std::uint32_t> total{0};
  std::thread reader([&] {
    char buffer[64];
    std::uint32_t read = 0;
    while (InternetReadFile(request, buffer, sizeof buffer, &read) && read > 0) total += read;
    error = kernel::GetLastError();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto start = Clock::now();
  EXPECT_TRUE(InternetCloseHandle(exchange.session()));
  reader.join();
  EXPECT_EQ(total, 3u);
  EXPECT_EQ(error, ERROR_INTERNET_OPERATION_CANCELLED);
  EXPECT_LT(Clock::now() - start, kPrompt);
}

TEST_F(Cancel, OverlappingCallsOnOneRequestAreRefused) {
  Exchange exchange(server_.Url("/stall-head"));
  HINTERNET request = exchange.request();
  std::thread caller([&] { HttpSendRequestA(request, nullptr, 0, nullptr, 0); });
  AwaitRequests(1);
  char buffer[64];
  std::uint32_t length = sizeof buffer;
  EXPECT_FALSE(HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE, buffer, &length, nullptr));
  EXPECT_EQ(kernel::GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  // Options never wait for the transfer.
  std::uint32_t value = 0;
  length = sizeof value;
  EXPECT_TRUE(InternetQueryOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &length));
  EXPECT_TRUE(InternetCloseHandle(request));
  caller.join();
}

// A kernel thread reading a stalled body; TerminateThread must end it promptly.
struct KilledReader {
  HINTERNET request = nullptr;
  std::atomic<bool> returned{false};  // set only if the read came back normally

  static std::uint32_t Run(void* self) {
    auto* reader = static_cast<KilledReader*>(self);
    char buffer[64];
    std::uint32_t read = 0;
    while (InternetReadFile(reader->request, buffer, sizeof buffer, &read) && read > 0) {
    }
    reader->returned = true;
    return 0;
  }
};

TEST_F(Cancel, ForcedEndOfTheCallingThreadUnwindsItsRead) {
  Exchange exchange(server_.Url("/stall-body"));
  ASSERT_TRUE(exchange.Send());
  KilledReader reader;
  reader.request = exchange.request();
  kernel::ThreadHandle thread = kernel::CreateThread(&KilledReader::Run, &reader, false);
  ASSERT_TRUE(thread);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto start = Clock::now();
  ASSERT_TRUE(kernel::TerminateThread(thread, 77));
  ASSERT_EQ(kernel::WaitForSingleObject(thread, 5000), kernel::kWaitObject0);
  EXPECT_LT(Clock::now() - start, kPrompt);
  std::uint32_t code = 0;
  ASSERT_TRUE(kernel::GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 77u);
  EXPECT_FALSE(reader.returned);
  // The request is intact: the call guard was released, and it can be closed (or used) here.
  std::uint32_t value = 0, length = sizeof value;
  EXPECT_TRUE(HttpQueryInfoA(exchange.request(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                             &value, &length, nullptr));
  EXPECT_EQ(value, 200u);
}

struct PausedReader {
  HINTERNET request = nullptr;
  std::string body;
  static std::uint32_t Run(void* self) {
    auto* reader = static_cast<PausedReader*>(self);
    char buffer[64];
    std::uint32_t read = 0;
    while (InternetReadFile(reader->request, buffer, sizeof buffer, &read) && read > 0) {
      reader->body.append(buffer, read);
    }
    return 0;
  }
};

TEST_F(Cancel, SuspendedThreadParksInItsWaitAndGoesOnWhenResumed) {
  Exchange exchange(server_.Url("/pause-body"));
  ASSERT_TRUE(exchange.Send());
  PausedReader reader;
  reader.request = exchange.request();
  kernel::ThreadHandle thread = kernel::CreateThread(&PausedReader::Run, &reader, false);
  ASSERT_TRUE(thread);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = Clock::now();
  EXPECT_EQ(kernel::SuspendThread(thread), 0);
  EXPECT_LT(Clock::now() - start, kPrompt);
  // Suspended past the moment the rest of the body arrives; it must not finish meanwhile.
  EXPECT_EQ(kernel::WaitForSingleObject(thread, 2000), kernel::kWaitTimeout);
  EXPECT_EQ(kernel::ResumeThread(thread), 1);
  ASSERT_EQ(kernel::WaitForSingleObject(thread, 5000), kernel::kWaitObject0);
  EXPECT_EQ(reader.body, "abcdef");
}

}  // namespace
