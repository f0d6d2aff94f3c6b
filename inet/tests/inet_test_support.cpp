#include "inet_test_support.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "kernel/last_error.h"

namespace inet_test {

UrlParts SplitTestUrl(const std::string& url) {
  UrlParts parts;
  std::size_t scheme_end = url.find("://");
  if (scheme_end == std::string::npos) throw std::invalid_argument(url);
  parts.https = url.compare(0, scheme_end, "https") == 0;
  std::size_t host_start = scheme_end + 3;
  std::size_t path_start = url.find('/', host_start);
  std::string authority = url.substr(host_start, path_start - host_start);
  std::size_t colon = authority.rfind(':');
  if (colon != std::string::npos && authority.find(']') == std::string::npos) {
    parts.host = authority.substr(0, colon);
    parts.port = static_cast<std::uint16_t>(std::stoi(authority.substr(colon + 1)));
  } else {
    parts.host = authority;
    parts.port = parts.https ? 443 : 80;
  }
  parts.object = path_start == std::string::npos ? "/" : url.substr(path_start);
  return parts;
}

void NoticeRecorder::Callback(inet::HINTERNET, std::uintptr_t context, std::uint32_t status,
                              void* info, std::uint32_t length) {
  auto* recorder = reinterpret_cast<NoticeRecorder*>(context);
  if (recorder == nullptr) return;
  Entry entry{status, {}, length};
  const bool text = status == inet::INTERNET_STATUS_REDIRECT ||
                    status == inet::INTERNET_STATUS_RESOLVING_NAME ||
                    status == inet::INTERNET_STATUS_NAME_RESOLVED ||
                    status == inet::INTERNET_STATUS_CONNECTING_TO_SERVER ||
                    status == inet::INTERNET_STATUS_CONNECTED_TO_SERVER;
  if (text && info != nullptr && length > 0) {
    entry.text.assign(static_cast<const char*>(info), length - 1);
  }
  std::lock_guard lock(recorder->lock_);
  recorder->entries_.push_back(std::move(entry));
}

std::vector<NoticeRecorder::Entry> NoticeRecorder::entries() const {
  std::lock_guard lock(lock_);
  return entries_;
}

std::vector<std::uint32_t> NoticeRecorder::statuses() const {
  std::vector<std::uint32_t> result;
  for (const auto& entry : entries()) result.push_back(entry.status);
  return result;
}

bool NoticeRecorder::Has(std::uint32_t status) const {
  for (const auto& entry : entries()) {
    if (entry.status == status) return true;
  }
  return false;
}

Exchange::Exchange(const std::string& url, const ExchangeOptions& options) {
  const UrlParts parts = SplitTestUrl(url);
  session_.Reset(inet::InternetOpenA(
      "inet-test", options.access, options.proxy.empty() ? nullptr : options.proxy.c_str(),
      options.bypass.empty() ? nullptr : options.bypass.c_str(), options.session_flags));
  if (!session_) throw std::runtime_error("InternetOpenA failed");
  if (options.recorder != nullptr) {
    inet::InternetSetStatusCallback(session_.get(), &NoticeRecorder::Callback);
  }
  connection_.Reset(inet::InternetConnectA(
      session_.get(), parts.host.c_str(), parts.port,
      options.user.empty() ? nullptr : options.user.c_str(),
      options.password.empty() ? nullptr : options.password.c_str(), inet::INTERNET_SERVICE_HTTP, 0,
      reinterpret_cast<std::uintptr_t>(options.recorder)));
  if (!connection_) throw std::runtime_error("InternetConnectA failed");
  std::uint32_t flags = options.open_flags;
  if (parts.https) flags |= inet::INTERNET_FLAG_SECURE;
  const char* accept[] = {"*/*", nullptr};
  request_.Reset(inet::HttpOpenRequestA(connection_.get(), options.verb.c_str(),
                                        parts.object.c_str(), nullptr, nullptr, accept, flags, 0));
  if (!request_) throw std::runtime_error("HttpOpenRequestA failed");
}

bool Exchange::Send(const std::string& headers, const std::string& body) {
  const bool ok = inet::HttpSendRequestA(
      request_.get(), headers.empty() ? nullptr : headers.c_str(),
      static_cast<std::uint32_t>(headers.size()), body.empty() ? nullptr : body.data(),
      static_cast<std::uint32_t>(body.size()));
  error = ok ? 0 : kernel::GetLastError();
  return ok;
}

void Exchange::SetNumberOption(std::uint32_t option, std::uint32_t value) {
  ASSERT_TRUE(inet::InternetSetOptionA(request_.get(), option, &value, sizeof value));
}

void Exchange::SetTextOption(std::uint32_t option, const std::string& text) {
  ASSERT_TRUE(inet::InternetSetOptionA(request_.get(), option, text.c_str(),
                                       static_cast<std::uint32_t>(text.size())));
}

int Exchange::Status() {
  std::string text = Header(inet::HTTP_QUERY_STATUS_CODE);
  return text.empty() ? -1 : std::stoi(text);
}

std::string Exchange::Header(std::uint32_t level, bool* found) {
  char buffer[4096];
  std::uint32_t length = sizeof buffer;
  const bool ok = inet::HttpQueryInfoA(request_.get(), level, buffer, &length, nullptr);
  if (found != nullptr) *found = ok;
  return ok ? std::string(buffer, length) : std::string();
}

bool Exchange::ReadAll(std::string* body, std::uint32_t chunk, std::size_t limit) {
  std::vector<char> buffer(chunk);
  while (body->size() < limit) {
    std::uint32_t read = 0;
    if (!inet::InternetReadFile(request_.get(), buffer.data(), chunk, &read)) {
      error = kernel::GetLastError();
      return false;
    }
    if (read == 0) return true;
    if (read > chunk) {
      ADD_FAILURE() << "read more than asked";
      return false;
    }
    body->append(buffer.data(), read);
  }
  return true;
}

}  // namespace inet_test
