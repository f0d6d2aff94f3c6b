// Real HTTP proxies on loopback ports, for proxy and proxy-authentication tests.
//
// - SquidProxy: squid in the foreground; no authentication, Basic (basic_ncsa_auth) or Digest
//   (digest_file_auth). It answers missing and wrong credentials alike with 407. Starts in a few
//   hundred milliseconds.
// - TinyProxy: tinyproxy; no authentication or Basic. Note its own behaviour: missing credentials
//   give 407, wrong ones 401 with a WWW-Authenticate header. Starts fast.
// Both forward plain http requests and tunnel CONNECT to any port; both send their log to their
// folder. Construction returns once the proxy accepts connections (or throws std::runtime_error
// with its log); destruction kills it and removes its folder.
//
// Threads: use from one thread; requests through it may come from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "testsupport/process.h"

namespace testsupport {

struct ProxyOptions {
  enum class Auth { kNone, kBasic, kDigest };
  Auth auth = Auth::kNone;
  std::string user = "proxyuser";
  std::string password = "proxypass";
  std::string realm = "test proxy";
};

class SquidProxy {
 public:
  explicit SquidProxy(ProxyOptions options = {});
  ~SquidProxy();
  SquidProxy(const SquidProxy&) = delete;
  SquidProxy& operator=(const SquidProxy&) = delete;

  std::uint16_t port() const noexcept { return port_; }
  // "127.0.0.1:<port>", the form a proxy list takes.
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  // squid's access log: one line per request it handled.
  std::string AccessLog() const;

 private:
  ProxyOptions options_;
  TempDir dir_{"ou-squid"};
  std::uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

class TinyProxy {
 public:
  // Digest is not available in tinyproxy: kDigest throws std::invalid_argument.
  explicit TinyProxy(ProxyOptions options = {});
  ~TinyProxy();
  TinyProxy(const TinyProxy&) = delete;
  TinyProxy& operator=(const TinyProxy&) = delete;

  std::uint16_t port() const noexcept { return port_; }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string Log() const;

 private:
  ProxyOptions options_;
  TempDir dir_{"ou-tinyproxy"};
  std::uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace testsupport
