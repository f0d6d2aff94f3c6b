// InternetCrackUrlA on libcurl's URL parser.
#include <charconv>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "curl_global.h"
#include "fail.h"
#include "inet/wininet.h"

namespace inet {
namespace {

using detail::CurlStringPtr;
using detail::Fail;
using detail::UrlPtr;

// One piece of the URL; nullopt when the URL has none. Errors other than "absent" fail the call.
bool GetPart(CURLU* url, CURLUPart part, unsigned int flags, std::optional<std::string>* out) {
  char* text = nullptr;
  const CURLUcode code = curl_url_get(url, part, &text, flags);
  CurlStringPtr owner(text);
  if (code == CURLUE_OK) {
    *out = std::string(text);
    return true;
  }
  out->reset();
  switch (code) {
    case CURLUE_NO_SCHEME:
    case CURLUE_NO_USER:
    case CURLUE_NO_PASSWORD:
    case CURLUE_NO_OPTIONS:
    case CURLUE_NO_HOST:
    case CURLUE_NO_PORT:
    case CURLUE_NO_QUERY:
    case CURLUE_NO_FRAGMENT:
      return true;
    default:
      return false;
  }
}

INTERNET_SCHEME SchemeKind(const std::string& scheme) {
  if (scheme == "http") return INTERNET_SCHEME_HTTP;
  if (scheme == "https") return INTERNET_SCHEME_HTTPS;
  if (scheme == "ftp") return INTERNET_SCHEME_FTP;
  if (scheme == "gopher") return INTERNET_SCHEME_GOPHER;
  if (scheme == "file") return INTERNET_SCHEME_FILE;
  return INTERNET_SCHEME_UNKNOWN;
}

struct Piece {
  char* buffer;
  std::uint32_t* length;
  std::string text;
};

}  // namespace

bool InternetCrackUrlA(const char* url, std::uint32_t url_length, std::uint32_t flags,
                       URL_COMPONENTSA* components) {
  if (url == nullptr || components == nullptr) return Fail(kernel::ERROR_INVALID_PARAMETER);
  if (components->dwStructSize != sizeof(URL_COMPONENTSA) &&
      components->dwStructSize != kUrlComponentsLegacySize) {
    return Fail(kernel::ERROR_INVALID_PARAMETER);
  }
  if (!detail::EnsureCurlInitialised()) return Fail(ERROR_INTERNET_INTERNAL_ERROR);
  try {
    const std::string text =
        url_length != 0 ? std::string(url, strnlen(url, url_length)) : std::string(url);
    UrlPtr parsed(curl_url());
    if (!parsed) return Fail(kernel::ERROR_NOT_ENOUGH_MEMORY);
    if (text.empty() || curl_url_set(parsed.get(), CURLUPART_URL, text.c_str(),
                                     CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE |
                                         CURLU_PATH_AS_IS) != CURLUE_OK) {
      return Fail(ERROR_INTERNET_INVALID_URL);
    }
    const unsigned int decode = (flags & (ICU_ESCAPE | ICU_DECODE)) != 0 ? CURLU_URLDECODE : 0;
    std::optional<std::string> scheme, host, port, user, password, path, query, fragment;
    if (!GetPart(parsed.get(), CURLUPART_SCHEME, 0, &scheme) ||
        !GetPart(parsed.get(), CURLUPART_HOST, decode, &host) ||
        !GetPart(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT, &port) ||
        !GetPart(parsed.get(), CURLUPART_USER, decode, &user) ||
        !GetPart(parsed.get(), CURLUPART_PASSWORD, decode, &password) ||
        !GetPart(parsed.get(), CURLUPART_PATH, decode, &path) ||
        !GetPart(parsed.get(), CURLUPART_QUERY, decode, &query) ||
        !GetPart(parsed.get(), CURLUPART_FRAGMENT, decode, &fragment) || !scheme) {
      return Fail(ERROR_INTERNET_INVALID_URL);
    }
    std::string extra;
    if (query) extra += "?" + *query;
    if (fragment) extra += "#" + *fragment;
    unsigned int port_number = 0;
    if (port) {
      auto [end, error] = std::from_chars(port->data(), port->data() + port->size(), port_number);
      if (error != std::errc() || port_number > 65535) return Fail(ERROR_INTERNET_INVALID_URL);
    }

    Piece pieces[] = {
        {components->lpszScheme, &components->dwSchemeLength, *scheme},
        {components->lpszHostName, &components->dwHostNameLength, host.value_or("")},
        {components->lpszUserName, &components->dwUserNameLength, user.value_or("")},
        {components->lpszPassword, &components->dwPasswordLength, password.value_or("")},
        {components->lpszUrlPath, &components->dwUrlPathLength, path.value_or("")},
        {components->lpszExtraInfo, &components->dwExtraInfoLength, extra},
    };
    // Check every piece before writing any, so that a failure leaves everything untouched.
    for (const Piece& piece : pieces) {
      if (piece.buffer == nullptr && *piece.length != 0) {
        return Fail(kernel::ERROR_INVALID_PARAMETER);  // pointers into the URL: not supported
      }
      if (piece.buffer != nullptr && piece.text.size() + 1 > *piece.length) {
        return Fail(kernel::ERROR_INSUFFICIENT_BUFFER);
      }
    }
    for (Piece& piece : pieces) {
      if (piece.buffer == nullptr) continue;
      std::memcpy(piece.buffer, piece.text.c_str(), piece.text.size() + 1);
      *piece.length = static_cast<std::uint32_t>(piece.text.size());
    }
    components->nScheme = SchemeKind(*scheme);
    components->nPort = static_cast<INTERNET_PORT>(port_number);
    return true;
  } catch (const std::bad_alloc&) {
    return Fail(kernel::ERROR_NOT_ENOUGH_MEMORY);
  }
}

}  // namespace inet
