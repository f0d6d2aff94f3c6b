// libcurl's callbacks for a request. They run inside curl_multi_perform (or curl_easy_pause) on
// the thread driving the request. Each trampoline catches every exception, stashes it for the
// drive loop and makes libcurl abort the transfer: no exception crosses a libcurl frame.
#include <algorithm>
#include <cstring>
#include <string>

#include "curl_global.h"
#include "inet/wininet.h"
#include "kernel/interrupt.h"
#include "request.h"

namespace inet::detail {
namespace {

// Body bytes kept for the next reads before the transfer is paused: two and a half libcurl
// chunks, so that a pause (and its resume) is rare, and a fixed bound whatever the body size.
constexpr std::size_t kMaxStagedBytes = 256 * 1024;

// More interim (1xx) header blocks than this in one send is a server playing games.
constexpr int kMaxInterimBlocks = 32;

std::string_view WithoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

// "Trying 127.0.0.1:80..." / "Trying [::1]:80..." -> "127.0.0.1" / "::1".
std::string AddressOfTrying(std::string_view text) {
  text = text.substr(text.find("Trying ") + 7);
  if (auto dots = text.find("..."); dots != std::string_view::npos) text = text.substr(0, dots);
  if (!text.empty() && text.front() == '[') {
    auto close = text.find(']');
    return std::string(text.substr(1, close == std::string_view::npos ? close : close - 1));
  }
  return std::string(text.substr(0, text.rfind(':')));
}

// "Connected to host (127.0.0.1) port 80 (#0)" -> "127.0.0.1".
std::string AddressOfConnected(std::string_view text) {
  auto open = text.find('(');
  auto close = text.find(')', open);
  if (open == std::string_view::npos || close == std::string_view::npos) return {};
  return std::string(text.substr(open + 1, close - open - 1));
}

}  // namespace

size_t Request::HeaderTrampoline(char* data, size_t size, size_t count, void* self) {
  auto* request = static_cast<Request*>(self);
  try {
    return request->OnHeaderLine(std::string_view(data, size * count));
  } catch (const kernel::ThreadKilled&) {
    request->callback_failure_ = std::current_exception();
  } catch (...) {
    request->callback_failure_ = std::current_exception();
  }
  return 0;  // fewer bytes than given: libcurl aborts the transfer
}

size_t Request::BodyTrampoline(char* data, size_t size, size_t count, void* self) {
  auto* request = static_cast<Request*>(self);
  try {
    return request->OnBody(data, size * count);
  } catch (const kernel::ThreadKilled&) {
    request->callback_failure_ = std::current_exception();
  } catch (...) {
    request->callback_failure_ = std::current_exception();
  }
  return 0;
}

size_t Request::UploadTrampoline(char* buffer, size_t size, size_t count, void* self) {
  // Copies only: nothing here can throw.
  return static_cast<Request*>(self)->OnUploadRead(buffer, size * count);
}

int Request::DebugTrampoline(CURL*, curl_infotype type, char* data, size_t size, void* self) {
  auto* request = static_cast<Request*>(self);
  try {
    request->OnDebug(type, std::string_view(data, size));
  } catch (const kernel::ThreadKilled&) {
    request->callback_failure_ = std::current_exception();
  } catch (...) {
    // The debug callback can't abort a transfer; the stashed failure ends it in the drive loop.
    request->callback_failure_ = std::current_exception();
  }
  return 0;
}

int Request::PrereqTrampoline(void* self, char*, char*, int, int) {
  auto* request = static_cast<Request*>(self);
  request->connecting_ = false;
  request->awaiting_request_ = false;
  request->MarkActivity();
  try {
    request->Queue(PlainNotice(INTERNET_STATUS_SENDING_REQUEST));
  } catch (const kernel::ThreadKilled&) {
    request->callback_failure_ = std::current_exception();
    return CURL_PREREQFUNC_ABORT;
  } catch (...) {
    request->callback_failure_ = std::current_exception();
    return CURL_PREREQFUNC_ABORT;
  }
  return CURL_PREREQFUNC_OK;
}

int Request::ProgressTrampoline(void* self, curl_off_t, curl_off_t downloaded, curl_off_t,
                                curl_off_t uploaded) {
  auto* request = static_cast<Request*>(self);
  if (downloaded != request->last_downloaded_ || uploaded != request->last_uploaded_) {
    request->last_downloaded_ = downloaded;
    request->last_uploaded_ = uploaded;
    request->MarkActivity();
  }
  // A stashed failure from a callback that could not abort by itself ends the transfer here.
  return request->callback_failure_ ? 1 : 0;
}

size_t Request::OnHeaderLine(std::string_view raw) {
  MarkActivity();
  // Once the final block is known, what follows are trailers of a chunked body: not ours.
  if (head_state_ == HeadState::kFinal) return raw.size();
  const std::string_view line = WithoutLineEnd(raw);
  if (!block_open_) {
    if (line.empty()) return raw.size();
    block_.Clear();
    block_open_ = true;
    block_bytes_ = 0;
    if (head_state_ == HeadState::kPending) head_state_ = HeadState::kNone;  // was intermediate
    Queue(PlainNotice(INTERNET_STATUS_RECEIVING_RESPONSE));
  }
  block_bytes_ += raw.size();
  if (block_bytes_ > kMaxResponseHeaderBytes) {
    abort_error_ = ERROR_HTTP_INVALID_SERVER_RESPONSE;
    return 0;
  }
  if (!line.empty()) {
    block_.AddLine(line);
    return raw.size();
  }
  block_open_ = false;
  OnHeaderBlockEnd();
  return abort_error_ != 0 ? 0 : raw.size();
}

void Request::OnHeaderBlockEnd() {
  const int status = block_.status();
  if (awaiting_request_) {
    // No request went out since the last block: this is a proxy's answer to CONNECT.
    connect_head_ = block_;
    return;
  }
  if (status >= 100 && status < 200) {
    if (++interim_blocks_ > kMaxInterimBlocks) abort_error_ = ERROR_HTTP_INVALID_SERVER_RESPONSE;
    return;
  }
  awaiting_request_ = true;
  head_ = block_;
  Queue(NumberNotice(INTERNET_STATUS_RESPONSE_RECEIVED, static_cast<std::uint32_t>(block_bytes_)));
  if (status >= 300 && status <= 399 && following_) {
    const auto location = head_.Find("Location", 0);
    if (location && !location->empty()) {
      if (CheckRedirect()) head_state_ = HeadState::kPending;
      return;
    }
  }
  // libcurl answers a challenge itself when it holds credentials; whether it does shows later.
  if ((status == 401 && server_credentials_) || (status == 407 && proxy_credentials_)) {
    head_state_ = HeadState::kPending;
    return;
  }
  head_state_ = HeadState::kFinal;
}

bool Request::CheckRedirect() {
  char* current = nullptr;
  curl_easy_getinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &current);
  UrlPtr url(curl_url());
  if (!url || current == nullptr ||
      curl_url_set(url.get(), CURLUPART_URL, current, CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    abort_error_ = ERROR_HTTP_REDIRECT_FAILED;
    return false;
  }
  const bool from_https = std::string_view(current).substr(0, 6) == "https:";
  const auto location = head_.Find("Location", 0);
  if (curl_url_set(url.get(), CURLUPART_URL, location->c_str(),
                   CURLU_URLENCODE | CURLU_ALLOW_SPACE | CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
    abort_error_ = ERROR_HTTP_REDIRECT_FAILED;
    return false;
  }
  char* scheme_text = nullptr;
  char* url_text = nullptr;
  curl_url_get(url.get(), CURLUPART_SCHEME, &scheme_text, 0);
  CurlStringPtr scheme(scheme_text);
  curl_url_get(url.get(), CURLUPART_URL, &url_text, 0);
  CurlStringPtr target(url_text);
  if (!scheme || !target) {
    abort_error_ = ERROR_HTTP_REDIRECT_FAILED;
    return false;
  }
  const std::string_view scheme_view = scheme.get();
  if (scheme_view != "http" && scheme_view != "https") {
    abort_error_ = ERROR_HTTP_REDIRECT_FAILED;  // never "file" or anything else
    return false;
  }
  if (from_https && scheme_view == "http" &&
      (SecurityFlags() & SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTP) == 0) {
    abort_error_ = ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR;
    return false;
  }
  if (++redirects_ > kMaxRedirects) {
    abort_error_ = ERROR_HTTP_REDIRECT_FAILED;
    return false;
  }
  Queue(TextNotice(INTERNET_STATUS_REDIRECT, target.get()));
  return true;
}

size_t Request::OnBody(const char* data, size_t size) {
  MarkActivity();
  // libcurl hands over no body of a response it goes on from, so this one is final.
  if (head_state_ == HeadState::kPending) head_state_ = HeadState::kFinal;
  const std::size_t unread = staging_.size() - staging_pos_;
  if (unread > 0 && unread + size > kMaxStagedBytes) {
    write_paused_ = true;
    return CURL_WRITEFUNC_PAUSE;  // libcurl keeps the chunk until someone reads
  }
  const std::size_t take = std::min(size, reader_room_ - reader_got_);
  if (take > 0) {
    std::memcpy(reader_ + reader_got_, data, take);
    reader_got_ += take;
  }
  if (take < size) {
    if (unread == 0) {
      staging_.clear();
      staging_pos_ = 0;
    } else if (staging_pos_ > 0 && staging_.capacity() < staging_.size() + (size - take)) {
      staging_.erase(staging_.begin(),
                     staging_.begin() + static_cast<std::ptrdiff_t>(staging_pos_));
      staging_pos_ = 0;
    }
    staging_.insert(staging_.end(), data + take, data + size);
  }
  return size;
}

size_t Request::OnUploadRead(char* buffer, size_t size) {
  upload_wanted_ = true;
  if (upload_left_ == 0) {
    if (upload_ended_) return 0;
    read_paused_ = true;
    return CURL_READFUNC_PAUSE;  // resumed by the next InternetWriteFile
  }
  const std::size_t take = std::min(size, upload_left_);
  std::memcpy(buffer, upload_src_, take);
  upload_src_ += take;
  upload_left_ -= take;
  MarkActivity();
  return take;
}

void Request::OnDebug(curl_infotype type, std::string_view data) {
  if (type == CURLINFO_TEXT) {
    if (data.find("Trying ") != std::string_view::npos) {
      const std::string address = AddressOfTrying(data);
      Queue(TextNotice(INTERNET_STATUS_NAME_RESOLVED, address));
      Queue(TextNotice(INTERNET_STATUS_CONNECTING_TO_SERVER, address));
    } else if (data.substr(0, 13) == "Connected to ") {
      connecting_ = false;
      MarkActivity();
      Queue(TextNotice(INTERNET_STATUS_CONNECTED_TO_SERVER, AddressOfConnected(data)));
    } else if (data.substr(0, 18) == "Closing connection") {
      Queue(PlainNotice(INTERNET_STATUS_CLOSING_CONNECTION));
      Queue(PlainNotice(INTERNET_STATUS_CONNECTION_CLOSED));
    }
  } else if (type == CURLINFO_HEADER_OUT) {
    // The whole request head comes in one piece; keep it for queries and the retry decision.
    sent_head_.Clear();
    std::string_view rest = data;
    while (!rest.empty()) {
      const std::size_t end = rest.find('\n');
      const std::string_view line = WithoutLineEnd(rest.substr(0, end));
      if (line.empty()) break;
      sent_head_.AddLine(line);
      if (end == std::string_view::npos) break;
      rest.remove_prefix(end + 1);
    }
    request_sent_ = true;
    connecting_ = false;
    MarkActivity();
    Queue(NumberNotice(INTERNET_STATUS_REQUEST_SENT, static_cast<std::uint32_t>(data.size())));
  }
}

}  // namespace inet::detail
