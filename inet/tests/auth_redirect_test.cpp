// Server authentication (Basic on nginx, Digest on the scripted server) and redirects: notices,
// limits, schemes, and credentials that must not follow a redirect to another host.
#include <gtest/gtest.h>

#include <string>

#include "inet_test_support.h"
#include "kernel/last_error.h"
#include "testsupport/servers.h"

namespace {

using namespace inet;
using inet_test::Exchange;
using inet_test::ExchangeOptions;

class NginxAuth : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testsupport::NginxOptions options;
    options.basic_auth.push_back(
        {.location = "/private/", .realm = "Downloads", .user = "bob", .password = "secret"});
    server_ = new testsupport::NginxServer(options);
    server_->WriteFile("private/file.txt", "the secret file");
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  static testsupport::NginxServer* server_;
};
testsupport::NginxServer* NginxAuth::server_ = nullptr;

TEST_F(NginxAuth, WithoutCredentialsTheChallengeAndItsBodyComeBack) {
  Exchange exchange(server_->Url("/private/file.txt"));
  ASSERT_TRUE(exchange.Send());
  EXPECT_EQ(exchange.Status(), 401);
  EXPECT_EQ(exchange.Header(HTTP_QUERY_WWW_AUTHENTICATE), "Basic realm=\"Downloads\"");
  std::string body;
  ASSERT_TRUE(exchange.ReadAll(&body));
  EXPECT_NE(body.find("401"), std::string::npos);
}

TEST_F(NginxAuth, CredentialsFromTheConnectionAnswerTheChallenge) {
  ExchangeOptions options;
  options.user = "bob";
  options.password = "secret";
  Exchange exchange(server_->Url("/private/file.txt"), options);
  ASSERT_TRUE(exchange.Send());
  EXPECT_EQ(exchange.Status(), 200);
  std::string body;
  ASSERT_TRUE(exchange.ReadAll(&body));
  EXPECT_EQ(body, "the secret file");
}

TEST_F(NginxAuth, OptionsSetAfterA401AnswerTheResentRequest) {
  Exchange exchange(server_->Url("/private/file.txt"));
  ASSERT_TRUE(exchange.Send());
  ASSERT_EQ(exchange.Status(), 401);
  exchange.SetTextOption(INTERNET_OPTION_USERNAME, "bob");
  exchange.SetTextOption(INTERNET_OPTION_PASSWORD, "wrong");
  ASSERT_TRUE(exchange.Send());
  EXPECT_EQ(exchange.Status(), 401);  // wrong password: the challenge comes back
  exchange.SetTextOption(INTERNET_OPTION_PASSWORD, "secret");
  ASSERT_TRUE(exchange.Send());
  EXPECT_EQ(exchange.Status(), 200);
  std::string body;
  ASSERT_TRUE(exchange.ReadAll(&body));
  EXPECT_EQ(body, "the secret file");
}

TEST_F(NginxAuth, NoAuthFlagHandsBackTheChallengeDespiteCredentials) {
  ExchangeOptions options;
  options.user = "bob";
  options.password = "secret";
  options.open_flags |= INTERNET_FLAG_NO_AUTH;
  Exchange exchange(server_->Url("/private/file.txt"), options);
  ASSERT_TRUE(exchange.Send());
  EXPECT_EQ(exchange.Status(), 401);
}

TEST(DigestAuth, AnsweredWithTheRightCredentialsOnly) {
  testsupport::ScriptedServer server({{.path = "/d",
                                       .steps = {testsupport::Respond(200, {}, "digest ok")},
                                       .auth_scheme = "digest",
                                       .user = "alice",
                                       .password = "pw"}});
  for (const char* password : {"pw", "bad"}) {
    ExchangeOptions options;
    options.user = "alice";
    options.password = password;
    Exchange exchange(server.Url("/d"), options);
    ASSERT_TRUE(exchange.Send());
    EXPECT_EQ(exchange.Status(), std::string(password) == "pw" ? 200 : 401);
  }
  bool digest_seen = false;
  for (const auto& request : server.Requests()) {
    const auto authorization = request.Header("Authorization");
    if (authorization && authorization->rfind("Digest ", 0) == 0) digest_seen = true;
  }
  EXPECT_TRUE(digest_seen);
}

class NginxRedirects : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testsupport::NginxOptions options;
    options.redirects = {{"/r1", 301, "/r2"},
                         {"/r2", 302, "/final.txt"},
                         {"/loop", 302, "/loop"},
                         {"/to-file", 302, "file:///etc/passwd"},
                         {"/to-ftp", 302, "ftp://127.0.0.1/x"}};
    server_ = new testsupport::NginxServer(options);
    server_->WriteFile("final.txt", "arrived");
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  static testsupport::NginxServer* server_;
};
testsupport::NginxServer* NginxRedirects::server_ = nullptr;

TEST_F(NginxRedirects, FollowedWithOneNoticePerHop) {
  inet_test::NoticeRecorder recorder;
  ExchangeOptions options;
  options.recorder = &recorder;
  Exchange exchange(server_->Url("/r1"), options);
  ASSERT_TRUE(exchange.Send());
  EXPECT_EQ(exchange.Status(), 200);
  std::string body;
  ASSERT_TRUE(exchange.ReadAll(&body));
  EXPECT_EQ(body, "arrived");
  std::vector<std::string> targets;
  for (const auto& entry : recorder.entries()) {
    if (entry.status != INTERNET_STATUS_REDIRECT) continue;
    targets.push_back(entry.text);
    EXPECT_EQ(entry.length, entry.text.size() + 1);  // the length counts the NUL
  }
  EXPECT_EQ(targets, (std::vector<std::string>{server_->Url("/r2"), server_->Url("/final.txt")}));
  char url[512];
  std::uint32_t length = sizeof url;
  ASSERT_TRUE(InternetQueryOptionA(exchange.request(), INTERNET_OPTION_URL, url, &length));
  EXPECT_EQ(std::string(url), server_->Url("/final.txt"));
}

TEST_F(NginxRedirects, NoAutoRedirectHandsBackThe3xx) {
  ExchangeOptions options;
  options.open_flags |= INTERNET_FLAG_NO_AUTO_REDIRECT;
  Exchange exchange(server_->Url("/r2"), options);
  ASSERT_TRUE(exchange.Send());
  EXPECT_EQ(exchange.Status(), 302);
  EXPECT_EQ(exchange.Header(HTTP_QUERY_LOCATION), server_->Url("/final.txt"));
}

TEST_F(NginxRedirects, RefusedRedirectsFailTheSend) {
  for (const char* path : {"/loop", "/to-file", "/to-ftp"}) {
    Exchange exchange(server_->Url(path));
    EXPECT_FALSE(exchange.Send()) << path;
    EXPECT_EQ(exchange.error, ERROR_HTTP_REDIRECT_FAILED) << path;
  }
}

TEST(RedirectCredentials, NeverSentToAnotherHost) {
  // The first server wants credentials and then sends us to a second one (another port).
  testsupport::ScriptedServer elsewhere(
      {{.path = "/land", .steps = {testsupport::Respond(200, {}, "landed")}}});
  testsupport::ScriptedServer origin(
      {{.path = "/go",
        .steps = {testsupport::Respond(302, {"Location: " + elsewhere.Url("/land")}, "")},
        .auth_scheme = "basic",
        .user = "bob",
        .password = "secret"}});
  ExchangeOptions options;
  options.user = "bob";
  options.password = "secret";
  Exchange exchange(origin.Url("/go"), options);
  ASSERT_TRUE(exchange.Send());
  EXPECT_EQ(exchange.Status(), 200);
  const auto at_origin = origin.Requests();
  ASSERT_FALSE(at_origin.empty());
  EXPECT_TRUE(at_origin.back().Header("Authorization").has_value());
  const auto landed = elsewhere.Requests();
  ASSERT_EQ(landed.size(), 1u);
  EXPECT_FALSE(landed[0].Header("Authorization").has_value());
}

}  // namespace
