// TLS: verified by default; each relaxing flag forgives exactly its own fault.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "inet/trust.h"
#include "inet_test_support.h"
#include "kernel/last_error.h"
#include "testsupport/servers.h"

namespace {

using namespace inet;
using inet_test::Exchange;
using inet_test::ExchangeOptions;
using testsupport::TestCertificates;

// One https nginx per certificate kind, for the whole suite; the test CA is trusted.
class Tls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const TestCertificates& certificates = TestCertificates::Shared();
    ASSERT_TRUE(AddTrustedCertificateAuthorities(certificates.ca_file()));
    auto start = [](const testsupport::CertificateFiles& files) {
      testsupport::NginxOptions options;
      options.tls = files;
      auto server = new testsupport::NginxServer(options);
      server->WriteFile("index.txt", "secure");
      return server;
    };
    valid_ = start(certificates.valid());
    wrong_name_ = start(certificates.wrong_name());
    expired_ = start(certificates.expired());
    self_signed_ = start(certificates.self_signed());
  }
  static void TearDownTestSuite() {
    for (auto* server : {valid_, wrong_name_, expired_, self_signed_}) delete server;
    ClearTrustedCertificateAuthorities();
  }

  // 0 when the file was fetched, else the send's error.
  static std::uint32_t Fetch(const testsupport::NginxServer& server, std::uint32_t open_flags,
                             std::uint32_t security_option = 0) {
    ExchangeOptions options;
    options.open_flags |= open_flags;
    Exchange exchange(server.Url("/index.txt"), options);
    if (security_option != 0) {
      exchange.SetNumberOption(INTERNET_OPTION_SECURITY_FLAGS, security_option);
    }
    if (!exchange.Send()) return exchange.error;
    std::string body;
    EXPECT_TRUE(exchange.ReadAll(&body));
    EXPECT_EQ(body, "secure");
    return exchange.Status() == 200 ? 0 : 1;
  }

  static testsupport::NginxServer* valid_;
  static testsupport::NginxServer* wrong_name_;
  static testsupport::NginxServer* expired_;
  static testsupport::NginxServer* self_signed_;
};
testsupport::NginxServer* Tls::valid_ = nullptr;
testsupport::NginxServer* Tls::wrong_name_ = nullptr;
testsupport::NginxServer* Tls::expired_ = nullptr;
testsupport::NginxServer* Tls::self_signed_ = nullptr;

constexpr std::uint32_t kIgnoreName = INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
constexpr std::uint32_t kIgnoreDates = INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;

TEST_F(Tls, ValidCertificateIsAccepted) {
  EXPECT_EQ(Fetch(*valid_, 0), 0u);
}

TEST_F(Tls, WrongNameOnlyForgivenByItsFlag) {
  EXPECT_EQ(Fetch(*wrong_name_, 0), ERROR_INTERNET_SEC_CERT_CN_INVALID);
  EXPECT_EQ(Fetch(*wrong_name_, kIgnoreDates, SECURITY_FLAG_IGNORE_UNKNOWN_CA),
            ERROR_INTERNET_SEC_CERT_CN_INVALID);
  EXPECT_EQ(Fetch(*wrong_name_, kIgnoreName), 0u);
}

TEST_F(Tls, ExpiredOnlyForgivenByItsFlag) {
  EXPECT_EQ(Fetch(*expired_, 0), ERROR_INTERNET_SEC_CERT_DATE_INVALID);
  EXPECT_EQ(Fetch(*expired_, kIgnoreName, SECURITY_FLAG_IGNORE_UNKNOWN_CA),
            ERROR_INTERNET_SEC_CERT_DATE_INVALID);
  EXPECT_EQ(Fetch(*expired_, kIgnoreDates), 0u);
}

TEST_F(Tls, UnknownIssuerOnlyForgivenByOption31) {
  EXPECT_EQ(Fetch(*self_signed_, 0), ERROR_INTERNET_INVALID_CA);
  EXPECT_EQ(Fetch(*self_signed_, kIgnoreName | kIgnoreDates), ERROR_INTERNET_INVALID_CA);
  EXPECT_EQ(Fetch(*self_signed_, 0, SECURITY_FLAG_IGNORE_UNKNOWN_CA), 0u);
}

TEST_F(Tls, RelaxedConnectionIsNotReusedByAStrictRequest) {
  // Same session: a relaxed fetch first, then a strict one must verify again and fail.
  inet_test::Handle session(InternetOpenA("t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  inet_test::Handle connection(InternetConnectA(session.get(), "127.0.0.1", self_signed_->port(),
                                                nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  const std::uint32_t flags = INTERNET_FLAG_SECURE | INTERNET_FLAG_KEEP_CONNECTION;
  inet_test::Handle relaxed(
      HttpOpenRequestA(connection.get(), "GET", "/index.txt", nullptr, nullptr, nullptr, flags, 0));
  const std::uint32_t ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
  ASSERT_TRUE(InternetSetOptionA(relaxed.get(), INTERNET_OPTION_SECURITY_FLAGS, &ignore, 4));
  ASSERT_TRUE(HttpSendRequestA(relaxed.get(), nullptr, 0, nullptr, 0));
  char buffer[64];
  std::uint32_t read = 0;
  while (InternetReadFile(relaxed.get(), buffer, sizeof buffer, &read) && read > 0) {
  }
  relaxed.Reset();
  inet_test::Handle strict(
      HttpOpenRequestA(connection.get(), "GET", "/index.txt", nullptr, nullptr, nullptr, flags, 0));
  EXPECT_FALSE(HttpSendRequestA(strict.get(), nullptr, 0, nullptr, 0));
  EXPECT_EQ(kernel::GetLastError(), ERROR_INTERNET_INVALID_CA);
}

TEST_F(Tls, RedirectFromHttpsToHttpNeedsItsFlag) {
  testsupport::NginxServer plain;
  plain.WriteFile("plain.txt", "plain");
  testsupport::NginxOptions options;
  options.tls = TestCertificates::Shared().valid();
  options.redirects = {{"/down", 302, plain.Url("/plain.txt")}};
  testsupport::NginxServer secure(options);
  {
    Exchange exchange(secure.Url("/down"));
    EXPECT_FALSE(exchange.Send());
    EXPECT_EQ(exchange.error, ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
  }
  {
    ExchangeOptions allow;
    allow.open_flags |= INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP;
    Exchange exchange(secure.Url("/down"), allow);
    ASSERT_TRUE(exchange.Send()) << exchange.error;
    EXPECT_EQ(exchange.Status(), 200);
  }
}

TEST(TlsTrust, UnknownCaWhenTheTestCaIsNotTrusted) {
  ClearTrustedCertificateAuthorities();
  testsupport::NginxOptions options;
  options.tls = TestCertificates::Shared().valid();
  testsupport::NginxServer server(options);
  server.WriteFile("index.txt", "secure");
  Exchange exchange(server.Url("/index.txt"));
  EXPECT_FALSE(exchange.Send());
  EXPECT_EQ(exchange.error, ERROR_INTERNET_INVALID_CA);
  EXPECT_FALSE(AddTrustedCertificateAuthorities("/nonexistent/ca.pem"));
}

}  // namespace
