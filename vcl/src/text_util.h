// Private to the framework: ASCII text helpers (names in form files compare without case).
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace vcl {

inline char LowerAscii(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

inline std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

inline bool SameTextAscii(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

}  // namespace vcl
