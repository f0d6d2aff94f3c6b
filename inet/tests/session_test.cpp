// Session-wide behaviour: cookies, connection reuse, offline state, the handle tree and options.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "inet_test_support.h"
#include "kernel/last_error.h"
#include "testsupport/servers.h"

namespace {

using namespace inet;
using inet_test::Handle;
using testsupport::Respond;

// Opens requests for `path` on one session to the scripted server.
class OneSession {
 public:
  explicit OneSession(std::uint16_t port, std::uint32_t session_flags = 0)
      : session_(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, session_flags)),
        connection_(InternetConnectA(session_.get(), "127.0.0.1", port, nullptr, nullptr,
                                     INTERNET_SERVICE_HTTP, 0, 0)) {}

  // Sends GET `path` with `flags` and reads the whole answer; returns the send's error or 0.
  std::uint32_t Get(const std::string& path, std::uint32_t flags) {
    Handle request(HttpOpenRequestA(connection_.get(), "GET", path.c_str(), nullptr, nullptr,
                                    nullptr, flags, 0));
    if (!HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) return kernel::GetLastError();
    char buffer[256];
    std::uint32_t read = 0;
    while (InternetReadFile(request.get(), buffer, sizeof buffer, &read) && read > 0) {
    }
    return 0;
  }
  HINTERNET session() const { return session_.get(); }
  HINTERNET connection() const { return connection_.get(); }

 private:
  Handle session_;
  Handle connection_;
};

constexpr std::uint32_t kKeep = INTERNET_FLAG_KEEP_CONNECTION;

TEST(Session, CookiesAreKeptPerSessionUnlessSwitchedOff) {
  testsupport::ScriptedServer server(
      {{.path = "/set", .steps = {Respond(200, {"Set-Cookie: id=42; Path=/"}, "")}},
       {.path = "*", .steps = {Respond(200, {}, "")}}});
  OneSession first(server.port());
  ASSERT_EQ(first.Get("/set", kKeep), 0u);
  ASSERT_EQ(first.Get("/same-session", kKeep), 0u);
  ASSERT_EQ(first.Get("/no-cookies", kKeep | INTERNET_FLAG_NO_COOKIES), 0u);
  OneSession second(server.port());
  ASSERT_EQ(second.Get("/other-session", kKeep), 0u);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[1].Header("Cookie"), "id=42");
  EXPECT_FALSE(requests[2].Header("Cookie"));
  EXPECT_FALSE(requests[3].Header("Cookie"));
}

TEST(Session, ConnectionsAreReusedOnlyWithKeepConnection) {
  testsupport::ScriptedServer server({{.path = "*", .steps = {Respond(200, {}, "x")}}});
  OneSession session(server.port());
  ASSERT_EQ(session.Get("/a", kKeep), 0u);
  ASSERT_EQ(session.Get("/b", kKeep), 0u);
  ASSERT_EQ(session.Get("/c", 0), 0u);
  ASSERT_EQ(session.Get("/d", 0), 0u);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].connection, requests[1].connection);
  EXPECT_NE(requests[1].connection, requests[2].connection);
  EXPECT_NE(requests[2].connection, requests[3].connection);
}

TEST(Session, OfflineSessionsAndProcessFailUntilOnline) {
  testsupport::ScriptedServer server({{.path = "*", .steps = {Respond(200, {}, "")}}});
  OneSession offline(server.port(), INTERNET_FLAG_OFFLINE);
  EXPECT_EQ(offline.Get("/", kKeep), ERROR_INTERNET_DISCONNECTED);

  OneSession online(server.port());
  std::uint32_t state = 0, length = sizeof state;
  ASSERT_TRUE(InternetQueryOptionA(nullptr, INTERNET_OPTION_CONNECTED_STATE, &state, &length));
  EXPECT_EQ(state, INTERNET_STATE_CONNECTED);
  INTERNET_CONNECTED_INFO info{INTERNET_STATE_DISCONNECTED_BY_USER, 0};
  ASSERT_TRUE(InternetSetOptionA(nullptr, INTERNET_OPTION_CONNECTED_STATE, &info, sizeof info));
  ASSERT_TRUE(InternetQueryOptionA(nullptr, INTERNET_OPTION_CONNECTED_STATE, &state, &length));
  EXPECT_EQ(state & INTERNET_STATE_DISCONNECTED_BY_USER, INTERNET_STATE_DISCONNECTED_BY_USER);
  EXPECT_EQ(online.Get("/", kKeep), ERROR_INTERNET_DISCONNECTED);
  ASSERT_TRUE(InternetGoOnline("http://127.0.0.1/", nullptr, 0));
  EXPECT_EQ(online.Get("/", kKeep), 0u);
  EXPECT_EQ(offline.Get("/", kKeep), ERROR_INTERNET_DISCONNECTED);  // its own flag stays
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(Handles, ClosingAParentClosesItsChildrenWithNotices) {
  inet_test::NoticeRecorder recorder;
  HINTERNET session = InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  ASSERT_NE(session, nullptr);
  InternetSetStatusCallback(session, &inet_test::NoticeRecorder::Callback);
  HINTERNET connection =
      InternetConnectA(session, "127.0.0.1", 1, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0,
                       reinterpret_cast<std::uintptr_t>(&recorder));
  HINTERNET request =
      HttpOpenRequestA(connection, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0);
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(recorder.statuses(), (std::vector<std::uint32_t>{INTERNET_STATUS_HANDLE_CREATED,
                                                             INTERNET_STATUS_HANDLE_CREATED}));

  std::uint32_t type = 0, length = sizeof type;
  ASSERT_TRUE(InternetQueryOptionA(request, INTERNET_OPTION_HANDLE_TYPE, &type, &length));
  EXPECT_EQ(type, INTERNET_HANDLE_TYPE_HTTP_REQUEST);
  EXPECT_EQ(HttpOpenRequestA(session, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0), nullptr);
  EXPECT_EQ(kernel::GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);

  ASSERT_TRUE(InternetCloseHandle(session));
  // The request and the connection went with the session, each with a closing notice.
  const auto statuses = recorder.statuses();
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), INTERNET_STATUS_HANDLE_CLOSING), 2);
  for (HINTERNET gone : {request, connection, session}) {
    EXPECT_FALSE(InternetCloseHandle(gone));
    EXPECT_EQ(kernel::GetLastError(), kernel::ERROR_INVALID_HANDLE);
  }
  EXPECT_FALSE(InternetCloseHandle(nullptr));
  EXPECT_EQ(InternetSetStatusCallback(request, nullptr), INTERNET_INVALID_STATUS_CALLBACK);
}

TEST(Handles, ConnectArgumentsAreChecked) {
  Handle session(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  for (const char* host : {"", "bad host", "a/b"}) {
    EXPECT_EQ(
        InternetConnectA(session.get(), host, 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0),
        nullptr)
        << host;
    EXPECT_EQ(kernel::GetLastError(), ERROR_INTERNET_INVALID_URL);
  }
  EXPECT_EQ(InternetConnectA(session.get(), "h", 21, nullptr, nullptr, INTERNET_SERVICE_FTP, 0, 0),
            nullptr);
  Handle v6(
      InternetConnectA(session.get(), "[::1]", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  EXPECT_TRUE(v6);
}

TEST(Options, SetQueryAndInheritance) {
  Handle session(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  const std::uint32_t timeout = 1234;
  ASSERT_TRUE(InternetSetOptionA(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, 4));
  Handle connection(InternetConnectA(session.get(), "127.0.0.1", 80, "user", "pass",
                                     INTERNET_SERVICE_HTTP, 0, 0));
  Handle request(HttpOpenRequestA(connection.get(), "GET", "/", nullptr, nullptr, nullptr,
                                  INTERNET_FLAG_IGNORE_CERT_CN_INVALID, 0));
  std::uint32_t value = 0, length = sizeof value;
  ASSERT_TRUE(
      InternetQueryOptionA(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &length));
  EXPECT_EQ(value, timeout);
  ASSERT_TRUE(InternetQueryOptionA(request.get(), INTERNET_OPTION_SEND_TIMEOUT, &value, &length));
  EXPECT_EQ(value, kDefaultTimeoutMs);
  ASSERT_TRUE(InternetQueryOptionA(request.get(), INTERNET_OPTION_SECURITY_FLAGS, &value, &length));
  EXPECT_EQ(value, SECURITY_FLAG_IGNORE_CERT_CN_INVALID);

  char text[16];
  length = sizeof text;
  ASSERT_TRUE(InternetQueryOptionA(request.get(), INTERNET_OPTION_USERNAME, text, &length));
  EXPECT_STREQ(text, "user");
  EXPECT_EQ(length, 4u);
  length = 2;
  EXPECT_FALSE(InternetQueryOptionA(request.get(), INTERNET_OPTION_PASSWORD, text, &length));
  EXPECT_EQ(kernel::GetLastError(), kernel::ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(length, 5u);
  // A text is taken up to its length, an empty one with length 0.
  ASSERT_TRUE(InternetSetOptionA(request.get(), INTERNET_OPTION_PASSWORD, "secretXYZ", 6));
  length = sizeof text;
  ASSERT_TRUE(InternetQueryOptionA(request.get(), INTERNET_OPTION_PASSWORD, text, &length));
  EXPECT_STREQ(text, "secret");
  ASSERT_TRUE(InternetSetOptionA(request.get(), INTERNET_OPTION_PASSWORD, "", 0));

  EXPECT_FALSE(InternetSetOptionA(request.get(), 9999, &value, 4));
  EXPECT_EQ(kernel::GetLastError(), ERROR_INTERNET_INVALID_OPTION);
  EXPECT_FALSE(InternetSetOptionA(request.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &value, 2));
  EXPECT_EQ(kernel::GetLastError(), ERROR_INTERNET_BAD_OPTION_LENGTH);
  EXPECT_FALSE(InternetSetOptionA(request.get(), INTERNET_OPTION_URL, "x", 1));
  EXPECT_EQ(kernel::GetLastError(), ERROR_INTERNET_OPTION_NOT_SETTABLE);
}

}  // namespace
