// libcurl results turned into the layer's error numbers.
#pragma once

#include <curl/curl.h>

#include <cstdint>

namespace inet::detail {

// The ERROR_INTERNET_... / ERROR_HTTP_... code for a failed transfer. `verify_result` is the
// OpenSSL verification result of the connection (CURLINFO_SSL_VERIFYRESULT), used to tell the
// certificate faults apart; `headers_seen` says whether any response header came in.
std::uint32_t MapCurlError(CURLcode code, long verify_result, bool headers_seen);

}  // namespace inet::detail
