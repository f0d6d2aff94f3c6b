// The proxy of a session: how InternetOpenA's access type, proxy list and bypass list decide,
// per request, between the environment's proxy, a direct connection and a named proxy.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace inet::detail {

class ProxyConfig {
 public:
  // Parses the arguments of InternetOpenA; nullopt when they are invalid (unknown access type,
  // named proxy without a usable entry).
  static std::optional<ProxyConfig> Parse(std::uint32_t access_type, const char* proxy,
                                          const char* bypass);

  // What libcurl gets as CURLOPT_PROXY for a request to `scheme`://`host`: nullopt means "leave
  // it unset" (libcurl then reads http_proxy, https_proxy and no_proxy from the environment), an
  // empty text means direct, anything else is the proxy's URL.
  std::optional<std::string> ProxyFor(std::string_view scheme, std::string_view host) const;

 private:
  enum class Mode { kEnvironment, kDirect, kNamed };
  Mode mode_ = Mode::kEnvironment;
  std::vector<std::pair<std::string, std::string>> servers_;  // scheme ("" = any), host:port
  std::vector<std::string> bypass_;
};

// True when `host` matches the bypass entry `pattern`: case-insensitive, "*" matches any run of
// characters, "<local>" matches host names without a dot.
bool HostMatchesBypass(std::string_view host, std::string_view pattern);

}  // namespace inet::detail
