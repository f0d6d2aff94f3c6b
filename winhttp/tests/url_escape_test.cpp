#include <gtest/gtest.h>

#include <string>

#include "winhttp/url.h"

namespace winhttp {
namespace {

TEST(EscapeURL, EscapesTheSetWithUpperCaseHex) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {" ", "%20"},
      {"%", "%25"},
      {"+", "%2B"},
      {"#", "%23"},
      {"*", "%2A"},
      {"<>", "%3C%3E"},
      {"\t", "%09"},
      {"\xE9", "%E9"},
      {"\xFF\x80", "%FF%80"},
      {std::string(1, '\0'), "%00"},
      {"\x1F", "%1F"},
      {"?q=a b&c=1+1#top", "?q=a%20b&c=1%2B1%23top"},
      {"%41", "%2541"},        // an existing escape is escaped again
      {"\xC3\xA9", "%C3%A9"},  // byte by byte
  };
  for (const auto& [text, escaped] : cases) EXPECT_EQ(EscapeURL(text), escaped) << text;
}

TEST(EscapeURL, CopiesEveryOtherByte) {
  const std::string unchanged = "?&=/:\"{}|\\^`~!$'(),;@[]abcxyzABCXYZ0123456789-._\x7F";
  EXPECT_EQ(EscapeURL(unchanged), unchanged);
  // Exactly the 32 control bytes, the 128 high bytes and 7 printable characters are escaped.
  int escaped = 0;
  for (int byte = 0; byte < 256; ++byte) {
    const std::string out = EscapeURL(std::string(1, static_cast<char>(byte)));
    if (out.size() == 3) {
      ++escaped;
      EXPECT_EQ(out[0], '%');
    } else {
      EXPECT_EQ(out, std::string(1, static_cast<char>(byte)));
    }
  }
  EXPECT_EQ(escaped, 32 + 128 + 7);
}

TEST(EscapeURL, EmptiesTheOutputFirstAndMayWorkInPlace) {
  std::string out = "stale";
  EscapeURL("a b", out);
  EXPECT_EQ(out, "a%20b");
  EscapeURL("", out);
  EXPECT_EQ(out, "");
  std::string same = "1+1 %";
  EscapeURL(same, same);
  EXPECT_EQ(same, "1%2B1%20%25");
}

}  // namespace
}  // namespace winhttp
