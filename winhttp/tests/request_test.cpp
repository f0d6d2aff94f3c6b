// The connection and request half of a transfer, end to end against real loopback servers: URLs
// and credentials, range lines and request headers, the three sends, the authentication answers,
// the 416 path, "file" URLs and the failures that end in OnHostUnreachable.
#include <cstdio>
#include <string>

#include "e2e_support.h"
#include "inet/trust.h"
#include "inet/wininet.h"
#include "transfer_run.h"

namespace e2e {
namespace {

using testsupport::PatternBytes;
using testsupport::Respond;
using winhttp::TWinHTTPPasswordRequestEvent;
using winhttp::TWinHTTPProxyAuthenticationEvent;

// ---- pure pieces: the open flags, the realm, the integer value of a header text

TEST(OpenRequestFlags, DefaultsAndTheHttpsRule) {
  using namespace winhttp;
  EXPECT_EQ(OpenRequestFlags(false, kDefaultCacheOptions, kDefaultInternetOptions), 0x00400C10u);
  EXPECT_EQ(OpenRequestFlags(true, kDefaultCacheOptions, kDefaultInternetOptions), 0x00C00C00u);
  const TCacheOptions all_cache{
      coAlwaysReload, coReloadIfNoExpireInformation, coReloadUpdatedObjects, coPragmaNoCache,
      coNoCacheWrite, coCreateTempFilesIfCantCache,  coUseCacheIfNetFail};
  const TInternetOptions all_internet{ioIgnoreCertificateInvalid,
                                      ioIgnoreCertificateDateInvalid,
                                      ioIgnoreUnknownCertificateAuthority,
                                      ioIgnoreRedirectToHTTP,
                                      ioIgnoreRedirectToHTTPS,
                                      ioKeepConnection,
                                      ioNoAuthentication,
                                      ioNoAutoRedirect,
                                      ioNoCookies};
  EXPECT_EQ(OpenRequestFlags(false, all_cache, all_internet), 0x846DFD10u);
  EXPECT_EQ(OpenRequestFlags(true, all_cache, {}), 0x84810D00u);
  EXPECT_EQ(OpenRequestFlags(false, {}, {}), 0u);
}

TEST(RealmOf, QuotedValueOrTheWholeText) {
  using winhttp::RealmOf;
  EXPECT_EQ(RealmOf("Basic realm=\"test realm\""), "test realm");
  EXPECT_EQ(RealmOf("Digest realm=\"a\", qop=\"auth\""), "a\", qop=\"auth");
  EXPECT_EQ(RealmOf("Negotiate"), "Negotiate");
  EXPECT_EQ(RealmOf("Basic realm=test"), "Basic realm=test");
  EXPECT_EQ(RealmOf("x=\""), "");
  EXPECT_EQ(RealmOf(""), "");
}

TEST(HeaderInteger, SignedDecimalOrZero) {
  using winhttp::HeaderInteger;
  EXPECT_EQ(HeaderInteger("1000"), 1000);
  EXPECT_EQ(HeaderInteger("-7"), -7);
  EXPECT_EQ(HeaderInteger("+7"), 7);
  EXPECT_EQ(HeaderInteger("2147483647"), 2147483647);
  EXPECT_EQ(HeaderInteger("-2147483648"), -2147483647 - 1);
  for (const char* bad : {"", "2147483648", "0x10", "$10", " 5", "5 ", "12a", "+", "-", "++1"})
    EXPECT_EQ(HeaderInteger(bad), 0) << bad;
}

// ---- URLs and credentials

class NginxRequest : public TransferTest {
 protected:
  NginxRequest() {
    nginx_.WriteFile("hello.txt", "hello");
    nginx_.WriteFile("private/secret.txt", "secret");
    nginx_.WriteFile("data.bin", PatternBytes(0, 1000));
  }
  static testsupport::NginxOptions WithPrivateArea() {
    testsupport::NginxOptions options;
    options.basic_auth.push_back(
        {.location = "/private/", .realm = "test realm", .user = "alice", .password = "wonder"});
    return options;
  }
  testsupport::NginxServer nginx_{WithPrivateArea()};
  std::string Authority() const { return "127.0.0.1:" + std::to_string(nginx_.port()); }
};

TEST_F(NginxRequest, UrlWithoutSchemeIsFetchedOverHttp) {
  EXPECT_EQ(Fetch(Authority() + "/hello.txt"), (Events{"OnDone text/plain 5 memory(5)"}));
  EXPECT_EQ(recorder_.body, "hello");
  EXPECT_EQ(http_->URL, Authority() + "/hello.txt");  // the component's URL keeps its text
}

struct Credentials {
  const char* name;
  const char* url_user_info;  // "user:password@" or ""
  const char* username;       // the properties
  const char* password;
  const char* outcome;  // the first event, up to the error page's size
};

class CredentialsTest : public NginxRequest, public testing::WithParamInterface<Credentials> {};

TEST_P(CredentialsTest, UrlPiecesWinAndPropertiesFillTheGaps) {
  const Credentials& c = GetParam();
  http_->Username = c.username;
  http_->Password = c.password;
  const Events events =
      Fetch("http://" + std::string(c.url_user_info) + Authority() + "/private/secret.txt");
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().rfind(c.outcome, 0), 0u) << events.front();
}

INSTANTIATE_TEST_SUITE_P(
    Request, CredentialsTest,
    testing::Values(
        Credentials{"FromTheUrl", "alice:wonder@", "", "", "OnDone text/plain 6 memory(6)"},
        Credentials{"FromTheProperties", "", "alice", "wonder", "OnDone text/plain 6 memory(6)"},
        Credentials{"UserFromUrlPasswordFromProperty", "alice@", "mallory", "wonder",
                    "OnDone text/plain 6 memory(6)"},
        Credentials{"UrlBeatsProperties", "alice:wonder@", "mallory", "wrong",
                    "OnDone text/plain 6 memory(6)"},
        Credentials{"WrongPassword", "alice:nope@", "", "", "OnHTTPError 401 memory("},
        Credentials{"None", "", "", "", "OnHTTPError 401 memory("}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- 401: the password request

TEST_F(NginxRequest, PasswordRequestAnsweredWithTryAgainSendsTheRequestAgain) {
  std::string realm;
  int asked = 0;
  http_->OnPasswordRequest =
      TWinHTTPPasswordRequestEvent([&](vcl::TObject*, const std::string& r, bool& try_again) {
        realm = r;
        ++asked;
        http_->Username = "alice";
        http_->Password = "wonder";
        try_again = true;
      });
  EXPECT_EQ(Fetch(nginx_.Url("/private/secret.txt")), (Events{"OnDone text/plain 6 memory(6)"}));
  EXPECT_EQ(realm, "test realm");
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(recorder_.body, "secret");
}

TEST_F(NginxRequest, PasswordRequestWithoutTryAgainAcceptsThe401) {
  int asked = 0;
  http_->OnPasswordRequest =
      TWinHTTPPasswordRequestEvent([&](vcl::TObject*, const std::string&, bool& try_again) {
        ++asked;
        try_again = false;
      });
  const Events events = Fetch(nginx_.Url("/private/secret.txt"));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].rfind("OnHTTPError 401 memory(", 0), 0u) << events[0];
  EXPECT_EQ(events[1], "OnAnyError");
  EXPECT_EQ(asked, 1);
  EXPECT_NE(recorder_.body.find("401"), std::string::npos);  // the error page was read
}

TEST_F(NginxRequest, WrongAnswersAreAskedAgainUntilTheHandlerGivesUp) {
  int asked = 0;
  http_->OnPasswordRequest =
      TWinHTTPPasswordRequestEvent([&](vcl::TObject*, const std::string&, bool& try_again) {
        http_->Username = "alice";
        http_->Password = ++asked < 3 ? "guess" : "wonder";
        try_again = true;
      });
  EXPECT_EQ(Fetch(nginx_.Url("/private/secret.txt")), (Events{"OnDone text/plain 6 memory(6)"}));
  EXPECT_EQ(asked, 3);
}

// ---- the scripted server: what the request carried

class ScriptedRequest : public TransferTest {
 protected:
  ScriptedRequest() {
    server_.SetRoutes({{.steps = {Respond(200, {"Content-Type: text/plain"}, "ok")}}});
  }
  testsupport::RecordedRequest LastRequest() const {
    const auto requests = server_.Requests();
    EXPECT_FALSE(requests.empty());
    return requests.empty() ? testsupport::RecordedRequest{} : requests.back();
  }
  testsupport::ScriptedServer server_;
};

struct RangeCase {
  const char* name;
  std::uint32_t start, end;              // Read's positions
  std::uint32_t range_start, range_end;  // the Range sub-object
  const char* expected;                  // the Range header, or "" for none
};

class RangeLineTest : public ScriptedRequest, public testing::WithParamInterface<RangeCase> {};

TEST_P(RangeLineTest, RangeLineComesFromThePositionsOrTheRangeObject) {
  const RangeCase& c = GetParam();
  http_->Range()->StartRange = c.range_start;
  http_->Range()->EndRange = c.range_end;
  http_->AddHeaders()->Add("X-Extra: one");
  // The server ignores the range: a 200 without Content-Range carries the whole entity.
  EXPECT_EQ(Fetch(server_.Url("/r"), c.start, c.end), (Events{"OnDone text/plain 2 memory(2)"}));
  const testsupport::RecordedRequest request = LastRequest();
  EXPECT_EQ(request.Header("Range").value_or(""), c.expected);
  EXPECT_EQ(request.Header("X-Extra").value_or(""), "one");
}

INSTANTIATE_TEST_SUITE_P(Request, RangeLineTest,
                         testing::Values(RangeCase{"OpenEnded", 1000, 0, 0, 0, "bytes=1000-"},
                                         RangeCase{"Closed", 1000, 1999, 0, 0, "bytes=1000-1999"},
                                         RangeCase{"FromZero", 0, 500, 0, 0, "bytes=0-500"},
                                         RangeCase{"PositionsBeatRange", 7, 0, 10, 20, "bytes=7-"},
                                         RangeCase{"RangeObject", 0, 0, 10, 0, "bytes=10-"},
                                         RangeCase{"RangeObjectEnd", 0, 0, 0, 99, "bytes=0-99"},
                                         RangeCase{"None", 0, 0, 0, 0, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

// A request closed by OnBeforeSendRequest fails every later call on it: the header call (when it
// is made) ends the run as a refused header text, the send as an unreachable host. So the outcome
// tells whether the header call was made at all.
TEST_F(ScriptedRequest, NoHeaderCallWhenThereIsNothingToAdd) {
  http_->OnBeforeSendRequest = winhttp::TWinHTTPBeforeSendRequest([](vcl::TObject*, void* request) {
    inet::InternetCloseHandle(static_cast<inet::HINTERNET>(request));
  });
  EXPECT_EQ(Fetch(server_.Url("/r")), (Events{"OnHostUnreachable", "OnAnyError"}));
  http_->Range()->StartRange = 1;
  EXPECT_EQ(Fetch(server_.Url("/r")), (Events{"OnAnyError", "OnOutputFileError"}));
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(ScriptedRequest, RefusedHeaderTextEndsAsAnOutputFileFailure) {
  http_->AddHeaders()->Add("not a header line");
  EXPECT_EQ(Fetch(server_.Url("/r")), (Events{"OnAnyError", "OnOutputFileError"}));
  // An upload too: its body must not come back as the answer of a request never sent.
  recorder_.Clear();
  vcl::TMemoryStream body;
  body.WriteBuffer("data", 4);
  EXPECT_TRUE(http_->Upload(body, "", true));
  EXPECT_EQ(recorder_.Entries(), (Events{"OnAnyError", "OnOutputFileError"}));
  EXPECT_TRUE(server_.Requests().empty());
}

struct MethodCase {
  const char* name;
  winhttp::TWinHTTPRequestMethod method;
  const char* post_data;
  const char* verb;
  const char* content_type;  // "" for none
  const char* body;
};

class MethodTest : public ScriptedRequest, public testing::WithParamInterface<MethodCase> {};

TEST_P(MethodTest, VerbBodyAndFormHeader) {
  const MethodCase& c = GetParam();
  http_->RequestMethod = c.method;
  http_->POSTData = c.post_data;
  http_->Referer = "http://referer.example/";
  EXPECT_EQ(Fetch(server_.Url("/m?x=a b")), (Events{"OnDone text/plain 2 memory(2)"}));
  const testsupport::RecordedRequest request = LastRequest();
  EXPECT_EQ(request.method, c.verb);
  EXPECT_EQ(request.target, "/m?x=a%20b");  // the extra info goes out escaped
  EXPECT_EQ(request.Header("Content-Type").value_or(""), c.content_type);
  EXPECT_EQ(request.body, c.body);
  EXPECT_EQ(request.Header("Accept").value_or(""), "text/html, */*");
  EXPECT_EQ(request.Header("User-Agent").value_or(""), winhttp::kDefaultAgent);
  EXPECT_EQ(request.Header("Referer").value_or(""), "http://referer.example/");
}

constexpr const char* kForm = "application/x-www-form-urlencoded";

INSTANTIATE_TEST_SUITE_P(
    Request, MethodTest,
    testing::Values(MethodCase{"AutoWithoutData", winhttp::rmAutoDetect, "", "GET", "", ""},
                    MethodCase{"AutoWithData", winhttp::rmAutoDetect, "a=1&b=2", "POST", kForm,
                               "a=1&b=2"},
                    MethodCase{"PostWithoutData", winhttp::rmPOST, "", "POST", kForm, ""},
                    MethodCase{"GetIgnoresData", winhttp::rmGET, "a=1", "GET", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScriptedRequest, RealmWithoutQuotedValueIsPassedWhole) {
  server_.SetRoutes(
      {{.path = "/neg", .steps = {Respond(401, {"WWW-Authenticate: Negotiate"}, "no")}}});
  std::string realm;
  http_->OnPasswordRequest =
      TWinHTTPPasswordRequestEvent([&](vcl::TObject*, const std::string& r, bool& try_again) {
        realm = r;
        try_again = false;
      });
  EXPECT_EQ(Fetch(server_.Url("/neg")), (Events{"OnHTTPError 401 memory(2)", "OnAnyError"}));
  EXPECT_EQ(realm, "Negotiate");
}

// ---- uploads

TEST_F(ScriptedRequest, UploadSendsTheBodyWithItsHeadersAndReportsProgress) {
  const std::string body = PatternBytes(0, 10000);
  std::vector<std::int32_t> progress;
  http_->TransferBufferSize = 4096;
  http_->OnUploadProgress =
      winhttp::TWinHTTPUploadProgressEvent([&](vcl::TObject*, std::int32_t size, std::int32_t sent,
                                               std::int32_t, std::int32_t, std::uint8_t, float) {
        EXPECT_EQ(size, 10000);
        progress.push_back(sent);
      });
  vcl::TMemoryStream stream;
  stream.WriteBuffer(body.data(), static_cast<std::int64_t>(body.size()));  // position at the end
  http_->URL = server_.Url("/upload");
  EXPECT_TRUE(http_->Upload(stream, "Content-Type: application/octet-stream\r\nX-Up: 1", true));
  EXPECT_EQ(recorder_.Entries(), (Events{"OnDone text/plain 2 memory(2)"}));
  EXPECT_EQ(progress, (std::vector<std::int32_t>{4096, 8192, 10000}));
  const testsupport::RecordedRequest request = LastRequest();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.body, body);
  EXPECT_EQ(request.Header("X-Up").value_or(""), "1");
  EXPECT_EQ(request.Header("Content-Type").value_or(""), "application/octet-stream");
  // The upload flag belongs to that run only: the next Read is a plain GET.
  recorder_.Clear();
  EXPECT_TRUE(http_->Read(true));
  EXPECT_EQ(LastRequest().method, "GET");
}

TEST_F(ScriptedRequest, UploadIsRefusedWhileATransferRuns) {
  server_.SetRoutes({{.steps = {testsupport::Sleep(300ms), Respond(200, {}, "ok")}}});
  http_->URL = server_.Url("/slow");
  ASSERT_TRUE(http_->Read(false));
  vcl::TMemoryStream stream;
  EXPECT_FALSE(http_->Upload(stream, "", false));
  AwaitEnd();
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].method, "GET");
}

TEST_F(ScriptedRequest, UploadAnsweredWithAChallengeIsSentAgainWholeWithProgressFromZero) {
  server_.SetRoutes({{.path = "/upload",
                      .steps = {Respond(200, {"Content-Type: text/plain"}, "stored")},
                      .auth_scheme = "basic",
                      .user = "u",
                      .password = "p"}});
  const std::string body = PatternBytes(0, 9000);
  std::vector<std::int32_t> progress;
  http_->OnUploadProgress = winhttp::TWinHTTPUploadProgressEvent(
      [&](vcl::TObject*, std::int32_t, std::int32_t sent, std::int32_t, std::int32_t, std::uint8_t,
          float) { progress.push_back(sent); });
  vcl::TMemoryStream stream;
  stream.WriteBuffer(body.data(), static_cast<std::int64_t>(body.size()));
  http_->URL = "http://u:p@127.0.0.1:" + std::to_string(server_.port()) + "/upload";
  EXPECT_TRUE(http_->Upload(stream, "Content-Type: application/octet-stream", true));
  EXPECT_EQ(recorder_.Entries(), (Events{"OnDone text/plain 6 memory(6)"}));
  EXPECT_EQ(progress, (std::vector<std::int32_t>{4096, 8192, 9000, 4096, 8192, 9000}));
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_FALSE(requests[0].Header("Authorization").has_value());
  EXPECT_TRUE(requests[1].Header("Authorization").has_value());
  EXPECT_EQ(requests[1].body, body);
}

// ---- 416: the range the server can't satisfy

TEST_F(NginxRequest, RangeNotSatisfiableWithACompleteLocalCopyTransfersNothing) {
  EXPECT_EQ(Fetch(nginx_.Url("/data.bin"), 1000), (Events{"OnAnyError", "OnOutputFileError"}));
}

TEST_F(NginxRequest, RangeNotSatisfiableBeyondTheEntityStartsOverFromByteZero) {
  EXPECT_EQ(Fetch(nginx_.Url("/data.bin"), 5000),
            (Events{"OnDone application/octet-stream 1000 memory(1000)"}));
  EXPECT_EQ(recorder_.body, PatternBytes(0, 1000));
}

TEST_F(NginxRequest, RangeNotSatisfiableFromTheRangeObjectIsAnOrdinaryError) {
  http_->Range()->StartRange = 5000;
  const Events events = Fetch(nginx_.Url("/data.bin"));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].rfind("OnHTTPError 416 memory(", 0), 0u) << events[0];
}

// ---- 407: the proxy's request for credentials

class ProxyRequest : public NginxRequest {
 protected:
  ProxyRequest() {
    http_->Proxy()->AccessType = winhttp::atUseProxy;
    http_->Proxy()->ProxyServer = "127.0.0.1";
    http_->Proxy()->ProxyPort = proxy_.port();
    http_->Proxy()->ProxyBypass = "";  // the default bypasses 127.0.0.1
  }
  testsupport::TinyProxy proxy_{{.auth = testsupport::ProxyOptions::Auth::kBasic}};
};

TEST_F(ProxyRequest, ProxyAuthenticationAnsweredWithTryAgainSendsTheRequestAgain) {
  int asked = 0;
  http_->OnProxyAuthenticationRequest = TWinHTTPProxyAuthenticationEvent(
      [&](vcl::TObject*, std::string& user, std::string& password, bool& try_again) {
        ++asked;
        EXPECT_EQ(user, "");
        user = "proxyuser";
        password = "proxypass";
        try_again = true;
      });
  EXPECT_EQ(Fetch(nginx_.Url("/hello.txt")), (Events{"OnDone text/plain 5 memory(5)"}));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(http_->Proxy()->ProxyUsername, "proxyuser");
}

TEST_F(ProxyRequest, ProxyAuthenticationWithoutTryAgainAcceptsThe407) {
  http_->OnProxyAuthenticationRequest = TWinHTTPProxyAuthenticationEvent(
      [&](vcl::TObject*, std::string&, std::string&, bool& try_again) { try_again = false; });
  const Events events = Fetch(nginx_.Url("/hello.txt"));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].rfind("OnHTTPError 407 memory(", 0), 0u) << events[0];
}

TEST_F(ProxyRequest, KnownProxyCredentialsGoWithTheFirstRequest) {
  http_->Proxy()->ProxyUsername = "proxyuser";
  http_->Proxy()->ProxyPassword = "proxypass";
  int asked = 0;
  http_->OnProxyAuthenticationRequest = TWinHTTPProxyAuthenticationEvent(
      [&](vcl::TObject*, std::string&, std::string&, bool&) { ++asked; });
  EXPECT_EQ(Fetch(nginx_.Url("/hello.txt")), (Events{"OnDone text/plain 5 memory(5)"}));
  EXPECT_EQ(asked, 0);
}

// ---- "file" URLs

TEST_F(TransferTest, FileUrlsReadTheLocalFile) {
  const std::string path = dir_.Write("local.bin", PatternBytes(0, 10000));
  EXPECT_EQ(Fetch("file://" + path), (Events{"OnDone  10000 memory(10000)"}));
  EXPECT_EQ(recorder_.body, PatternBytes(0, 10000));
  // From a start position the announced length is the remainder, so the run is complete.
  EXPECT_EQ(Fetch("file://" + path, 4000), (Events{"OnDone  10000 memory(6000)"}));
  EXPECT_EQ(recorder_.body, PatternBytes(4000, 6000));
  EXPECT_EQ(Fetch("file://" + dir_.File("missing.bin")),
            (Events{"OnHTTPError 404 memory(0)", "OnAnyError"}));
}

TEST_F(TransferTest, FileUrlIntoAnOutputFile) {
  const std::string path = dir_.Write("local.bin", PatternBytes(0, 5000));
  http_->OutputFileName = dir_.File("copy.bin");
  EXPECT_EQ(Fetch("file://" + path), (Events{"OnDone  5000 none"}));
  EXPECT_EQ(testsupport::ReadFile(http_->OutputFileName), PatternBytes(0, 5000));
  // A local file announces its length, so an output file that can't be opened is a failure
  // of its own, not a silent switch to memory.
  http_->OutputFileName = dir_.File("no/such/folder/copy.bin");
  EXPECT_EQ(Fetch("file://" + path), (Events{"OnAnyError", "OnOutputFileError"}));
}

// ---- failures before any response

TEST_F(TransferTest, NoConnectionEndsInHostUnreachable) {
  const Events unreachable{"OnHostUnreachable", "OnAnyError"};
  EXPECT_EQ(Fetch("http:///no-host"), unreachable);  // nothing to connect to
  EXPECT_EQ(Fetch("http://127.0.0.1:" + std::to_string(testsupport::PickFreePort()) + "/"),
            unreachable);  // refused
}

TEST_F(TransferTest, TlsFailureEndsInHostUnreachable) {
  inet::ClearTrustedCertificateAuthorities();
  const testsupport::TestCertificates& certificates = testsupport::TestCertificates::Shared();
  testsupport::NginxOptions options;
  options.tls = certificates.valid();
  testsupport::NginxServer tls(options);
  tls.WriteFile("hello.txt", "hello");
  EXPECT_EQ(Fetch(tls.Url("/hello.txt")), (Events{"OnHostUnreachable", "OnAnyError"}));
  // The same server is fine once its issuer is trusted, or the unknown issuer forgiven.
  http_->InternetOptions.Include(winhttp::ioIgnoreUnknownCertificateAuthority);
  EXPECT_EQ(Fetch(tls.Url("/hello.txt")), (Events{"OnDone text/plain 5 memory(5)"}));
}

}  // namespace
}  // namespace e2e
