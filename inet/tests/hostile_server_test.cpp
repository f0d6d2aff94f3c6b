// Servers that misbehave: cut bodies, stalls, garbage and oversized headers, refused connections,
// and a body nobody reads (memory must stay bounded).
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "inet_test_support.h"
#include "kernel/last_error.h"
#include "testsupport/servers.h"

namespace {

using namespace inet;
using inet_test::Exchange;
using testsupport::Close;
using testsupport::Pattern;
using testsupport::PatternBytes;
using testsupport::Repeat;
using testsupport::Send;
using testsupport::Sleep;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kShortTimeoutMs = 400;

class HostileServer : public ::testing::Test {
 protected:
  testsupport::ScriptedServer server_;
};

TEST_F(HostileServer, BodyCutShortFailsTheReadAfterTheBytesThatCame) {
  server_.SetRoutes({{.path = "/drop",
                      .steps = {Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n"),
                                Pattern(0, 600), Close()}},
                     {.path = "/drop-chunked",
                      .steps = {Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                     "100\r\n" +
                                     PatternBytes(0, 256) + "\r\n100\r\nabc"),
                                Close()}}});
  for (const char* path : {"/drop", "/drop-chunked"}) {
    Exchange exchange(server_.Url(path));
    ASSERT_TRUE(exchange.Send());
    EXPECT_EQ(exchange.Status(), 200);
    std::string body;
    EXPECT_FALSE(exchange.ReadAll(&body, 4096)) << path;
    EXPECT_EQ(exchange.error, ERROR_INTERNET_CONNECTION_ABORTED) << path;
    EXPECT_EQ(body.substr(0, 256), PatternBytes(0, 256)) << path;
    // The failure sticks.
    char byte;
    std::uint32_t read = 0;
    EXPECT_FALSE(InternetReadFile(exchange.request(), &byte, 1, &read));
  }
}

TEST_F(HostileServer, StallsEndAtTheReceiveTimeout) {
  server_.SetRoutes({{.path = "/stall-head", .steps = {Sleep(std::chrono::seconds(30))}},
                     {.path = "/stall-body",
                      .steps = {Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789"),
                                Sleep(std::chrono::seconds(30))}}});
  {
    Exchange exchange(server_.Url("/stall-head"));
    exchange.SetNumberOption(INTERNET_OPTION_RECEIVE_TIMEOUT, kShortTimeoutMs);
    const auto start = Clock::now();
    EXPECT_FALSE(exchange.Send());
    EXPECT_EQ(exchange.error, ERROR_INTERNET_TIMEOUT);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  }
  {
    Exchange exchange(server_.Url("/stall-body"));
    exchange.SetNumberOption(INTERNET_OPTION_RECEIVE_TIMEOUT, kShortTimeoutMs);
    ASSERT_TRUE(exchange.Send());
    std::string body;
    const auto start = Clock::now();
    EXPECT_FALSE(exchange.ReadAll(&body));
    EXPECT_EQ(exchange.error, ERROR_INTERNET_TIMEOUT);
    EXPECT_EQ(body, "0123456789");
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(kShortTimeoutMs - 50));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  }
}

TEST_F(HostileServer, SlowDripOfHeadersHitsTheHeadDeadline) {
  // One header line every 100 ms keeps the connection busy forever; the head must still end.
  std::vector<testsupport::Step> steps = {Send("HTTP/1.1 200 OK\r\n")};
  for (int i = 0; i < 200; ++i) {
    steps.push_back(Send("X-Drip: " + std::to_string(i) + "\r\n"));
    steps.push_back(Sleep(std::chrono::milliseconds(100)));
  }
  server_.SetRoutes({{.path = "/drip", .steps = steps}});
  Exchange exchange(server_.Url("/drip"));
  exchange.SetNumberOption(INTERNET_OPTION_RECEIVE_TIMEOUT, kShortTimeoutMs);
  exchange.SetNumberOption(INTERNET_OPTION_CONNECT_TIMEOUT, kShortTimeoutMs);
  const auto start = Clock::now();
  EXPECT_FALSE(exchange.Send());
  EXPECT_EQ(exchange.error, ERROR_INTERNET_TIMEOUT);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST_F(HostileServer, InvalidResponsesFailTheSend) {
  server_.SetRoutes({
      {.path = "/garbage", .steps = {Send("SSH-2.0-OpenSSH\r\n\r\n"), Close()}},
      {.path = "/nothing", .steps = {Close()}},
      {.path = "/huge-headers",
       .steps = {Send("HTTP/1.1 200 OK\r\n"),
                 Repeat("X-Filler: " + std::string(90, 'f') + "\r\n", 4000),
                 Send("Content-Length: 0\r\n\r\n")}},
      {.path = "/interim-flood", .steps = {Repeat("HTTP/1.1 100 Continue\r\n\r\n", 200000)}},
  });
  for (const char* path : {"/garbage", "/nothing", "/huge-headers", "/interim-flood"}) {
    Exchange exchange(server_.Url(path));
    EXPECT_FALSE(exchange.Send()) << path;
    EXPECT_EQ(exchange.error, ERROR_HTTP_INVALID_SERVER_RESPONSE) << path;
  }
}

TEST_F(HostileServer, RefusedConnectionFailsWithCannotConnect) {
  const std::uint16_t port = testsupport::PickFreePort();  // nothing listens there
  Exchange exchange("http://127.0.0.1:" + std::to_string(port) + "/");
  EXPECT_FALSE(exchange.Send());
  EXPECT_EQ(exchange.error, ERROR_INTERNET_CANNOT_CONNECT);
}

std::size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t total = 0, resident = 0;
  statm >> total >> resident;
  return resident * 4096;
}

TEST(UnreadBody, MemoryStaysBoundedWhileNobodyReads) {
  testsupport::NginxServer server;
  constexpr std::size_t kSize = 96u << 20;
  {
    std::ofstream file(server.docroot() + "/big.bin", std::ios::binary);
    const std::string block = PatternBytes(0, 1 << 20);
    for (std::size_t written = 0; written < kSize; written += block.size()) file << block;
  }
  Exchange exchange(server.Url("/big.bin"));
  ASSERT_TRUE(exchange.Send());
  const std::size_t before = ResidentBytes();
  // The server pushes as fast as it can meanwhile; nobody reads.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  char buffer[4096];
  std::uint32_t read = 0;
  ASSERT_TRUE(InternetReadFile(exchange.request(), buffer, sizeof buffer, &read));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_LT(ResidentBytes(), before + (8u << 20));
  // And the body is still all there, in order.
  std::string rest;
  ASSERT_TRUE(exchange.ReadAll(&rest, 1 << 16, kSize));
  EXPECT_EQ(read + rest.size(), kSize);
  EXPECT_EQ(rest.substr(0, 100), PatternBytes(read, 100));
}

}  // namespace
