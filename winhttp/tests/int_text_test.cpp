#include "winhttp/int_text.h"

#include <gtest/gtest.h>

#include <optional>

namespace winhttp {
namespace {

TEST(TryStrToInt, ConvertsWholeTextsOnly) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> value;
  };
  const Case cases[] = {
      {"0", 0},
      {"06", 6},
      {"1994", 1994},
      {"+12", 12},
      {"-12", -12},
      {"   42", 42},  // leading spaces
      {"$1F", 31},
      {"$ff", 255},
      {"x10", 16},
      {"X10", 16},
      {"0x10", 16},
      {"0X1a", 26},
      {"-$10", -16},
      {"+0x10", 16},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"$7FFFFFFF", 2147483647},
      {"-$80000000", INT32_MIN},
      {"00000000000000000000001", 1},
      // Failures.
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {"$", std::nullopt},
      {"x", std::nullopt},
      {"0x", std::nullopt},
      {"42 ", std::nullopt},  // trailing characters of any kind
      {"42x", std::nullopt},
      {"4 2", std::nullopt},
      {"\t42", std::nullopt},  // only spaces lead
      {"- 42", std::nullopt},
      {"--42", std::nullopt},
      {"1F", std::nullopt},
      {"$G", std::nullopt},
      {"0x0x1", std::nullopt},
      {"2147483648", std::nullopt},  // overflow
      {"-2147483649", std::nullopt},
      {"$80000000", std::nullopt},
      {"$FFFFFFFF", std::nullopt},
      {"99999999999999999999999", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TryStrToInt(c.text), c.value) << "text: \"" << c.text << "\"";
  }
}

TEST(StrToIntDef, GivesTheDefaultOnFailure) {
  EXPECT_EQ(StrToIntDef("7", 1), 7);
  EXPECT_EQ(StrToIntDef("xx", 1), 1);
  EXPECT_EQ(StrToIntDef("", 1900), 1900);
  // A text with an embedded NUL is not a number.
  EXPECT_EQ(StrToIntDef(std::string_view("12\0", 3), -5), -5);
}

}  // namespace
}  // namespace winhttp
