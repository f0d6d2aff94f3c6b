// Proxies: the environment's configuration, direct, a named proxy with a bypass list, and proxy
// authentication (Basic and Digest with squid) answered through options 43 and 44.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "inet/trust.h"
#include "inet_test_support.h"
#include "kernel/last_error.h"
#include "testsupport/servers.h"

namespace {

using namespace inet;
using inet_test::Exchange;
using inet_test::ExchangeOptions;

class Proxies : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    origin_ = new testsupport::NginxServer();
    origin_->WriteFile("page.txt", "through");
    proxy_ = new testsupport::TinyProxy();
  }
  static void TearDownTestSuite() {
    delete proxy_;
    delete origin_;
  }
  void TearDown() override {
    unsetenv("http_proxy");
    unsetenv("no_proxy");
  }

  // Fetches /page.txt and tells whether the request went through the proxy.
  static bool FetchedThroughProxy(const ExchangeOptions& options, const std::string& path) {
    Exchange exchange(origin_->Url(path), options);
    EXPECT_TRUE(exchange.Send()) << exchange.error;
    EXPECT_EQ(exchange.Status(), 200);
    std::string body;
    EXPECT_TRUE(exchange.ReadAll(&body));
    EXPECT_EQ(body, "through");
    return proxy_->Log().find(path) != std::string::npos;
  }

  static testsupport::NginxServer* origin_;
  static testsupport::TinyProxy* proxy_;
};
testsupport::NginxServer* Proxies::origin_ = nullptr;
testsupport::TinyProxy* Proxies::proxy_ = nullptr;

TEST_F(Proxies, NamedProxyWithBypassList) {
  ExchangeOptions options;
  options.access = INTERNET_OPEN_TYPE_PROXY;
  options.proxy = proxy_->address();
  EXPECT_TRUE(FetchedThroughProxy(options, "/page.txt?named"));
  options.proxy = "https=127.0.0.1:1 http=" + proxy_->address();
  EXPECT_TRUE(FetchedThroughProxy(options, "/page.txt?per-scheme"));
  options.bypass = "example.org; 127.0.0.*";
  EXPECT_FALSE(FetchedThroughProxy(options, "/page.txt?bypassed"));
}

TEST_F(Proxies, PreconfiguredMeansTheEnvironmentAndDirectIgnoresIt) {
  setenv("http_proxy", ("http://" + proxy_->address()).c_str(), 1);
  ExchangeOptions options;
  options.access = INTERNET_OPEN_TYPE_PRECONFIG;
  EXPECT_TRUE(FetchedThroughProxy(options, "/page.txt?environment"));
  options.access = INTERNET_OPEN_TYPE_DIRECT;
  EXPECT_FALSE(FetchedThroughProxy(options, "/page.txt?direct"));
  setenv("no_proxy", "127.0.0.1", 1);
  options.access = INTERNET_OPEN_TYPE_PRECONFIG;
  EXPECT_FALSE(FetchedThroughProxy(options, "/page.txt?no-proxy"));
}

TEST(ProxyArguments, NamedProxyNeedsAName) {
  EXPECT_EQ(InternetOpenA("t", INTERNET_OPEN_TYPE_PROXY, nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(kernel::GetLastError(), kernel::ERROR_INVALID_PARAMETER);
  EXPECT_EQ(InternetOpenA("t", 2, nullptr, nullptr, 0), nullptr);
}

struct ProxyAuthCase {
  testsupport::ProxyOptions::Auth auth;
  bool https;
};

class ProxyAuth : public ::testing::TestWithParam<ProxyAuthCase> {};

TEST_P(ProxyAuth, ChallengeAnsweredWithOptions43And44OnTheSameRequest) {
  const ProxyAuthCase& c = GetParam();
  testsupport::ProxyOptions proxy_options;
  proxy_options.auth = c.auth;
  testsupport::SquidProxy proxy(proxy_options);
  testsupport::NginxOptions origin_options;
  if (c.https) {
    origin_options.tls = testsupport::TestCertificates::Shared().valid();
    ASSERT_TRUE(
        AddTrustedCertificateAuthorities(testsupport::TestCertificates::Shared().ca_file()));
  }
  testsupport::NginxServer origin(origin_options);
  origin.WriteFile("page.txt", "through");

  ExchangeOptions options;
  options.access = INTERNET_OPEN_TYPE_PROXY;
  options.proxy = proxy.address();
  Exchange exchange(origin.Url("/page.txt"), options);
  ASSERT_TRUE(exchange.Send()) << exchange.error;
  EXPECT_EQ(exchange.Status(), 407);
  EXPECT_FALSE(exchange.Header(HTTP_QUERY_PROXY_AUTHENTICATE).empty());

  exchange.SetTextOption(INTERNET_OPTION_PROXY_USERNAME, proxy_options.user);
  exchange.SetTextOption(INTERNET_OPTION_PROXY_PASSWORD, "wrong");
  ASSERT_TRUE(exchange.Send()) << exchange.error;
  EXPECT_EQ(exchange.Status(), 407);

  exchange.SetTextOption(INTERNET_OPTION_PROXY_PASSWORD, proxy_options.password);
  ASSERT_TRUE(exchange.Send()) << exchange.error;
  EXPECT_EQ(exchange.Status(), 200);
  std::string body;
  ASSERT_TRUE(exchange.ReadAll(&body));
  EXPECT_EQ(body, "through");
  if (c.https) ClearTrustedCertificateAuthorities();
}

INSTANTIATE_TEST_SUITE_P(
    Squid, ProxyAuth,
    ::testing::Values(ProxyAuthCase{testsupport::ProxyOptions::Auth::kBasic, false},
                      ProxyAuthCase{testsupport::ProxyOptions::Auth::kDigest, false},
                      ProxyAuthCase{testsupport::ProxyOptions::Auth::kBasic, true}));

}  // namespace
