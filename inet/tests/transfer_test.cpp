// Plain transfers against nginx and the scripted server: bodies, ranges, header queries, request
// headers and the status notices of a request.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "inet_test_support.h"
#include "kernel/last_error.h"
#include "testsupport/servers.h"

namespace {

using namespace inet;
using inet_test::Exchange;
using inet_test::ExchangeOptions;
using testsupport::PatternBytes;

constexpr std::size_t kFileSize = 3 * 1024 * 1024 + 17;

class NginxTransfer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new testsupport::NginxServer();
    server_->WriteFile("data.bin", PatternBytes(0, kFileSize));
    server_->WriteFile("hello.txt", "hello world\n");
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  static testsupport::NginxServer* server_;
};
testsupport::NginxServer* NginxTransfer::server_ = nullptr;

TEST_F(NginxTransfer, ReadsWholeBodyInAnyReadSize) {
  for (std::uint32_t chunk : {1u, 4096u, 65536u, 1u << 20}) {
    Exchange exchange(server_->Url("/data.bin"));
    ASSERT_TRUE(exchange.Send()) << exchange.error;
    EXPECT_EQ(exchange.Status(), 200);
    EXPECT_EQ(exchange.Header(HTTP_QUERY_CONTENT_LENGTH), std::to_string(kFileSize));
    std::string body;
    const std::size_t limit = chunk == 1 ? 70000 : kFileSize;  // byte reads: a prefix suffices
    ASSERT_TRUE(exchange.ReadAll(&body, chunk, limit)) << exchange.error;
    ASSERT_EQ(body.size(), limit) << "chunk " << chunk;
    EXPECT_TRUE(body == PatternBytes(0, limit)) << "chunk " << chunk;
    if (chunk != 1) {
      // At the end every further read succeeds with 0 bytes.
      char byte;
      std::uint32_t read = 7;
      EXPECT_TRUE(InternetReadFile(exchange.request(), &byte, 1, &read));
      EXPECT_EQ(read, 0u);
    }
  }
}

TEST_F(NginxTransfer, ByteRangesGive206AndUnsatisfiableGives416ThenRetryWithReplace) {
  struct RangeCase {
    std::string range;
    int status;
    std::uint64_t first;
    std::size_t length;
  };
  const RangeCase cases[] = {
      {"RANGE: bytes=1000-\r\n", 206, 1000, kFileSize - 1000},
      {"RANGE: bytes=1000-1999\r\n", 206, 1000, 1000},
      {"RANGE: bytes=0-500\r\n", 206, 0, 501},
  };
  for (const RangeCase& c : cases) {
    Exchange exchange(server_->Url("/data.bin"));
    ASSERT_TRUE(HttpAddRequestHeadersA(exchange.request(), c.range.c_str(),
                                       static_cast<std::uint32_t>(c.range.size()),
                                       HTTP_ADDREQ_FLAG_ADD));
    ASSERT_TRUE(exchange.Send());
    EXPECT_EQ(exchange.Status(), c.status) << c.range;
    bool found = false;
    exchange.Header(HTTP_QUERY_CONTENT_RANGE, &found);
    EXPECT_TRUE(found);
    std::string body;
    ASSERT_TRUE(exchange.ReadAll(&body, 65536));
    EXPECT_TRUE(body == PatternBytes(c.first, c.length)) << c.range;
  }

  // Past the end: 416. The same request is sent again with the range replaced by "0-".
  Exchange exchange(server_->Url("/data.bin"));
  const std::string beyond = "X-Test: 1\r\nRANGE: bytes=" + std::to_string(kFileSize) + "-\r\n";
  ASSERT_TRUE(HttpAddRequestHeadersA(exchange.request(), beyond.c_str(),
                                     static_cast<std::uint32_t>(beyond.size()),
                                     HTTP_ADDREQ_FLAG_ADD));
  ASSERT_TRUE(exchange.Send());
  EXPECT_EQ(exchange.Status(), 416);
  const std::string again = "X-Test: 1\r\nRANGE: bytes=0-\r\n";
  ASSERT_TRUE(HttpAddRequestHeadersA(exchange.request(), again.c_str(),
                                     static_cast<std::uint32_t>(again.size()),
                                     HTTP_ADDREQ_FLAG_REPLACE));
  ASSERT_TRUE(exchange.Send());
  EXPECT_EQ(exchange.Status(), 206);
  EXPECT_EQ(exchange.Header(HTTP_QUERY_CONTENT_LENGTH), std::to_string(kFileSize));
  // The replaced header went out once, with the new value.
  const std::string sent =
      exchange.Header(HTTP_QUERY_RAW_HEADERS_CRLF | HTTP_QUERY_FLAG_REQUEST_HEADERS);
  EXPECT_NE(sent.find("RANGE: bytes=0-\r\n"), std::string::npos) << sent;
  EXPECT_EQ(sent.find("bytes=" + std::to_string(kFileSize)), std::string::npos) << sent;
}

TEST_F(NginxTransfer, ErrorStatusBodyIsReadable) {
  Exchange exchange(server_->Url("/missing.bin"));
  ASSERT_TRUE(exchange.Send());
  EXPECT_EQ(exchange.Status(), 404);
  std::string body;
  ASSERT_TRUE(exchange.ReadAll(&body));
  EXPECT_NE(body.find("404"), std::string::npos);
}

TEST_F(NginxTransfer, HeaderQueries) {
  Exchange exchange(server_->Url("/hello.txt"));
  ASSERT_TRUE(exchange.Send());
  EXPECT_EQ(exchange.Header(HTTP_QUERY_STATUS_TEXT), "OK");
  EXPECT_EQ(exchange.Header(HTTP_QUERY_VERSION), "HTTP/1.1");
  EXPECT_EQ(exchange.Header(HTTP_QUERY_CONTENT_TYPE), "text/plain");
  bool found = false;
  EXPECT_FALSE(exchange.Header(HTTP_QUERY_DATE).empty());
  EXPECT_FALSE(exchange.Header(HTTP_QUERY_LAST_MODIFIED).empty());
  EXPECT_FALSE(exchange.Header(HTTP_QUERY_ETAG).empty());
  exchange.Header(HTTP_QUERY_LOCATION, &found);
  EXPECT_FALSE(found);
  EXPECT_EQ(kernel::GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);

  const std::string raw = exchange.Header(HTTP_QUERY_RAW_HEADERS_CRLF);
  EXPECT_EQ(raw.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << raw;
  EXPECT_EQ(raw.substr(raw.size() - 4), "\r\n\r\n");

  // Numbers, a buffer too small (the size needed comes back), and a custom header by name.
  std::uint32_t number = 0, length = sizeof number;
  ASSERT_TRUE(HttpQueryInfoA(exchange.request(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                             &number, &length, nullptr));
  EXPECT_EQ(number, 200u);
  char small[3];
  length = sizeof small;
  EXPECT_FALSE(
      HttpQueryInfoA(exchange.request(), HTTP_QUERY_CONTENT_TYPE, small, &length, nullptr));
  EXPECT_EQ(kernel::GetLastError(), kernel::ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(length, std::strlen("text/plain") + 1);
  char custom[64] = "Accept-Ranges";
  length = sizeof custom;
  ASSERT_TRUE(HttpQueryInfoA(exchange.request(), HTTP_QUERY_CUSTOM, custom, &length, nullptr));
  EXPECT_STREQ(custom, "bytes");
  length = sizeof custom;
  EXPECT_FALSE(HttpQueryInfoA(exchange.request(), 9999, custom, &length, nullptr));
  EXPECT_EQ(kernel::GetLastError(), ERROR_HTTP_INVALID_QUERY_REQUEST);
}

TEST_F(NginxTransfer, CallsOutOfOrderFail) {
  Exchange exchange(server_->Url("/hello.txt"));
  char buffer[16];
  std::uint32_t count = 0, length = sizeof buffer;
  EXPECT_FALSE(InternetReadFile(exchange.request(), buffer, sizeof buffer, &count));
  EXPECT_EQ(kernel::GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  EXPECT_FALSE(
      HttpQueryInfoA(exchange.request(), HTTP_QUERY_STATUS_CODE, buffer, &length, nullptr));
  EXPECT_EQ(kernel::GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);
  EXPECT_FALSE(InternetWriteFile(exchange.request(), buffer, 1, &count));
  EXPECT_EQ(kernel::GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  EXPECT_FALSE(HttpEndRequestA(exchange.request(), nullptr, 0, 0));
  EXPECT_FALSE(InternetReadFile(exchange.session(), buffer, sizeof buffer, &count));
  EXPECT_EQ(kernel::GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
}

TEST_F(NginxTransfer, HeadHasHeadersAndNoBody) {
  ExchangeOptions options;
  options.verb = "HEAD";
  Exchange exchange(server_->Url("/data.bin"), options);
  ASSERT_TRUE(exchange.Send());
  EXPECT_EQ(exchange.Status(), 200);
  EXPECT_EQ(exchange.Header(HTTP_QUERY_CONTENT_LENGTH), std::to_string(kFileSize));
  std::string body;
  ASSERT_TRUE(exchange.ReadAll(&body));
  EXPECT_TRUE(body.empty());
}

TEST_F(NginxTransfer, StatusNoticesOfARequest) {
  inet_test::NoticeRecorder recorder;
  ExchangeOptions options;
  options.recorder = &recorder;
  Exchange exchange(server_->Url("/hello.txt"), options);
  ASSERT_TRUE(exchange.Send());
  std::string body;
  ASSERT_TRUE(exchange.ReadAll(&body));
  const auto statuses = recorder.statuses();
  // In this order, each at least once: created, resolving, resolved, connecting, connected,
  // sending, sent, receiving, received.
  const std::uint32_t expected[] = {
      INTERNET_STATUS_HANDLE_CREATED,      INTERNET_STATUS_RESOLVING_NAME,
      INTERNET_STATUS_NAME_RESOLVED,       INTERNET_STATUS_CONNECTING_TO_SERVER,
      INTERNET_STATUS_CONNECTED_TO_SERVER, INTERNET_STATUS_SENDING_REQUEST,
      INTERNET_STATUS_REQUEST_SENT,        INTERNET_STATUS_RECEIVING_RESPONSE,
      INTERNET_STATUS_RESPONSE_RECEIVED};
  std::size_t position = 0;
  for (std::uint32_t status : expected) {
    while (position < statuses.size() && statuses[position] != status) ++position;
    ASSERT_LT(position, statuses.size()) << "missing or out of order: " << status;
  }
  for (const auto& entry : recorder.entries()) {
    if (entry.status == INTERNET_STATUS_RESOLVING_NAME ||
        entry.status == INTERNET_STATUS_CONNECTED_TO_SERVER) {
      EXPECT_EQ(entry.text, "127.0.0.1");
    }
  }
}

// Request side, checked on what the scripted server received.
class ScriptedTransfer : public ::testing::Test {
 protected:
  testsupport::ScriptedServer server_;
};

TEST_F(ScriptedTransfer, RequestLineHeadersAndFlags) {
  server_.SetRoutes({{.path = "*", .steps = {testsupport::Respond(200, {}, "ok")}}});
  ExchangeOptions options;
  options.open_flags |= INTERNET_FLAG_PRAGMA_NOCACHE;
  Exchange exchange(server_.Url("/dir/my file.exe?q=%20x"), options);
  const std::string headers = "X-One: 1\r\nX-Two: 2\r\nX-Empty:\r\n";
  ASSERT_TRUE(HttpAddRequestHeadersA(exchange.request(), headers.c_str(), 0xFFFFFFFF,
                                     HTTP_ADDREQ_FLAG_ADD));
  const std::string replace = "x-two: 22";
  ASSERT_TRUE(HttpAddRequestHeadersA(exchange.request(), replace.c_str(),
                                     static_cast<std::uint32_t>(replace.size()),
                                     HTTP_ADDREQ_FLAG_REPLACE));
  const std::string bad = "no colon here";
  EXPECT_FALSE(HttpAddRequestHeadersA(exchange.request(), bad.c_str(),
                                      static_cast<std::uint32_t>(bad.size()),
                                      HTTP_ADDREQ_FLAG_ADD));
  EXPECT_EQ(kernel::GetLastError(), ERROR_HTTP_INVALID_HEADER);
  const std::string again = "X-One: other";
  EXPECT_FALSE(HttpAddRequestHeadersA(exchange.request(), again.c_str(),
                                      static_cast<std::uint32_t>(again.size()),
                                      HTTP_ADDREQ_FLAG_ADD_IF_NEW));
  EXPECT_EQ(kernel::GetLastError(), ERROR_HTTP_HEADER_ALREADY_EXISTS);
  ASSERT_TRUE(exchange.Send());
  std::string body;
  ASSERT_TRUE(exchange.ReadAll(&body));
  EXPECT_EQ(body, "ok");

  ASSERT_EQ(server_.Requests().size(), 1u);
  const auto request = server_.Requests()[0];
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, "/dir/my%20file.exe?q=%20x");
  EXPECT_EQ(request.Header("X-One"), "1");
  EXPECT_EQ(request.Header("X-Two"), "22");
  EXPECT_EQ(request.Header("X-Empty"), "");
  EXPECT_EQ(request.Header("Pragma"), "no-cache");
  EXPECT_EQ(request.Header("User-Agent"), "inet-test");
  EXPECT_EQ(request.Header("Accept"), "*/*");
  EXPECT_FALSE(request.Header("Accept-Encoding"));
}

TEST_F(ScriptedTransfer, FormPostAndEmptyPost) {
  server_.SetRoutes({{.path = "*", .steps = {testsupport::Respond(200, {}, "")}}});
  {
    ExchangeOptions options;
    options.verb = "POST";
    Exchange exchange(server_.Url("/form"), options);
    ASSERT_TRUE(exchange.Send("Content-Type: application/x-www-form-urlencoded", "a=1&b=2"));
    EXPECT_EQ(exchange.Status(), 200);
  }
  {
    ExchangeOptions options;
    options.verb = "POST";
    Exchange exchange(server_.Url("/empty"), options);
    ASSERT_TRUE(exchange.Send());
  }
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].body, "a=1&b=2");
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_FALSE(requests[0].Header("Expect"));
  EXPECT_EQ(requests[1].method, "POST");
  EXPECT_EQ(requests[1].Header("Content-Length"), "0");
  EXPECT_FALSE(requests[1].Header("Content-Type"));
}

TEST_F(ScriptedTransfer, ChunkedBodyDecodedAndContentEncodingPassedThrough) {
  // Bytes that are not valid gzip: decoding them would fail, passing them through must not.
  const std::string encoded = std::string("\x1f\x8b\x08\x00", 4) + PatternBytes(0, 5000);
  server_.SetRoutes({{.path = "/gz",
                      .steps = {testsupport::Send(
                          "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n"
                          "Transfer-Encoding: chunked\r\n\r\n" +
                          testsupport::ChunkedBody({encoded.substr(0, 7), encoded.substr(7)}))}}});
  Exchange exchange(server_.Url("/gz"));
  ASSERT_TRUE(exchange.Send());
  EXPECT_EQ(exchange.Header(HTTP_QUERY_CONTENT_ENCODING), "gzip");
  std::string body;
  ASSERT_TRUE(exchange.ReadAll(&body, 1000));
  EXPECT_TRUE(body == encoded);
}

}  // namespace
