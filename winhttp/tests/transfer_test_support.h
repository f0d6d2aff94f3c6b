// Shared fixture of the transfer control tests: a component whose run is a test body instead of
// the transfer procedure (it leaves a transfer state behind for FinishTransfer, or drives the
// synchronised steps and the stop check), an event log, and bounded waits.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kernel/files.h"
#include "kernel/interrupt.h"
#include "testsupport/message_pump.h"
#include "testsupport/process.h"
#include "user/message_wait.h"
#include "vcl/application.h"
#include "vcl/component.h"
#include "vcl/streams.h"
#include "winhttp/file_stream.h"
#include "winhttp/win_http.h"

namespace transfer_test {

using namespace std::chrono_literals;
using testsupport::PumpFor;
using testsupport::PumpUntil;

// The component with the test's run in place of the transfer procedure and its transfer state
// opened up.
class TestHTTP : public winhttp::TWinHTTP {
 public:
  explicit TestHTTP(vcl::TComponent* owner) : TWinHTTP(owner) {
    WorkerThread->SetOnExecute(vcl::TNotifyEvent::Bind(this, &TestHTTP::Run));
  }
  // The worker runs this object's body: it is parked here, before the body goes. The component's
  // own destructor parks it too, but only once this part of the object is already gone.
  ~TestHTTP() override {
    if (!WorkerThread->Suspended()) WorkerThread->Suspend();
  }

  // The run, on the worker. Set it only while no run is under way (or from an end event).
  std::function<void(TestHTTP&)> body;
  std::atomic<int> runs{0};

  // ---- worker side
  void Progress() {
    WorkerThread->Synchronize(static_cast<TCustomWinHTTP*>(this), &TestHTTP::SyncProgress);
  }
  void Stop() { CheckStop(); }
  // An interruptible pause: a forced end or a suspension takes hold here.
  static void Nap(int ms) {
    user::MsgWaitForMultipleObjects({}, false, static_cast<std::uint32_t>(ms),
                                    user::kQsSendMessage);
    kernel::CheckPoint();
  }
  // Waits (at most 5 s) until `release` is set.
  static void Hold(const std::atomic<bool>& release) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!release.load() && std::chrono::steady_clock::now() < deadline) Nap(2);
  }
  void MemorySink(const std::string& content) {
    auto stream = std::make_unique<vcl::TMemoryStream>();
    stream->WriteBuffer(content.data(), static_cast<std::int64_t>(content.size()));
    DataStream = std::move(stream);
  }
  // The output file as the transfer opens it: created, marked incomplete, written.
  void FileSink(const std::string& content) {
    DataStream = std::make_unique<winhttp::TWinHTTPFileStream>(OutputFileName, true);
    winhttp::ApplyFileAttributes(OutputFileName, OutputFileAttributes()->Incomplete());
    OutputFileOpen = true;
    DataStream->WriteBuffer(content.data(), static_cast<std::int64_t>(content.size()));
  }

  // ---- the transfer state
  using TCustomWinHTTP::BytesTransferred;
  using TCustomWinHTTP::ContentType;
  using TCustomWinHTTP::ContinueDownload;
  using TCustomWinHTTP::DataLength;
  using TCustomWinHTTP::DataStream;
  using TCustomWinHTTP::EndPosition;
  using TCustomWinHTTP::HttpStatus;
  using TCustomWinHTTP::OutputFileOpen;
  using TCustomWinHTTP::Reading;
  using TCustomWinHTTP::StartPosition;
  using TCustomWinHTTP::StartTick;
  using TCustomWinHTTP::Succeeded;
  using TCustomWinHTTP::TransferBuffer;
  using TCustomWinHTTP::TransferRate;
  using TCustomWinHTTP::UploadSent;

 private:
  void Run(vcl::TObject* /*sender*/) {
    ++runs;
    if (body) body(*this);
  }
};

class Log {
 public:
  void Add(const std::string& entry) {
    std::lock_guard guard(mutex_);
    entries_.push_back(entry);
  }
  std::vector<std::string> Entries() const {
    std::lock_guard guard(mutex_);
    return entries_;
  }
  int Count(const std::string& prefix) const {
    std::lock_guard guard(mutex_);
    int n = 0;
    for (const std::string& e : entries_) n += e.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
  void Clear() {
    std::lock_guard guard(mutex_);
    entries_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> entries_;
};

// "none", or the kind of stream and what it holds from its position on.
inline std::string Describe(vcl::TStream* stream) {
  if (stream == nullptr) return "none";
  const char* kind = dynamic_cast<vcl::TMemoryStream*>(stream) != nullptr ? "memory" : "file";
  std::string content(static_cast<std::size_t>(stream->Size() - stream->Position()), '\0');
  stream->Read(content.data(), static_cast<std::int64_t>(content.size()));
  return std::string(kind) + " '" + content + "'";
}

class TransferFixture : public testing::Test {
 protected:
  TransferFixture() : dir_("winhttp-transfer") {
    owner_ = vcl::MakeComponent<vcl::TComponent>();
    http_ = new TestHTTP(owner_.get());
    http_->OutputFileName = dir_.File("out.bin");
    RecordEvents(*http_);
  }
  ~TransferFixture() override { owner_.reset(); }

  // Every event of `http` goes to log_ with its arguments.
  void RecordEvents(TestHTTP& http) {
    using namespace winhttp;
    Log& log = log_;
    http.OnDone = TWinHTTPDoneEvent(
        [&log](vcl::TObject*, const std::string& type, std::int32_t size, vcl::TStream* s) {
          log.Add("OnDone " + type + " " + std::to_string(size) + " " + Describe(s));
        });
    http.OnDoneInterrupted = TNotifyEvent([&log](vcl::TObject*) { log.Add("OnDoneInterrupted"); });
    http.OnConnLost =
        TWinHTTPConnLostEvent([&log](vcl::TObject*, const std::string& type, std::int32_t size,
                                     std::int32_t read, vcl::TStream* s) {
          log.Add("OnConnLost " + type + " " + std::to_string(size) + " " + std::to_string(read) +
                  " " + Describe(s));
        });
    http.OnHTTPError =
        TWinHTTPErrorEvent([&log](vcl::TObject*, std::int32_t code, vcl::TStream* s) {
          log.Add("OnHTTPError " + std::to_string(code) + " " + Describe(s));
        });
    http.OnHostUnreachable = TNotifyEvent([&log](vcl::TObject*) { log.Add("OnHostUnreachable"); });
    http.OnUploadCGITimeoutFailed =
        TNotifyEvent([&log](vcl::TObject*) { log.Add("OnUploadCGITimeoutFailed"); });
    http.OnOutputFileError = TNotifyEvent([&log](vcl::TObject*) { log.Add("OnOutputFileError"); });
    http.OnAnyError = TNotifyEvent([&log](vcl::TObject*) { log.Add("OnAnyError"); });
    http.OnAborted = TNotifyEvent([&log](vcl::TObject*) { log.Add("OnAborted"); });
    http.OnProgress = TWinHTTPProgressEvent(
        [&log](vcl::TObject*, const std::string&, std::int32_t size, std::int32_t read,
               std::int32_t, std::int32_t, std::uint8_t, float, vcl::TStream*) {
          log.Add("OnProgress " + std::to_string(size) + " " + std::to_string(read));
        });
  }

  std::uint32_t FileAttributes() const {
    return kernel::GetFileAttributesA(http_->OutputFileName.c_str());
  }
  std::vector<std::string> Logged() const { return log_.Entries(); }

  testsupport::TempDir dir_;
  vcl::ComponentPtr<vcl::TComponent> owner_;
  TestHTTP* http_;
  Log log_;
};

using Events = std::vector<std::string>;

}  // namespace transfer_test
