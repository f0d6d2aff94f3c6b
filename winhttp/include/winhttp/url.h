// URLs for the transfer component: splitting the component's URL into the pieces that opening a
// connection and a request need, and escaping the extra info of the request's object name.
//
// Threads: any thread; both touch only their arguments.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace winhttp {

// Capacities, in characters with the terminating NUL, of the pieces SplitURL hands out. A URL
// whose piece is longer (capacity - 1 characters at most) is rejected.
inline constexpr std::uint32_t kSchemeCapacity = 33;
inline constexpr std::uint32_t kHostNameCapacity = 257;
inline constexpr std::uint32_t kUserNameCapacity = 129;
inline constexpr std::uint32_t kPasswordCapacity = 129;
inline constexpr std::uint32_t kUrlPathCapacity = 2049;
inline constexpr std::uint32_t kExtraInfoCapacity = 2049;

// Splits url with the internet functions' URL splitter (InternetCrackUrlA with ICU_ESCAPE).
//
// url itself is never changed: a private copy gets "http://" in front when it does not contain
// "://" anywhere (exact search, so "host/path?next=a://b" is handed on unchanged). On success
// every output receives its piece with its %xx escapes decoded (an absent piece gives ""), port
// the explicit port or the scheme's default (80 for http, 443 for https), and the result is true.
// On failure (a malformed URL, or a piece longer than its capacity) the result is false and NO
// output argument is written: callers that pass empty strings go on with empty pieces.
//
// Never throws except std::bad_alloc.
bool SplitURL(const std::string& url, std::string& scheme, std::string& host_name,
              std::string& url_path, std::string& user_name, std::string& password,
              std::string& extra_info, std::uint16_t& port);

// Escapes every byte below 32, every byte from 128 to 255 and the seven characters space, "#", "%",
// "*", "+", "<", ">" as "%" with two upper-case hexadecimal digits; every other byte, 127 included,
// is copied. Works on bytes: a multi-byte character is escaped byte by byte, and a "%" is always
// escaped, also when it already begins an escape.
//
// result is emptied and then filled; it may be the very string text views. Throws only
// std::bad_alloc.
void EscapeURL(std::string_view text, std::string& result);
std::string EscapeURL(std::string_view text);

}  // namespace winhttp
