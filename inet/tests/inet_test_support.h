// Helpers shared by the internet-function tests: owned handles, one request's whole exchange,
// and a recorder for status notices.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "inet/wininet.h"

namespace inet_test {

// Closes the handle when it goes out of scope.
class Handle {
 public:
  Handle() = default;
  explicit Handle(inet::HINTERNET handle) : handle_(handle) {}
  ~Handle() { Reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : handle_(other.Release()) {}
  Handle& operator=(Handle&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  inet::HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  inet::HINTERNET Release() {
    inet::HINTERNET h = handle_;
    handle_ = nullptr;
    return h;
  }
  void Reset(inet::HINTERNET handle = nullptr) {
    if (handle_ != nullptr) inet::InternetCloseHandle(handle_);
    handle_ = handle;
  }

 private:
  inet::HINTERNET handle_ = nullptr;
};

// "http://127.0.0.1:8080/a?b" split for InternetConnectA/HttpOpenRequestA (test URLs only).
struct UrlParts {
  bool https = false;
  std::string host;
  std::uint16_t port = 0;
  std::string object;  // path and query
};
UrlParts SplitTestUrl(const std::string& url);

// Records status notices; pass its address as the context value.
class NoticeRecorder {
 public:
  struct Entry {
    std::uint32_t status;
    std::string text;  // text information without its NUL, when the notice carries text
    std::uint32_t length;
  };
  static void Callback(inet::HINTERNET, std::uintptr_t context, std::uint32_t status, void* info,
                       std::uint32_t length);
  std::vector<Entry> entries() const;
  std::vector<std::uint32_t> statuses() const;
  bool Has(std::uint32_t status) const;

 private:
  mutable std::mutex lock_;
  std::vector<Entry> entries_;
};

// Options of one exchange.
struct ExchangeOptions {
  std::uint32_t access = inet::INTERNET_OPEN_TYPE_DIRECT;
  std::string proxy;
  std::string bypass;
  std::uint32_t session_flags = 0;
  std::uint32_t open_flags = inet::INTERNET_FLAG_KEEP_CONNECTION;
  std::string verb = "GET";
  std::string user;
  std::string password;
  NoticeRecorder* recorder = nullptr;
};

// Session, connection and request for one URL, with helpers to send and read.
class Exchange {
 public:
  Exchange(const std::string& url, const ExchangeOptions& options = {});
  Exchange(const Exchange&) = delete;
  Exchange& operator=(const Exchange&) = delete;

  inet::HINTERNET session() const { return session_.get(); }
  inet::HINTERNET request() const { return request_.get(); }
  bool opened() const { return static_cast<bool>(request_); }

  // HttpSendRequestA; on failure `error` holds the last error.
  bool Send(const std::string& headers = "", const std::string& body = "");
  void SetNumberOption(std::uint32_t option, std::uint32_t value);
  void SetTextOption(std::uint32_t option, const std::string& text);
  int Status();
  // The header text of `level`; nullopt-like empty string with `found` false when absent.
  std::string Header(std::uint32_t level, bool* found = nullptr);
  // Reads the body to its end in reads of `chunk` bytes (at most `limit` bytes); false when a
  // read failed (`error` then holds the code; the bytes read before stay in the result).
  bool ReadAll(std::string* body, std::uint32_t chunk = 4096, std::size_t limit = 64 << 20);

  std::uint32_t error = 0;

 private:
  Handle session_;
  Handle connection_;
  Handle request_;
};

}  // namespace inet_test
