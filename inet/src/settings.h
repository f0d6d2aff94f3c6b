// Per-handle option values (InternetSetOptionA). A child handle starts with a copy of its
// parent's values; each handle's copy is guarded by that handle's settings lock.
#pragma once

#include <cstdint>
#include <string>

#include "inet/wininet.h"

namespace inet::detail {

struct Settings {
  std::uint32_t connect_timeout_ms = 0;  // 0: kDefaultTimeoutMs
  std::uint32_t send_timeout_ms = 0;
  std::uint32_t receive_timeout_ms = 0;
  std::string user_name;
  std::string password;
  std::string proxy_user_name;
  std::string proxy_password;
  std::uint32_t security_flags = 0;  // SECURITY_FLAG_...
};

inline std::uint32_t EffectiveTimeout(std::uint32_t value_ms) {
  return value_ms == 0 ? kDefaultTimeoutMs : value_ms;
}

}  // namespace inet::detail
