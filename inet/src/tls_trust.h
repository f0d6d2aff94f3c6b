// Certificate checks of TLS connections: the extra trusted authorities (inet/trust.h) and the
// per-request relaxations (dates, unknown issuer) that libcurl has no option for.
#pragma once

#include <curl/curl.h>

#include <cstdint>

namespace inet::detail {

// Bits handed to the SSL context callback through CURLOPT_SSL_CTX_DATA.
inline constexpr std::uintptr_t kRelaxDates = 1;
inline constexpr std::uintptr_t kRelaxUnknownIssuer = 2;

// CURLOPT_SSL_CTX_FUNCTION: adds the extra authorities to the context's store and installs a
// verification callback that forgives exactly the faults named by the bits in `relax_bits`.
// Called by libcurl inside its handshake; never throws.
CURLcode PrepareSslContext(CURL* easy, void* ssl_ctx, void* relax_bits) noexcept;

}  // namespace inet::detail
