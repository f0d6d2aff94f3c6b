// The transfer component's settings: defaults of a component created in code and of one loaded
// from a form file, the storage rules through save/load round trips, LInfo in form files, the
// sub-object properties, and the status callback.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "inet/wininet.h"
#include "vcl/exceptions.h"
#include "vcl/form_file.h"
#include "vcl/properties.h"
#include "winhttp/win_http.h"

namespace {

using namespace winhttp;

// The form a TWinHTTP sits on, with handlers that a form file may name.
class TTestForm : public vcl::TComponent {
 public:
  VCL_CLASS(TTestForm)
  explicit TTestForm(vcl::TComponent* owner) : vcl::TComponent(owner) {}
  void WinHTTP1Done(vcl::TObject*, const std::string&, std::int32_t, vcl::TStream*) {}
  void WinHTTP1AnyError(vcl::TObject*) {}
  void WinHTTP1UploadFieldRequest(vcl::TObject*, std::uint16_t, vcl::TMemoryStream*, std::string&,
                                  std::string&) {}
};

const vcl::ClassInfo& TTestForm::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TTestForm, vcl::TComponent>("TTestForm", [](auto& t) {
        t.Method("WinHTTP1Done", &TTestForm::WinHTTP1Done);
        t.Method("WinHTTP1AnyError", &TTestForm::WinHTTP1AnyError);
        t.Method("WinHTTP1UploadFieldRequest", &TTestForm::WinHTTP1UploadFieldRequest);
      });
  return info;
}

class ComponentTest : public testing::Test {
 protected:
  ComponentTest() {
    RegisterWinHTTP();
    vcl::RegisterClass<TTestForm>();
    form_ = vcl::MakeComponent<TTestForm>();
    form_->SetName("Form1");
    http_ = new TWinHTTP(form_.get());
    http_->SetName("WinHTTP1");
  }

  // Saves form_ and loads the text into a fresh form, which creates its TWinHTTP from the
  // registry. Returns the loaded component (owned by loaded_).
  TWinHTTP& SaveAndLoad() {
    text_ = vcl::WriteForm(*form_);
    loaded_ = vcl::MakeComponent<TTestForm>();
    vcl::ReadForm(*loaded_, text_);
    auto* loaded = dynamic_cast<TWinHTTP*>(loaded_->FindComponent("WinHTTP1"));
    if (loaded == nullptr) throw std::runtime_error("no WinHTTP1 in\n" + text_);
    return *loaded;
  }
  bool Saved(const std::string& fragment) const {
    return text_.find(fragment) != std::string::npos;
  }

  vcl::ComponentPtr<TTestForm> form_;
  TWinHTTP* http_;
  vcl::ComponentPtr<TTestForm> loaded_;
  std::string text_;
};

void ExpectDefaults(const TWinHTTP& c) {
  EXPECT_EQ(c.AcceptTypes, "text/html, */*");
  EXPECT_EQ(c.Agent, "WinHTTP component/1.0");
  EXPECT_EQ(c.TransferBufferSize.Value(), 4096);
  EXPECT_EQ(c.CacheOptions, (TCacheOptions{coReloadIfNoExpireInformation, coReloadUpdatedObjects,
                                           coCreateTempFilesIfCantCache}));
  EXPECT_EQ(c.InternetOptions, (TInternetOptions{ioKeepConnection}));
  EXPECT_EQ(c.RequestMethod, rmAutoDetect);
  EXPECT_EQ(c.ThreadPriority(), winthread::tpNormal);
  EXPECT_FALSE(c.WaitThread());
  EXPECT_EQ(c.WaitTimeout(), 0);
  EXPECT_EQ(c.Proxy()->AccessType, atPreconfig);
  EXPECT_EQ(c.Proxy()->ProxyPort, 8080);
  EXPECT_EQ(c.Proxy()->ProxyBypass, "127.0.0.1;");
  EXPECT_EQ(c.Proxy()->ProxyServer + c.Proxy()->ProxyUsername + c.Proxy()->ProxyPassword, "");
  EXPECT_EQ(c.Range()->StartRange + c.Range()->EndRange, 0u);
  EXPECT_EQ(c.Timeouts()->ConnectTimeout + c.Timeouts()->ReceiveTimeout + c.Timeouts()->SendTimeout,
            0u);
  EXPECT_EQ(c.OutputFileAttributes()->Complete(), (TWinHTTPFileAttributes{atrArchive}));
  EXPECT_EQ(c.OutputFileAttributes()->Incomplete(),
            (TWinHTTPFileAttributes{atrArchive, atrTemporary}));
  EXPECT_TRUE(c.AddHeaders()->Empty());
  EXPECT_EQ(c.URL + c.OutputFileName + c.POSTData + c.Referer + c.Username + c.Password, "");
  EXPECT_FALSE(c.ShowGoOnlineMessage);
  EXPECT_FALSE(c.WorkOffline);
  EXPECT_FALSE(c.OnDone.Assigned() || c.OnAnyError.Assigned() || c.OnStatus.Assigned() ||
               c.OnWaitTimeoutExpired.Assigned());
  EXPECT_FALSE(c.Busy());
}

TEST_F(ComponentTest, DefaultsInCodeAndFromAFormThatStoresNothing) {
  ExpectDefaults(*http_);
  auto form = vcl::MakeComponent<TTestForm>();
  vcl::ReadForm(*form, "object Form1: TTestForm\n  object WinHTTP1: TWinHTTP\n  end\nend\n");
  auto* loaded = dynamic_cast<TWinHTTP*>(form->FindComponent("WinHTTP1"));
  ASSERT_NE(loaded, nullptr);
  ExpectDefaults(*loaded);
}

TEST_F(ComponentTest, ADefaultComponentSavesOnlyTheAlwaysStoredSettings) {
  SaveAndLoad();
  // Line starts inside the component's object.
  for (const char* absent : {"AcceptTypes",
                             "CacheOptions",
                             "InternetOptions",
                             "Proxy.AccessType",
                             "Proxy.ProxyPort",
                             "Proxy.ProxyServer",
                             "Proxy.ProxyBypass",
                             "ShowGoOnlineMessage",
                             "RequestMethod",
                             "ThreadPriority",
                             "TransferBufferSize",
                             "WaitThread",
                             "WaitTimeout",
                             "WorkOffline",
                             "Range.",
                             "Timeouts.",
                             "OutputFileAttributes.",
                             "LInfo",
                             "Username",
                             "Password",
                             "On"}) {
    EXPECT_FALSE(Saved(std::string("\n    ") + absent)) << absent << " in\n" << text_;
  }
  for (const char* present : {"Agent = 'WinHTTP component/1.0'", "URL = ''",
                              "Proxy.ProxyUsername = ''", "OutputFileName = ''"}) {
    EXPECT_TRUE(Saved(present)) << present << " not in\n" << text_;
  }
}

TEST_F(ComponentTest, EveryStoredValueSurvivesARoundTrip) {
  http_->AcceptTypes = "image/png";
  http_->AddHeaders()->Add("X-A: 1");
  http_->AddHeaders()->Add("X-B: 2");
  http_->Agent = "Agent/2.0";
  http_->Proxy()->AccessType = atUseProxy;
  http_->Proxy()->ProxyPort = 3128;
  http_->Proxy()->ProxyServer = "proxy.local";
  http_->Proxy()->ProxyBypass = "";
  http_->Proxy()->ProxyUsername = "pu";
  http_->Proxy()->ProxyPassword = "pp";
  http_->URL = "example.test/downloads/a.exe";
  http_->Username = "user";
  http_->Password = "secret";
  http_->CacheOptions = {coAlwaysReload, coUseCacheIfNetFail};
  http_->InternetOptions = {};
  http_->OutputFileName = "/tmp/out.bin";
  http_->OutputFileAttributes()->SetComplete({atrReadOnly});
  http_->OutputFileAttributes()->SetIncomplete({atrArchive});
  http_->POSTData = "a=1&b=2";
  http_->Range()->StartRange = 100;
  http_->Range()->EndRange = 4000000000u;
  http_->Referer = "http://ref/";
  http_->ShowGoOnlineMessage = true;
  http_->RequestMethod = rmPOST;
  http_->Timeouts()->ConnectTimeout = 1;
  http_->Timeouts()->ReceiveTimeout = 2;
  http_->Timeouts()->SendTimeout = 3;
  http_->SetThreadPriority(winthread::tpLower);
  http_->TransferBufferSize = 255;
  http_->SetWaitThread(true);
  http_->SetWaitTimeout(-5);
  http_->WorkOffline = true;
  http_->OnDone = TWinHTTPDoneEvent::Bind(form_.get(), &TTestForm::WinHTTP1Done, "WinHTTP1Done");
  http_->OnUploadFieldRequest = TWinHTTPUploadFieldRequest::Bind(
      form_.get(), &TTestForm::WinHTTP1UploadFieldRequest, "WinHTTP1UploadFieldRequest");

  const TWinHTTP& c = SaveAndLoad();
  EXPECT_FALSE(Saved("secret")) << "the password is stored only scrambled";
  EXPECT_EQ(c.AcceptTypes, "image/png");
  EXPECT_EQ(c.AddHeaders()->Text(), "X-A: 1\r\nX-B: 2\r\n");
  EXPECT_EQ(c.Agent, "Agent/2.0");
  EXPECT_EQ(c.Proxy()->AccessType, atUseProxy);
  EXPECT_EQ(c.Proxy()->ProxyPort, 3128);
  EXPECT_EQ(c.Proxy()->ProxyServer, "proxy.local");
  EXPECT_EQ(c.Proxy()->ProxyBypass, "");
  EXPECT_EQ(c.Proxy()->ProxyUsername, "pu");
  EXPECT_EQ(c.Proxy()->ProxyPassword, "pp");
  EXPECT_EQ(c.URL, "example.test/downloads/a.exe");
  EXPECT_EQ(c.Username, "user");
  EXPECT_EQ(c.Password, "secret");
  EXPECT_EQ(c.CacheOptions, (TCacheOptions{coAlwaysReload, coUseCacheIfNetFail}));
  EXPECT_EQ(c.InternetOptions, TInternetOptions{});
  EXPECT_EQ(c.OutputFileName, "/tmp/out.bin");
  EXPECT_EQ(c.OutputFileAttributes()->Complete(), (TWinHTTPFileAttributes{atrReadOnly}));
  EXPECT_EQ(c.OutputFileAttributes()->Incomplete(), (TWinHTTPFileAttributes{atrArchive}));
  EXPECT_EQ(c.POSTData, "a=1&b=2");
  EXPECT_EQ(c.Range()->StartRange, 100u);
  EXPECT_EQ(c.Range()->EndRange, 4000000000u);
  EXPECT_EQ(c.Referer, "http://ref/");
  EXPECT_TRUE(c.ShowGoOnlineMessage);
  EXPECT_EQ(c.RequestMethod, rmPOST);
  EXPECT_EQ(c.Timeouts()->ConnectTimeout, 1u);
  EXPECT_EQ(c.Timeouts()->ReceiveTimeout, 2u);
  EXPECT_EQ(c.Timeouts()->SendTimeout, 3u);
  EXPECT_EQ(c.ThreadPriority(), winthread::tpLower);
  EXPECT_EQ(c.TransferBufferSize.Value(), 255);
  EXPECT_TRUE(c.WaitThread());
  EXPECT_EQ(c.WaitTimeout(), -5);
  EXPECT_TRUE(c.WorkOffline);
  EXPECT_EQ(c.OnDone.HandlerName(), "WinHTTP1Done");
  EXPECT_EQ(c.OnUploadFieldRequest.HandlerName(), "WinHTTP1UploadFieldRequest");
  EXPECT_FALSE(c.OnAnyError.Assigned());
}

TEST_F(ComponentTest, PublishedPropertiesAreSavedInDeclarationOrderThenLInfo) {
  http_->AcceptTypes = "x";
  http_->Username = "u";
  http_->SetWaitTimeout(1);
  http_->OnWaitTimeoutExpired = TWinThreadWaitTimeoutExpired([](vcl::TObject*, bool&) {}, "X");
  http_->SetDesignPosition(8, 16);
  text_ = vcl::WriteForm(*form_);
  std::vector<std::size_t> positions;
  for (const char* name : {"AcceptTypes", "Agent", "URL", "OutputFileName", "POSTData",
                           "WaitTimeout", "OnWaitTimeoutExpired", "Left", "Top", "LInfo"})
    positions.push_back(text_.find(std::string(name) + " ="));
  for (std::size_t i = 0; i < positions.size(); ++i) {
    ASSERT_NE(positions[i], std::string::npos) << i << "\n" << text_;
    if (i > 0) {
      EXPECT_LT(positions[i - 1], positions[i]) << text_;
    }
  }
}

TEST_F(ComponentTest, ProxyServerAndBypassAreStoredOnlyWhileAProxyIsUsed) {
  struct Case {
    TWinHTTPAccessType access;
    bool stored;
  };
  for (const Case& c : {Case{atPreconfig, false}, Case{atDirect, false}, Case{atUseProxy, true}}) {
    SCOPED_TRACE(kAccessTypeNames[c.access]);
    http_->Proxy()->AccessType = c.access;
    http_->Proxy()->ProxyServer = "proxy.local";
    http_->Proxy()->ProxyBypass = "*.local";
    const TWinHTTP& loaded = SaveAndLoad();
    EXPECT_EQ(Saved("ProxyServer"), c.stored) << text_;
    EXPECT_EQ(Saved("ProxyBypass"), c.stored) << text_;
    EXPECT_EQ(loaded.Proxy()->AccessType, c.access);
    EXPECT_EQ(loaded.Proxy()->ProxyServer, c.stored ? "proxy.local" : "");
    EXPECT_EQ(loaded.Proxy()->ProxyBypass, c.stored ? "*.local" : "127.0.0.1;");
  }
}

TEST_F(ComponentTest, AcceptTypesIsStoredOnlyWhenItDiffersFromTheDefault) {
  for (const std::string value : {"text/html, */*", "text/html,*/*", ""}) {
    SCOPED_TRACE(value);
    http_->AcceptTypes = value;
    EXPECT_EQ(SaveAndLoad().AcceptTypes, value);
    EXPECT_EQ(Saved("AcceptTypes"), value != "text/html, */*");
  }
}

TEST_F(ComponentTest, LoginInfoRoundTrips) {
  struct Case {
    std::string user;
    std::string password;
  };
  for (const Case& c : {Case{"", ""}, Case{"", "only password"}, Case{"only user", ""},
                        Case{"user", "pass"}, Case{std::string(63, 'u'), std::string(63, 'p')}}) {
    SCOPED_TRACE(c.user + "/" + c.password);
    http_->Username = c.user;
    http_->Password = c.password;
    const TWinHTTP& loaded = SaveAndLoad();
    EXPECT_EQ(Saved("LInfo"), !(c.user.empty() && c.password.empty())) << text_;
    EXPECT_EQ(loaded.Username, c.user);
    EXPECT_EQ(loaded.Password, c.password);
  }
  http_->Username = std::string(64, 'u');
  http_->Password = std::string(63, 'p');
  EXPECT_THROW(vcl::WriteForm(*form_), vcl::EWriteError);  // never a record over the limit
}

TEST_F(ComponentTest, ABadFormIsRefusedNamingTheLineAndPropertyAndChangesNothing) {
  struct Case {
    const char* line;
    const char* message;
  };
  for (const Case& c : {
           Case{"TransferBufferSize = 254",
                "property WinHTTP1.TransferBufferSize: TBufferSize 254 is out of range"},
           Case{"TransferBufferSize = 0", "TBufferSize 0 is out of range (255..2147483647)"},
           Case{"LInfo = {80}", "property WinHTTP1.LInfo: Invalid LInfo record"},
           Case{"CacheOptions = [coNothing]", "property WinHTTP1.CacheOptions"},
           Case{"Proxy.AccessType = atSomewhere", "property WinHTTP1.Proxy.AccessType"},
       }) {
    SCOPED_TRACE(c.line);
    const std::string text = std::string("object Form1: TTestForm\n") +
                             "  object WinHTTP1: TWinHTTP\n" + "    URL = 'changed'\n" + "    " +
                             c.line + "\n" + "  end\n" + "end\n";
    http_->URL = "kept";
    try {
      vcl::ReadForm(*form_, text);
      FAIL() << "accepted";
    } catch (const vcl::EReadError& e) {
      EXPECT_NE(std::string(e.what()).find("line 4"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(http_->URL, "kept");
    EXPECT_EQ(http_->TransferBufferSize.Value(), 4096);
  }
}

TEST_F(ComponentTest, AFormFileFillsTheExistingSubObjectsAndLists) {
  TWinHTTPProxy* proxy = http_->Proxy();
  vcl::TStrings* headers = http_->AddHeaders();
  vcl::ReadForm(*form_,
                "object Form1: TTestForm\n"
                "  object WinHTTP1: TWinHTTP\n"
                "    AddHeaders.Strings = (\n"
                "      'X-A: 1'\n"
                "      'X-B: 2')\n"
                "    Proxy.AccessType = atDirect\n"
                "    Range.StartRange = 7\n"
                "    OutputFileAttributes.Complete = [atrArchive, atrReadOnly]\n"
                "    OnAnyError = WinHTTP1AnyError\n"
                "  end\n"
                "end\n");
  EXPECT_EQ(http_->Proxy(), proxy);
  EXPECT_EQ(http_->AddHeaders(), headers);
  EXPECT_EQ(headers->Count(), 2);
  EXPECT_EQ(proxy->AccessType, atDirect);
  EXPECT_EQ(http_->Range()->StartRange, 7u);
  EXPECT_EQ(http_->OutputFileAttributes()->Complete(),
            (TWinHTTPFileAttributes{atrArchive, atrReadOnly}));
  EXPECT_EQ(http_->OnAnyError.HandlerName(), "WinHTTP1AnyError");
}

TEST_F(ComponentTest, WritingASubObjectCopiesItsSettings) {
  TWinHTTPProxy proxy;
  proxy.AccessType = atUseProxy;
  proxy.ProxyServer = "p";
  TWinHTTPRange range;
  range.EndRange = 9;
  TWinHTTPTimeouts timeouts;
  timeouts.SendTimeout = 5;
  TWinHTTPOutputFileAttributes attributes;
  attributes.SetIncomplete({atrHidden});
  vcl::TStringList headers({"X: 1"});

  TWinHTTPProxy* own_proxy = http_->Proxy();
  http_->SetProxy(&proxy);
  http_->SetRange(&range);
  http_->SetTimeouts(&timeouts);
  http_->SetOutputFileAttributes(&attributes);
  http_->SetAddHeaders(&headers);
  proxy.ProxyServer = "changed later";
  EXPECT_EQ(http_->Proxy(), own_proxy);
  EXPECT_EQ(http_->Proxy()->ProxyServer, "p");
  EXPECT_EQ(http_->Proxy()->AccessType, atUseProxy);
  EXPECT_EQ(http_->Range()->EndRange, 9u);
  EXPECT_EQ(http_->Timeouts()->SendTimeout, 5u);
  EXPECT_EQ(http_->OutputFileAttributes()->Incomplete(), (TWinHTTPFileAttributes{atrHidden}));
  EXPECT_EQ(http_->AddHeaders()->Text(), "X: 1\r\n");

  http_->SetProxy(nullptr);
  EXPECT_EQ(http_->Proxy()->ProxyServer, "");
  EXPECT_EQ(http_->Proxy()->ProxyBypass, "127.0.0.1;");
}

TEST_F(ComponentTest, SettingsBackedByTheWorkerThreadComponent) {
  http_->SetThreadPriority(winthread::tpHigher);
  http_->SetWaitThread(true);
  http_->SetWaitTimeout(500);
  EXPECT_EQ(http_->ThreadPriority(), winthread::tpHigher);
  EXPECT_TRUE(http_->WaitThread());
  EXPECT_EQ(http_->WaitTimeout(), 500);
  EXPECT_THROW(http_->TransferBufferSize = 100, vcl::ERangeError);
  EXPECT_EQ(http_->TransferBufferSize.Value(), 4096);
}

// ---- the status callback

class StatusProbe : public TWinHTTP {
 public:
  using TWinHTTP::TWinHTTP;
  std::uintptr_t Context() { return StatusContext(); }
};

TEST(StatusCallbackTest, StatusTextsAndRedirects) {
  auto http = vcl::MakeComponent<StatusProbe>();
  std::vector<std::string> log;
  const auto context = http->Context();
  char redirect[] = "http://new.test/path";  // with its NUL: the length counts it

  // Unassigned: a redirect still reaches OnRedirected.
  http->OnRedirected = TWinHTTPRedirected([&](vcl::TObject* sender, const std::string& url) {
    EXPECT_EQ(sender, http.get());
    log.push_back("redirected " + url);
  });
  StatusCallback(nullptr, context, inet::INTERNET_STATUS_REDIRECT, redirect, sizeof redirect);
  EXPECT_EQ(log, (std::vector<std::string>{"redirected http://new.test/path"}));

  log.clear();
  http->OnStatus =
      TWinHTTPStatusEvent([&](vcl::TObject* sender, std::uint32_t status, const std::string& text) {
        EXPECT_EQ(sender, http.get());
        log.push_back(std::to_string(status) + " " + text);
      });
  StatusCallback(nullptr, context, 10, nullptr, 0);
  StatusCallback(nullptr, context, 32, nullptr, 0);
  StatusCallback(nullptr, context, inet::INTERNET_STATUS_REDIRECT, redirect, sizeof redirect);
  StatusCallback(nullptr, context, inet::INTERNET_STATUS_REDIRECT, redirect, 1);
  StatusCallback(nullptr, 0, 10, nullptr, 0);  // no component: nothing
  EXPECT_EQ(log, (std::vector<std::string>{"10 Resolving name", "32 Unknown status", "110 Redirect",
                                           "redirected http://new.test/path", "110 Redirect",
                                           "redirected "}));
}

}  // namespace
