#include <cstring>
#include <string>
#include <vector>

#include "inet/wininet.h"
#include "split_url_with.h"
#include "winhttp/url.h"

namespace winhttp {
namespace {

// One piece's caller-supplied buffer, described to the splitter by pointer and capacity.
class PieceBuffer {
 public:
  explicit PieceBuffer(std::uint32_t capacity) : bytes_(capacity, '\0') {}
  char* data() { return bytes_.data(); }
  std::uint32_t capacity() const { return static_cast<std::uint32_t>(bytes_.size()); }
  // The NUL-terminated text the splitter left; "" for a piece the URL does not have. Bounded by
  // the buffer even if a splitter left no NUL.
  std::string Text() const {
    return std::string(bytes_.data(), strnlen(bytes_.data(), bytes_.size()));
  }

 private:
  std::vector<char> bytes_;
};

}  // namespace

namespace detail {

bool SplitURLWith(UrlSplitter split, const std::string& url, std::string& scheme,
                  std::string& host_name, std::string& url_path, std::string& user_name,
                  std::string& password, std::string& extra_info, std::uint16_t& port) {
  // The component's URL may come without a scheme ("host/path"); only a private copy gets one.
  std::string copy = url;
  if (copy.find("://") == std::string::npos) copy.insert(0, "http://");

  PieceBuffer scheme_buffer(kSchemeCapacity);
  PieceBuffer host_buffer(kHostNameCapacity);
  PieceBuffer user_buffer(kUserNameCapacity);
  PieceBuffer password_buffer(kPasswordCapacity);
  PieceBuffer path_buffer(kUrlPathCapacity);
  PieceBuffer extra_buffer(kExtraInfoCapacity);

  inet::URL_COMPONENTSA components{};
  components.dwStructSize = inet::kUrlComponentsLegacySize;
  components.lpszScheme = scheme_buffer.data();
  components.dwSchemeLength = scheme_buffer.capacity();
  components.lpszHostName = host_buffer.data();
  components.dwHostNameLength = host_buffer.capacity();
  components.lpszUserName = user_buffer.data();
  components.dwUserNameLength = user_buffer.capacity();
  components.lpszPassword = password_buffer.data();
  components.dwPasswordLength = password_buffer.capacity();
  components.lpszUrlPath = path_buffer.data();
  components.dwUrlPathLength = path_buffer.capacity();
  components.lpszExtraInfo = extra_buffer.data();
  components.dwExtraInfoLength = extra_buffer.capacity();

  if (!split(copy.c_str(), static_cast<std::uint32_t>(copy.size()), inet::ICU_ESCAPE,
             &components)) {
    return false;
  }

  // Every piece is copied out before any output is touched, so that running out of memory half
  // way cannot leave some outputs written and others not.
  std::string new_scheme = scheme_buffer.Text();
  std::string new_host = host_buffer.Text();
  std::string new_path = path_buffer.Text();
  std::string new_user = user_buffer.Text();
  std::string new_password = password_buffer.Text();
  std::string new_extra = extra_buffer.Text();
  scheme = std::move(new_scheme);
  host_name = std::move(new_host);
  url_path = std::move(new_path);
  user_name = std::move(new_user);
  password = std::move(new_password);
  extra_info = std::move(new_extra);
  port = components.nPort;
  return true;
}

}  // namespace detail

bool SplitURL(const std::string& url, std::string& scheme, std::string& host_name,
              std::string& url_path, std::string& user_name, std::string& password,
              std::string& extra_info, std::uint16_t& port) {
  return detail::SplitURLWith(&inet::InternetCrackUrlA, url, scheme, host_name, url_path, user_name,
                              password, extra_info, port);
}

}  // namespace winhttp
