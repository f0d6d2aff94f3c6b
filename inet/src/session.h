// A session (InternetOpenA): user agent, proxy choice, offline flag, the cookie store shared by
// its requests, and a small pool of libcurl multi handles. A multi handle keeps the connection
// cache, so a request that takes a pooled multi reuses the connections an earlier request of the
// session left open (keep-alive). libcurl does not support sharing one connection cache between
// threads, hence a pool of whole multi handles, each used by one request at a time.
//
// Threads: any. The cookie store is a libcurl share with its own locks; the pool has a lock.
#pragma once

#include <curl/curl.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "handle_object.h"
#include "proxy_config.h"

namespace inet::detail {

class Session final : public HandleObject {
 public:
  // Fails (returns null) only when libcurl can't provide its share object.
  static std::shared_ptr<Session> Create(const char* agent, ProxyConfig proxy, bool offline);
  ~Session() override;

  // User-Agent text, or null for none.
  const char* agent() const noexcept { return has_agent_ ? agent_.c_str() : nullptr; }
  const ProxyConfig& proxy() const noexcept { return proxy_; }
  bool offline() const noexcept { return offline_; }
  CURLSH* cookie_share() const noexcept { return cookie_share_; }

  // A multi handle for a request: a pooled one (with its idle connections) or a new one. Null
  // when libcurl is out of memory. The caller owns it until it hands it back.
  CURLM* TakeMulti();
  // Takes back a multi handle no transfer is using any more. Kept for reuse while the session is
  // open and the pool has room; cleaned up otherwise. Never throws.
  void ReturnMulti(CURLM* multi) noexcept;

 private:
  Session(const char* agent, ProxyConfig proxy, bool offline);
  static void LockShare(CURL*, curl_lock_data data, curl_lock_access, void* self) noexcept;
  static void UnlockShare(CURL*, curl_lock_data data, void* self) noexcept;

  const bool has_agent_;
  const std::string agent_;
  const ProxyConfig proxy_;
  const bool offline_;
  CURLSH* cookie_share_ = nullptr;
  std::array<std::mutex, CURL_LOCK_DATA_LAST> share_locks_;
  std::mutex pool_lock_;
  std::vector<CURLM*> idle_multis_;
};

// A connection (InternetConnectA): server, port and credentials for its requests. No network
// state of its own: requests connect when they are sent.
class Connection final : public HandleObject {
 public:
  Connection(std::shared_ptr<Session> session, std::string host, INTERNET_PORT port,
             std::uintptr_t context)
      : HandleObject(HandleKind::kConnection, session, context),
        session_(std::move(session)),
        host_(std::move(host)),
        port_(port) {}

  const std::shared_ptr<Session>& session() const noexcept { return session_; }
  // Host name or address; IPv6 addresses without brackets.
  const std::string& host() const noexcept { return host_; }
  INTERNET_PORT port() const noexcept { return port_; }

 private:
  const std::shared_ptr<Session> session_;
  const std::string host_;
  const INTERNET_PORT port_;
};

}  // namespace inet::detail
