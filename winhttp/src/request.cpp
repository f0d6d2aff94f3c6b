// The first half of the transfer: the connection pass (connection, request, flags, options,
// request headers) and the send pass with its repeats (plain, form POST, upload), the status, and
// the answers to 416, 401 and 407. Also the component's small platform helpers the response half
// shares (QueryHeader, the options, the request headers).
#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string>

#include "inet/wininet.h"
#include "kernel/last_error.h"
#include "transfer_run.h"
#include "vcl/streams.h"
#include "winhttp/win_http.h"

namespace winhttp {
namespace {

// The form header of a POST, passed without a line end.
constexpr std::string_view kFormHeader = "Content-Type: application/x-www-form-urlencoded";
static_assert(kFormHeader.size() == 47);

constexpr std::uint32_t kQueryBufferSize = 4096;

}  // namespace

// ---- pure helpers

std::int32_t HeaderInteger(std::string_view text) noexcept {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return 0;
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return value;
}

std::uint32_t OpenRequestFlags(bool https, TCacheOptions cache_options,
                               TInternetOptions internet_options) noexcept {
  struct Flag {
    bool on;
    std::uint32_t value;
  };
  const std::array<Flag, 16> flags = {{
      {https, inet::INTERNET_FLAG_SECURE},
      // An https request never carries it: no cache file for a secure response.
      {!https && cache_options.Contains(coCreateTempFilesIfCantCache),
       inet::INTERNET_FLAG_NEED_FILE},
      {cache_options.Contains(coAlwaysReload), inet::INTERNET_FLAG_RELOAD},
      {cache_options.Contains(coReloadIfNoExpireInformation), inet::INTERNET_FLAG_HYPERLINK},
      {cache_options.Contains(coReloadUpdatedObjects), inet::INTERNET_FLAG_RESYNCHRONIZE},
      {cache_options.Contains(coPragmaNoCache), inet::INTERNET_FLAG_PRAGMA_NOCACHE},
      {cache_options.Contains(coNoCacheWrite), inet::INTERNET_FLAG_NO_CACHE_WRITE},
      {cache_options.Contains(coUseCacheIfNetFail), inet::INTERNET_FLAG_CACHE_IF_NET_FAIL},
      {internet_options.Contains(ioIgnoreCertificateInvalid),
       inet::INTERNET_FLAG_IGNORE_CERT_CN_INVALID},
      {internet_options.Contains(ioIgnoreCertificateDateInvalid),
       inet::INTERNET_FLAG_IGNORE_CERT_DATE_INVALID},
      {internet_options.Contains(ioIgnoreRedirectToHTTP),
       inet::INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP},
      {internet_options.Contains(ioIgnoreRedirectToHTTPS),
       inet::INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS},
      {internet_options.Contains(ioKeepConnection), inet::INTERNET_FLAG_KEEP_CONNECTION},
      {internet_options.Contains(ioNoAuthentication), inet::INTERNET_FLAG_NO_AUTH},
      {internet_options.Contains(ioNoAutoRedirect), inet::INTERNET_FLAG_NO_AUTO_REDIRECT},
      {internet_options.Contains(ioNoCookies), inet::INTERNET_FLAG_NO_COOKIES},
  }};
  std::uint32_t word = 0;
  for (const Flag& flag : flags) word |= flag.on ? flag.value : 0;
  return word;
}

std::string RealmOf(const std::string& challenge) {
  const std::size_t pair = challenge.find("=\"");
  if (pair == std::string::npos) return challenge;
  const std::size_t first = pair + 2;
  const std::size_t last = challenge.size() - 1;  // the closing quote, left out
  return first < last ? challenge.substr(first, last - first) : std::string();
}

// ---- the component's platform helpers

bool TCustomWinHTTP::QueryHeader(std::uint32_t info_level, std::string& text) {
  std::array<char, kQueryBufferSize> buffer;
  std::uint32_t length = kQueryBufferSize;
  std::uint32_t index = 0;
  if (!inet::HttpQueryInfoA(RequestHandle, info_level, buffer.data(), &length, &index))
    return false;
  text.assign(buffer.data(), strnlen(buffer.data(), std::min(length, kQueryBufferSize)));
  return true;
}

void TCustomWinHTTP::SetStringOption(std::uint32_t option, const std::string& text) {
  inet::InternetSetOptionA(RequestHandle, option, text.c_str(),
                           static_cast<std::uint32_t>(text.size()));
}

void TCustomWinHTTP::SetNumberOption(std::uint32_t option, std::uint32_t value) {
  inet::InternetSetOptionA(RequestHandle, option, &value, sizeof value);
}

bool TCustomWinHTTP::IsGlobalOffline() noexcept {
  std::uint32_t state = 0;
  std::uint32_t length = sizeof state;
  return inet::InternetQueryOptionA(nullptr, inet::INTERNET_OPTION_CONNECTED_STATE, &state,
                                    &length) &&
         (state & inet::INTERNET_STATE_DISCONNECTED_BY_USER) != 0;
}

void TCustomWinHTTP::InitSizedRecord(void* record, std::uint32_t size) noexcept {
  std::memset(record, 0, size);
  std::memcpy(record, &size, sizeof size);
}

void TCustomWinHTTP::AppendRange(std::string& headers, std::uint32_t first, std::uint32_t last) {
  headers += "RANGE: bytes=";
  headers += std::to_string(first);
  headers += '-';
  if (last != 0) headers += std::to_string(last);
  headers += "\r\n";
}

bool TCustomWinHTTP::AddRequestHeaders(bool with_range) {
  std::string headers;
  for (int i = 0; i < add_headers_->Count(); ++i) {
    headers += add_headers_->Strings(i);
    headers += "\r\n";
  }
  if (!with_range) {
    AppendRange(headers, 0, 0);
  } else if (StartPosition != 0 || EndPosition != 0) {
    AppendRange(headers, StartPosition, EndPosition);
  } else if (Range()->StartRange != 0 || Range()->EndRange != 0) {
    AppendRange(headers, Range()->StartRange, Range()->EndRange);
  }
  if (headers.empty()) return true;
  const std::uint32_t modifier =
      HttpStatus == 416 ? inet::HTTP_ADDREQ_FLAG_REPLACE : inet::HTTP_ADDREQ_FLAG_ADD;
  return inet::HttpAddRequestHeadersA(RequestHandle, headers.data(),
                                      static_cast<std::uint32_t>(headers.size()), modifier);
}

std::int32_t TCustomWinHTTP::QueryFullLength() {
  std::int32_t length = 0;
  if (AddRequestHeaders(false)) {
    CheckStop();
    if (inet::HttpSendRequestA(RequestHandle, nullptr, 0, nullptr, 0)) {
      std::string text;
      if (QueryHeader(inet::HTTP_QUERY_STATUS_CODE, text)) {
        HttpStatus = HeaderInteger(text);
        if ((HttpStatus == 200 || HttpStatus == 206) &&
            QueryHeader(inet::HTTP_QUERY_CONTENT_LENGTH, text))
          length = HeaderInteger(text);
      }
    }
  }
  CheckStop();
  return length;
}

// ---- the connection pass

TCustomWinHTTP::TransferRun::Next TCustomWinHTTP::TransferRun::ConnectionPass() {
  http_.CheckStop();
  http_.ConnectionHandle = inet::InternetConnectA(
      http_.InternetHandle, host_name_.c_str(), port_, user_name_.c_str(), password_.c_str(),
      inet::INTERNET_SERVICE_HTTP, 0, http_.StatusContext());
  http_.Succeeded = http_.ConnectionHandle != nullptr;
  if (!http_.Succeeded) {
    StopIfRequested();
    return Next::kEnd;
  }
  http_.CheckStop();

  const bool post =
      http_.RequestMethod == rmPOST ||
      (http_.RequestMethod == rmAutoDetect && (!http_.POSTData.empty() || http_.UploadRequested));
  method_ = post ? 1 : 0;
  if (!OpenRequest()) return Next::kEnd;
  SetRequestOptions();

  if (http_.ShowGoOnlineMessage && IsGlobalOffline())
    inet::InternetGoOnline(http_.URL.c_str(), nullptr, 0);  // no desktop window to hand on here
  if (http_.OnBeforeSendRequest.Assigned())
    http_.OnBeforeSendRequest(&http_, static_cast<void*>(http_.RequestHandle));

  if (!http_.AddRequestHeaders(true)) {
    // The platform refused the header text: the run ends as an output-file failure. An upload's
    // body goes too, or the end would read as a success with the body as the answer.
    http_.DataStream.reset();
    StopIfRequested();
    return Next::kEnd;
  }
  return SendPass();
}

bool TCustomWinHTTP::TransferRun::OpenRequest() {
  const std::uint32_t flags =
      OpenRequestFlags(scheme_ == "https", http_.CacheOptions, http_.InternetOptions);
  const std::string object_name = url_path_ + extra_info_;
  const char* accept_types[] = {http_.AcceptTypes.c_str(), nullptr};
  http_.RequestHandle = inet::HttpOpenRequestA(
      http_.ConnectionHandle, method_ == 1 ? "POST" : "GET", object_name.c_str(), nullptr,
      http_.Referer.c_str(), accept_types, flags, 0);
  http_.Succeeded = http_.RequestHandle != nullptr;
  http_.CheckStop();  // also when the request could not be opened: a stop comes first
  return http_.Succeeded;
}

void TCustomWinHTTP::TransferRun::SetRequestOptions() {
  const TWinHTTPTimeouts& timeouts = *http_.Timeouts();
  if (timeouts.ConnectTimeout != 0)
    http_.SetNumberOption(inet::INTERNET_OPTION_CONNECT_TIMEOUT, timeouts.ConnectTimeout);
  if (timeouts.ReceiveTimeout != 0)
    http_.SetNumberOption(inet::INTERNET_OPTION_RECEIVE_TIMEOUT, timeouts.ReceiveTimeout);
  if (timeouts.SendTimeout != 0)
    http_.SetNumberOption(inet::INTERNET_OPTION_SEND_TIMEOUT, timeouts.SendTimeout);
  if (http_.InternetOptions.Contains(ioIgnoreUnknownCertificateAuthority))
    http_.SetNumberOption(inet::INTERNET_OPTION_SECURITY_FLAGS,
                          inet::SECURITY_FLAG_IGNORE_UNKNOWN_CA);
  // Proxy credentials that are already known go with the request from the start, so a proxy that
  // demands them is answered inside the send instead of costing the caller a 407 round trip.
  const TWinHTTPProxy& proxy = *http_.Proxy();
  if (proxy.AccessType != atDirect && !proxy.ProxyUsername.empty() &&
      !proxy.ProxyPassword.empty()) {
    http_.SetStringOption(inet::INTERNET_OPTION_PROXY_USERNAME, proxy.ProxyUsername);
    http_.SetStringOption(inet::INTERNET_OPTION_PROXY_PASSWORD, proxy.ProxyPassword);
  }
}

// ---- the send pass

TCustomWinHTTP::TransferRun::Next TCustomWinHTTP::TransferRun::SendPass() {
  do {
    http_.CheckStop();
    http_.TryAgain = false;
    bool resend = false;
    http_.Succeeded = method_ == 1 && http_.UploadRequested ? SendUpload(resend) : SendOnce();
    if (!http_.Succeeded) {
      http_.DataStream.reset();
      StopIfRequested();
      return Next::kEnd;
    }
    if (resend) {
      http_.TryAgain = true;  // the whole upload again, without a status
      continue;
    }
    http_.CheckStop();
    std::string status;
    http_.Succeeded = http_.QueryHeader(inet::HTTP_QUERY_STATUS_CODE, status);
    if (http_.Succeeded) {
      http_.HttpStatus = HeaderInteger(status);
      http_.UploadSent = false;
    } else {
      StopIfRequested();
    }
    if (http_.HttpStatus == 416 && http_.StartPosition != 0) return RangeNotSatisfiable();
    if (http_.HttpStatus == 401 && http_.OnPasswordRequest.Assigned()) {
      AnswerServerAuthentication();
    } else if (http_.HttpStatus == 407 && http_.OnProxyAuthenticationRequest.Assigned()) {
      AnswerProxyAuthentication();
    }
  } while (http_.TryAgain);
  return Next::kBody;
}

bool TCustomWinHTTP::TransferRun::SendOnce() {
  if (method_ == 0) return inet::HttpSendRequestA(http_.RequestHandle, nullptr, 0, nullptr, 0);
  const std::string& body = http_.POSTData;
  return inet::HttpSendRequestA(http_.RequestHandle, kFormHeader.data(),
                                static_cast<std::uint32_t>(kFormHeader.size()), body.data(),
                                static_cast<std::uint32_t>(body.size()));
}

bool TCustomWinHTTP::TransferRun::SendUpload(bool& resend) {
  // Upload always hands over a memory stream; anything else is sent as an empty body.
  auto* body = dynamic_cast<vcl::TMemoryStream*>(http_.DataStream.get());
  http_.DataLength = body != nullptr ? static_cast<std::uint32_t>(body->Size()) : 0;

  inet::INTERNET_BUFFERSA buffers;
  InitSizedRecord(&buffers, sizeof buffers);
  buffers.lpcszHeader = http_.UploadHeaders.c_str();
  buffers.dwHeadersLength = static_cast<std::uint32_t>(http_.UploadHeaders.size());
  buffers.dwHeadersTotal = buffers.dwHeadersLength;
  buffers.dwBufferTotal = http_.DataLength;
  if (!inet::HttpSendRequestExA(http_.RequestHandle, &buffers, nullptr, inet::HSR_INITIATE, 0))
    return false;

  http_.UploadSent = true;
  if (body != nullptr) body->SetPosition(0);
  http_.BytesTransferred = 0;
  for (;;) {
    http_.CheckStop();
    // Remaining bytes in 64 bits: a large buffer size must not wrap the comparison and send
    // bytes from beyond the body.
    const std::uint64_t remaining = http_.DataLength - http_.BytesTransferred;
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, buffer_size_));
    const std::uint8_t* data = body != nullptr ? body->Memory() + http_.BytesTransferred : nullptr;
    std::uint32_t written = 0;
    if (!inet::InternetWriteFile(http_.RequestHandle, data, count, &written)) {
      StopIfRequested();
      break;
    }
    if (written == 0) break;
    http_.BytesTransferred += written;
    if (http_.OnUploadProgress.Assigned())
      http_.WorkerThread->Synchronize(&http_, &TCustomWinHTTP::SyncUploadProgress);
  }
  if (!inet::HttpEndRequestA(http_.RequestHandle, nullptr, 0, 0)) {
    resend = kernel::GetLastError() == inet::ERROR_INTERNET_FORCE_RETRY;
    if (!resend) StopIfRequested();
  }
  return true;
}

// ---- the answers to 416, 401 and 407

TCustomWinHTTP::TransferRun::Next TCustomWinHTTP::TransferRun::RangeNotSatisfiable() {
  const std::int32_t length = http_.QueryFullLength();
  if (static_cast<std::uint32_t>(length) == http_.StartPosition) {
    // The local copy is already complete: nothing to transfer, reported as an output-file
    // outcome (Succeeded from the status query, no stream).
    http_.DataStream.reset();
    return Next::kEnd;
  }
  http_.HttpStatus = -1;
  http_.StartPosition = 0;
  CloseRequestAndConnection();
  return Next::kRestart;
}

void TCustomWinHTTP::TransferRun::AnswerServerAuthentication() {
  std::string challenge;
  http_.Succeeded = http_.QueryHeader(inet::HTTP_QUERY_WWW_AUTHENTICATE, challenge);
  http_.ContentType = http_.Succeeded ? RealmOf(challenge) : std::string();
  http_.WorkerThread->Synchronize(&http_, &TCustomWinHTTP::SyncPasswordRequest);
  http_.SetStringOption(inet::INTERNET_OPTION_USERNAME, http_.Username);
  http_.SetStringOption(inet::INTERNET_OPTION_PASSWORD, http_.Password);
}

void TCustomWinHTTP::TransferRun::AnswerProxyAuthentication() {
  http_.WorkerThread->Synchronize(&http_, &TCustomWinHTTP::SyncProxyAuthentication);
  http_.SetStringOption(inet::INTERNET_OPTION_PROXY_USERNAME, http_.Proxy()->ProxyUsername);
  http_.SetStringOption(inet::INTERNET_OPTION_PROXY_PASSWORD, http_.Proxy()->ProxyPassword);
}

}  // namespace winhttp
