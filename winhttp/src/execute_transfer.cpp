// The transfer procedure, run on the worker thread for every Read: the course of one run (start
// values, URL, local file or internet handle, then connection passes and responses until the run
// ends), the wake-up of a blocking call for Abort, and the upload operation that prepares a run.
// The run leaves its results in the transfer state; FinishTransfer turns them into the end events
// on the main thread.
#include <memory>
#include <string>
#include <utility>

#include "inet/wininet.h"
#include "kernel/files.h"
#include "kernel/ticks.h"
#include "transfer_run.h"
#include "vcl/exceptions.h"
#include "winhttp/url.h"
#include "winhttp/win_http.h"

namespace winhttp {

void TCustomWinHTTP::ExecuteTransfer(vcl::TObject* /*sender*/) {
  TransferRun run(*this);
  run.Execute();
}

void TCustomWinHTTP::CancelBlockingCall() noexcept {
  // The worker takes its handle back when the run ends; whichever side comes first wins, so a
  // handle is closed here only while its run is still under way. Closing a handle the worker
  // closes too is harmless: handle values are never reused.
  if (inet::HINTERNET handle = cancel_handle_.exchange(nullptr)) inet::InternetCloseHandle(handle);
}

bool TCustomWinHTTP::Upload(vcl::TStream& body, const std::string& headers, bool wait) {
  if (Reading.load()) return false;
  const std::int64_t size = body.Size();
  if (size > std::int64_t{0xFFFFFFFF})
    throw vcl::ERangeError("Upload body of " + std::to_string(size) +
                           " bytes is too large (at most 4294967295)");
  // The run sends straight from memory, so the caller's stream is copied.
  auto copy = std::make_unique<vcl::TMemoryStream>();
  copy->CopyFrom(body, 0);
  DataStream = std::move(copy);
  UploadHeaders = headers;
  upload_pending_ = true;
  return Read(0, 0, wait);
}

// ---- the run

TCustomWinHTTP::TransferRun::TransferRun(TCustomWinHTTP& http) : http_(http) {}

TCustomWinHTTP::TransferRun::~TransferRun() {
  if (published_handle_ == nullptr) return;
  inet::HINTERNET expected = published_handle_;
  http_.cancel_handle_.compare_exchange_strong(expected, nullptr);
}

void TCustomWinHTTP::TransferRun::Execute() {
  Start();
  SplitTheURL();
  http_.CheckStop();
  if (local_file_) {
    OpenLocalFile();
  } else if (!OpenInternet()) {
    return;
  }
  for (;;) {
    if (!local_file_) {
      const Next pass = ConnectionPass();
      if (pass == Next::kEnd) return;
      if (pass == Next::kRestart) continue;
      if (!ReadResponseHeaders()) return;
    }
    if (ReceiveBody() != Next::kRestart) return;
    RestartFromZero();
  }
}

void TCustomWinHTTP::TransferRun::Start() {
  http_.UploadSent = false;
  http_.HttpStatus = -1;
  http_.ContentType.clear();
  buffer_size_ = static_cast<std::uint32_t>(http_.TransferBufferSize.Value());
  http_.StartTick = kernel::GetTickCount();
  http_.ContinueDownload = true;
}

void TCustomWinHTTP::TransferRun::SplitTheURL() {
  // A URL that can't be split leaves every piece empty and the port 0; the run goes on with them
  // and fails where the platform refuses them.
  SplitURL(http_.URL, scheme_, host_name_, url_path_, user_name_, password_, extra_info_, port_);
  EscapeURL(extra_info_, extra_info_);
  if (user_name_.empty()) user_name_ = http_.Username;
  if (password_.empty()) password_ = http_.Password;
  local_file_ = scheme_ == "file";
}

void TCustomWinHTTP::TransferRun::OpenLocalFile() {
  const kernel::HANDLE file = kernel::CreateFileA(
      url_path_.c_str(), kernel::GENERIC_READ, kernel::FILE_SHARE_READ | kernel::FILE_SHARE_WRITE,
      nullptr, kernel::OPEN_EXISTING, kernel::FILE_ATTRIBUTE_NORMAL, 0);
  if (file == kernel::INVALID_HANDLE_VALUE) {
    http_.HttpStatus = 404;
    http_.DataLength = 0;
    http_.Succeeded = false;  // nothing announced
    return;
  }
  http_.FileHandle = file;
  http_.HttpStatus = 200;
  local_file_size_ = kernel::GetFileSize(file, nullptr);
  // What is announced is what will be read: the remainder from StartPosition on. A local file
  // always announces its length, so the sink choice never depends on an earlier transfer.
  const std::uint32_t start = http_.StartPosition;
  http_.DataLength = local_file_size_ > start ? local_file_size_ - start : 0;
  http_.Succeeded = true;
  if (start != 0)
    kernel::SetFilePointer(file, static_cast<std::int32_t>(start), nullptr, kernel::FILE_BEGIN);
}

bool TCustomWinHTTP::TransferRun::OpenInternet() {
  const TWinHTTPProxy& proxy = *http_.Proxy();
  const std::uint32_t flags = http_.WorkOffline ? inet::INTERNET_FLAG_OFFLINE : 0;
  if (proxy.AccessType == atUseProxy) {
    const std::string server = proxy.ProxyServer + ":" + std::to_string(proxy.ProxyPort);
    http_.InternetHandle =
        inet::InternetOpenA(http_.Agent.c_str(), inet::INTERNET_OPEN_TYPE_PROXY, server.c_str(),
                            proxy.ProxyBypass.empty() ? nullptr : proxy.ProxyBypass.c_str(), flags);
  } else {
    const std::uint32_t access = proxy.AccessType == atDirect ? inet::INTERNET_OPEN_TYPE_DIRECT
                                                              : inet::INTERNET_OPEN_TYPE_PRECONFIG;
    http_.InternetHandle =
        inet::InternetOpenA(http_.Agent.c_str(), access, nullptr, nullptr, flags);
  }
  if (http_.InternetHandle != nullptr) {
    inet::InternetSetStatusCallback(http_.InternetHandle, &StatusCallback);
    // From here on Abort can wake the run's blocking calls by closing this handle.
    published_handle_ = http_.InternetHandle;
    http_.cancel_handle_.store(published_handle_);
  }
  http_.Succeeded = http_.InternetHandle != nullptr;
  return http_.Succeeded;
}

void TCustomWinHTTP::TransferRun::CloseRequestAndConnection() {
  inet::InternetCloseHandle(std::exchange(http_.RequestHandle, nullptr));
  inet::InternetCloseHandle(std::exchange(http_.ConnectionHandle, nullptr));
}

void TCustomWinHTTP::TransferRun::RestartFromZero() {
  // The partial copy is stale, or the server can't give the range: fetch the whole entity once,
  // the way the 416 path does. With StartPosition 0 no comparison follows, so this can't loop.
  http_.StartPosition = 0;
  if (local_file_) {
    http_.DataStream.reset();
    kernel::SetFilePointer(http_.FileHandle, 0, nullptr, kernel::FILE_BEGIN);
    http_.DataLength = local_file_size_;
    return;
  }
  http_.HttpStatus = -1;
  CloseRequestAndConnection();
}

}  // namespace winhttp
