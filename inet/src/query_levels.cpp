#include "query_levels.h"

#include <array>

#include "inet/wininet.h"

namespace inet::detail {
namespace {

struct LevelName {
  std::uint32_t level;
  std::string_view name;
};

constexpr std::array kLevelNames = {
    LevelName{HTTP_QUERY_MIME_VERSION, "MIME-Version"},
    LevelName{HTTP_QUERY_CONTENT_TYPE, "Content-Type"},
    LevelName{HTTP_QUERY_CONTENT_TRANSFER_ENCODING, "Content-Transfer-Encoding"},
    LevelName{HTTP_QUERY_CONTENT_ID, "Content-ID"},
    LevelName{HTTP_QUERY_CONTENT_DESCRIPTION, "Content-Description"},
    LevelName{HTTP_QUERY_CONTENT_LENGTH, "Content-Length"},
    LevelName{HTTP_QUERY_CONTENT_LANGUAGE, "Content-Language"},
    LevelName{HTTP_QUERY_ALLOW, "Allow"},
    LevelName{HTTP_QUERY_PUBLIC, "Public"},
    LevelName{HTTP_QUERY_DATE, "Date"},
    LevelName{HTTP_QUERY_EXPIRES, "Expires"},
    LevelName{HTTP_QUERY_LAST_MODIFIED, "Last-Modified"},
    LevelName{HTTP_QUERY_MESSAGE_ID, "Message-ID"},
    LevelName{HTTP_QUERY_URI, "URI"},
    LevelName{HTTP_QUERY_DERIVED_FROM, "Derived-From"},
    LevelName{HTTP_QUERY_COST, "Cost"},
    LevelName{HTTP_QUERY_LINK, "Link"},
    LevelName{HTTP_QUERY_PRAGMA, "Pragma"},
    LevelName{HTTP_QUERY_CONNECTION, "Connection"},
    LevelName{HTTP_QUERY_ACCEPT, "Accept"},
    LevelName{HTTP_QUERY_ACCEPT_CHARSET, "Accept-Charset"},
    LevelName{HTTP_QUERY_ACCEPT_ENCODING, "Accept-Encoding"},
    LevelName{HTTP_QUERY_ACCEPT_LANGUAGE, "Accept-Language"},
    LevelName{HTTP_QUERY_AUTHORIZATION, "Authorization"},
    LevelName{HTTP_QUERY_CONTENT_ENCODING, "Content-Encoding"},
    LevelName{HTTP_QUERY_FORWARDED, "Forwarded"},
    LevelName{HTTP_QUERY_FROM, "From"},
    LevelName{HTTP_QUERY_IF_MODIFIED_SINCE, "If-Modified-Since"},
    LevelName{HTTP_QUERY_LOCATION, "Location"},
    LevelName{HTTP_QUERY_ORIG_URI, "Orig-URI"},
    LevelName{HTTP_QUERY_REFERER, "Referer"},
    LevelName{HTTP_QUERY_RETRY_AFTER, "Retry-After"},
    LevelName{HTTP_QUERY_SERVER, "Server"},
    LevelName{HTTP_QUERY_TITLE, "Title"},
    LevelName{HTTP_QUERY_USER_AGENT, "User-Agent"},
    LevelName{HTTP_QUERY_WWW_AUTHENTICATE, "WWW-Authenticate"},
    LevelName{HTTP_QUERY_PROXY_AUTHENTICATE, "Proxy-Authenticate"},
    LevelName{HTTP_QUERY_ACCEPT_RANGES, "Accept-Ranges"},
    LevelName{HTTP_QUERY_SET_COOKIE, "Set-Cookie"},
    LevelName{HTTP_QUERY_COOKIE, "Cookie"},
    LevelName{HTTP_QUERY_REFRESH, "Refresh"},
    LevelName{HTTP_QUERY_CONTENT_DISPOSITION, "Content-Disposition"},
    LevelName{HTTP_QUERY_AGE, "Age"},
    LevelName{HTTP_QUERY_CACHE_CONTROL, "Cache-Control"},
    LevelName{HTTP_QUERY_CONTENT_BASE, "Content-Base"},
    LevelName{HTTP_QUERY_CONTENT_LOCATION, "Content-Location"},
    LevelName{HTTP_QUERY_CONTENT_MD5, "Content-MD5"},
    LevelName{HTTP_QUERY_CONTENT_RANGE, "Content-Range"},
    LevelName{HTTP_QUERY_ETAG, "ETag"},
    LevelName{HTTP_QUERY_HOST, "Host"},
    LevelName{HTTP_QUERY_IF_MATCH, "If-Match"},
    LevelName{HTTP_QUERY_IF_NONE_MATCH, "If-None-Match"},
    LevelName{HTTP_QUERY_IF_RANGE, "If-Range"},
    LevelName{HTTP_QUERY_IF_UNMODIFIED_SINCE, "If-Unmodified-Since"},
    LevelName{HTTP_QUERY_MAX_FORWARDS, "Max-Forwards"},
    LevelName{HTTP_QUERY_PROXY_AUTHORIZATION, "Proxy-Authorization"},
    LevelName{HTTP_QUERY_RANGE, "Range"},
    LevelName{HTTP_QUERY_TRANSFER_ENCODING, "Transfer-Encoding"},
    LevelName{HTTP_QUERY_UPGRADE, "Upgrade"},
    LevelName{HTTP_QUERY_VARY, "Vary"},
    LevelName{HTTP_QUERY_VIA, "Via"},
    LevelName{HTTP_QUERY_WARNING, "Warning"},
    LevelName{HTTP_QUERY_EXPECT, "Expect"},
    LevelName{HTTP_QUERY_PROXY_CONNECTION, "Proxy-Connection"},
    LevelName{HTTP_QUERY_UNLESS_MODIFIED_SINCE, "Unless-Modified-Since"},
};

}  // namespace

std::string_view HeaderNameOfLevel(std::uint32_t level) {
  for (const LevelName& entry : kLevelNames) {
    if (entry.level == level) return entry.name;
  }
  return {};
}

}  // namespace inet::detail
