// Shared fixture of the end-to-end transfer tests: a real TWinHTTP against real loopback servers,
// every event recorded in order (with what its stream held), and bounded waits that keep the main
// thread's message loop running, as the program's own loop would.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "testsupport/message_pump.h"
#include "testsupport/servers.h"
#include "user/message_wait.h"
#include "vcl/application.h"
#include "vcl/component.h"
#include "vcl/streams.h"
#include "winhttp/win_http.h"

namespace e2e {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testsupport::PumpFor;
using testsupport::PumpUntil;
using Events = std::vector<std::string>;

// What a stream handed to an event holds from its position on.
inline std::string Content(vcl::TStream* stream) {
  if (stream == nullptr) return {};
  const std::int64_t start = stream->Position();
  std::string content(static_cast<std::size_t>(stream->Size() - start), '\0');
  stream->Read(content.data(), static_cast<std::int64_t>(content.size()));
  stream->SetPosition(start);
  return content;
}

// "none", or the stream's kind and size.
inline std::string Describe(vcl::TStream* stream) {
  if (stream == nullptr) return "none";
  const char* kind = dynamic_cast<vcl::TMemoryStream*>(stream) != nullptr ? "memory" : "file";
  return std::string(kind) + "(" + std::to_string(stream->Size()) + ")";
}

// The event log. The end events and the questions are logged in full; progress events only
// counted (there may be thousands), with the last one's figures kept.
class Recorder {
 public:
  void Attach(winhttp::TWinHTTP& http) {
    using namespace winhttp;
    http.OnDone = TWinHTTPDoneEvent(
        [this](vcl::TObject*, const std::string& type, std::int32_t size, vcl::TStream* s) {
          body = Content(s);
          Add("OnDone " + type + " " + std::to_string(size) + " " + Describe(s));
        });
    http.OnConnLost = TWinHTTPConnLostEvent([this](vcl::TObject*, const std::string&,
                                                   std::int32_t size, std::int32_t read,
                                                   vcl::TStream* s) {
      body = Content(s);
      Add("OnConnLost " + std::to_string(size) + " " + std::to_string(read) + " " + Describe(s));
    });
    http.OnHTTPError =
        TWinHTTPErrorEvent([this](vcl::TObject*, std::int32_t code, vcl::TStream* s) {
          body = Content(s);
          Add("OnHTTPError " + std::to_string(code) + " " + Describe(s));
        });
    const auto notify = [this](const char* name) {
      return TNotifyEvent([this, name](vcl::TObject*) { Add(name); });
    };
    http.OnDoneInterrupted = notify("OnDoneInterrupted");
    http.OnHostUnreachable = notify("OnHostUnreachable");
    http.OnUploadCGITimeoutFailed = notify("OnUploadCGITimeoutFailed");
    http.OnOutputFileError = notify("OnOutputFileError");
    http.OnAnyError = notify("OnAnyError");
    http.OnAborted = notify("OnAborted");
  }

  void Add(const std::string& entry) {
    std::lock_guard guard(mutex_);
    events_.push_back(entry);
  }
  Events Entries() const {
    std::lock_guard guard(mutex_);
    return events_;
  }
  bool Has(const std::string& entry) const {
    std::lock_guard guard(mutex_);
    for (const std::string& e : events_)
      if (e == entry) return true;
    return false;
  }
  void Clear() {
    std::lock_guard guard(mutex_);
    events_.clear();
    body.clear();
  }

  std::string body;  // the content of the last end event's stream (main thread)

 private:
  mutable std::mutex mutex_;
  Events events_;
};

class TransferTest : public testing::Test {
 protected:
  TransferTest() {
    owner_ = vcl::MakeComponent<vcl::TComponent>();
    http_ = new winhttp::TWinHTTP(owner_.get());
    http_->Proxy()->AccessType = winhttp::atDirect;  // never the environment's proxy
    recorder_.Attach(*http_);
  }
  ~TransferTest() override { owner_.reset(); }

  // A whole transfer of `url` (Read with a wait); the events it fired.
  Events Fetch(const std::string& url, std::uint32_t start = 0, std::uint32_t end = 0) {
    recorder_.Clear();
    http_->URL = url;
    EXPECT_TRUE(http_->Read(start, end, true));
    return recorder_.Entries();
  }
  // Waits for an event that ends the transfer; the events so far.
  Events AwaitEnd() {
    // Busy may still be false right after Read(false), before the worker has begun: wait for an
    // event first. A stop seen by the worker leaves Busy true, so OnAborted ends the wait.
    EXPECT_TRUE(PumpUntil([&] {
      return !recorder_.Entries().empty() && (!http_->Busy() || recorder_.Has("OnAborted"));
    }));
    return recorder_.Entries();
  }

  testsupport::TempDir dir_{"winhttp-e2e"};
  vcl::ComponentPtr<vcl::TComponent> owner_;
  winhttp::TWinHTTP* http_;
  Recorder recorder_;
};

}  // namespace e2e
