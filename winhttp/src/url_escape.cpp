#include <string>
#include <string_view>

#include "winhttp/url.h"

namespace winhttp {
namespace {

// Control characters, the bytes of 128 and up, and the seven characters that would otherwise end
// or change the meaning of the extra info. 127 is deliberately copied as it is.
bool NeedsEscape(unsigned char byte) {
  switch (byte) {
    case ' ':
    case '#':
    case '%':
    case '*':
    case '+':
    case '<':
    case '>':
      return true;
    default:
      return byte < 32 || byte >= 128;
  }
}

}  // namespace

void EscapeURL(std::string_view text, std::string& result) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  // Built apart (so that text may view result itself) at its largest size, then cut to length.
  std::string escaped(text.size() * 3, '\0');
  char* out = escaped.data();
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (NeedsEscape(byte)) {
      *out++ = '%';
      *out++ = kHexDigits[byte >> 4];
      *out++ = kHexDigits[byte & 0x0F];
    } else {
      *out++ = c;
    }
  }
  escaped.resize(static_cast<std::size_t>(out - escaped.data()));
  result = std::move(escaped);
}

std::string EscapeURL(std::string_view text) {
  std::string result;
  EscapeURL(text, result);
  return result;
}

}  // namespace winhttp
