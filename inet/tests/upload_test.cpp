// Streamed uploads: HttpSendRequestExA, InternetWriteFile, HttpEndRequestA, and the 12032 retry
// when the server answers an upload with a challenge the request's credentials can answer.
#include <gtest/gtest.h>

#include <string>

#include "inet_test_support.h"
#include "kernel/last_error.h"
#include "testsupport/servers.h"

namespace {

using namespace inet;
using inet_test::Exchange;
using inet_test::ExchangeOptions;
using testsupport::PatternBytes;

// Sends `body` as an upload in pieces of `piece` bytes. Returns HttpEndRequestA's result; the
// last error tells why it failed.
bool Upload(HINTERNET request, const std::string& body, std::size_t piece,
            const std::string& headers = "Content-Type: application/octet-stream\r\n") {
  INTERNET_BUFFERSA buffers{};
  buffers.dwStructSize = kInternetBuffersLegacySize;
  buffers.lpcszHeader = headers.c_str();
  buffers.dwHeadersLength = static_cast<std::uint32_t>(headers.size());
  buffers.dwHeadersTotal = buffers.dwHeadersLength;
  buffers.dwBufferTotal = static_cast<std::uint32_t>(body.size());
  if (!HttpSendRequestExA(request, &buffers, nullptr, HSR_INITIATE, 0)) return false;
  std::size_t sent = 0;
  for (;;) {
    const std::size_t count = std::min(piece, body.size() - sent);
    std::uint32_t written = 0;
    if (!InternetWriteFile(request, body.data() + sent, static_cast<std::uint32_t>(count),
                           &written)) {
      return false;
    }
    if (written == 0) break;
    sent += written;
  }
  return HttpEndRequestA(request, nullptr, 0, 0);
}

class Uploads : public ::testing::Test {
 protected:
  testsupport::ScriptedServer server_;
};

TEST_F(Uploads, BodyArrivesWholeWithTheGivenHeadersOnly) {
  server_.SetRoutes({{.path = "/up", .steps = {testsupport::Respond(201, {}, "stored")}}});
  const std::string body = PatternBytes(0, 3 * 1024 * 1024 + 5);
  ExchangeOptions options;
  options.verb = "POST";
  Exchange exchange(server_.Url("/up"), options);
  ASSERT_TRUE(Upload(exchange.request(), body, 4096)) << kernel::GetLastError();
  EXPECT_EQ(exchange.Status(), 201);
  std::string answer;
  ASSERT_TRUE(exchange.ReadAll(&answer));
  EXPECT_EQ(answer, "stored");

  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_TRUE(requests[0].body == body);
  EXPECT_EQ(requests[0].Header("Content-Length"), std::to_string(body.size()));
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/octet-stream");
  EXPECT_FALSE(requests[0].Header("Expect"));
}

TEST_F(Uploads, MisuseIsRefused) {
  server_.SetRoutes({{.path = "/up", .steps = {testsupport::Respond(200, {}, "")}}});
  ExchangeOptions options;
  options.verb = "POST";
  Exchange exchange(server_.Url("/up"), options);
  INTERNET_BUFFERSA buffers{};
  buffers.dwStructSize = 12;
  EXPECT_FALSE(HttpSendRequestExA(exchange.request(), &buffers, nullptr, 0, 0));
  EXPECT_EQ(kernel::GetLastError(), kernel::ERROR_INVALID_PARAMETER);
  buffers.dwStructSize = sizeof buffers;
  buffers.dwBufferTotal = 10;
  ASSERT_TRUE(HttpSendRequestExA(exchange.request(), &buffers, nullptr, 0, 0));
  std::uint32_t written = 0;
  EXPECT_FALSE(InternetWriteFile(exchange.request(), "0123456789AB", 12, &written));
  EXPECT_EQ(kernel::GetLastError(), kernel::ERROR_INVALID_PARAMETER);
  ASSERT_TRUE(InternetWriteFile(exchange.request(), "01234", 5, &written));
  EXPECT_EQ(written, 5u);
  // Ending with half the announced body missing fails instead of waiting for it.
  EXPECT_FALSE(HttpEndRequestA(exchange.request(), nullptr, 0, 0));
  EXPECT_EQ(kernel::GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
}

struct ChallengeCase {
  const char* scheme;
  const char* user;
  const char* password;
  std::uint32_t extra_flags;
  // What each attempt's HttpEndRequestA gives: 0 for success, else the error.
  std::uint32_t first_end;
  int final_status;
};

class UploadChallenge : public ::testing::TestWithParam<ChallengeCase> {};

TEST_P(UploadChallenge, ForceRetryOnlyWhenTheCredentialsCanAnswer) {
  const ChallengeCase& c = GetParam();
  testsupport::ScriptedServer server({{.path = "/up",
                                       .steps = {testsupport::Respond(200, {}, "accepted")},
                                       .auth_scheme = c.scheme,
                                       .user = "bob",
                                       .password = "secret"}});
  ExchangeOptions options;
  options.verb = "POST";
  options.user = c.user;
  options.password = c.password;
  options.open_flags |= c.extra_flags;
  Exchange exchange(server.Url("/up"), options);
  const std::string body = PatternBytes(0, 200000);
  const bool ended = Upload(exchange.request(), body, 8192);
  EXPECT_EQ(ended ? 0u : kernel::GetLastError(), c.first_end);
  if (!ended) {
    // The caller sends the whole body again, as asked; this time the answer is final.
    ASSERT_TRUE(Upload(exchange.request(), body, 8192)) << kernel::GetLastError();
  }
  EXPECT_EQ(exchange.Status(), c.final_status);
  std::string answer;
  ASSERT_TRUE(exchange.ReadAll(&answer));
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), ended ? 1u : 2u);
  for (const auto& request : requests) EXPECT_TRUE(request.body == body);
  if (!ended) {
    EXPECT_TRUE(requests[1].Header("Authorization").has_value());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Challenges, UploadChallenge,
    ::testing::Values(
        // Right credentials: one 12032, then accepted.
        ChallengeCase{"basic", "bob", "secret", 0, ERROR_INTERNET_FORCE_RETRY, 200},
        ChallengeCase{"digest", "bob", "secret", 0, ERROR_INTERNET_FORCE_RETRY, 200},
        // Wrong credentials: one 12032, then the 401 comes back (no endless retries).
        ChallengeCase{"basic", "bob", "wrong", 0, ERROR_INTERNET_FORCE_RETRY, 401},
        // No credentials, or authentication switched off: the 401 comes back at once.
        ChallengeCase{"basic", "", "", 0, 0, 401},
        ChallengeCase{"digest", "bob", "secret", INTERNET_FLAG_NO_AUTH, 0, 401}));

}  // namespace
