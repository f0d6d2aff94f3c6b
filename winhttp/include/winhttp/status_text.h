// Connection status notices of the internet functions, as the transfer component reports them:
// the fixed English text of each status number (for OnStatus) and the new URL carried by a
// redirect notice (for OnRedirected).
//
// Pure functions: any thread (the status callback runs on whichever thread is inside the internet
// call), no shared state. StatusText never throws; RedirectNewURL throws only std::bad_alloc.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace winhttp {

// "Resolving name", "Connected", "Redirect", ... for the numbers of the status table; "Unknown
// status" for every other number. The text is a static string.
std::string_view StatusText(std::uint32_t status) noexcept;

// The new URL of a redirect notice (inet::INTERNET_STATUS_REDIRECT). The notice's information is
// the URL followed by its terminating NUL and its length counts that NUL, so the URL is the first
// length - 1 bytes, copied as they are. A length of 0 or 1, or no information at all, gives an
// empty URL.
std::string RedirectNewURL(const void* info, std::uint32_t length);

}  // namespace winhttp
