#include "winhttp/status_text.h"

#include <gtest/gtest.h>

#include <string>

namespace winhttp {
namespace {

TEST(StatusText, EveryNumberOfTheTableAndUnknownOtherwise) {
  const std::pair<std::uint32_t, const char*> table[] = {
      {10, "Resolving name"},     {11, "Name resolved"},          {20, "Connecting to server"},
      {21, "Connected"},          {30, "Sending Request"},        {31, "Request sent"},
      {40, "Receiving response"}, {41, "Response received"},      {42, "CTL Response received"},
      {43, "Prefetch"},           {50, "Closing connection"},     {51, "Connection closed"},
      {60, "Handle created"},     {70, "Handle closing"},         {100, "Request complete"},
      {110, "Redirect"},          {120, "Intermediate response"}, {200, "State change"},
  };
  for (const auto& [status, text] : table) EXPECT_EQ(StatusText(status), text) << status;
  for (const std::uint32_t status : {0u, 1u, 12u, 32u, 44u, 101u, 111u, 199u, 0xFFFFFFFFu}) {
    EXPECT_EQ(StatusText(status), "Unknown status") << status;
  }
}

TEST(RedirectNewURL, DropsTheCountedTerminator) {
  const char notice[] = "http://127.0.0.1:8080/next";
  EXPECT_EQ(RedirectNewURL(notice, sizeof notice), "http://127.0.0.1:8080/next");
  EXPECT_EQ(RedirectNewURL(notice, 0), "");
  EXPECT_EQ(RedirectNewURL(notice, 1), "");
  EXPECT_EQ(RedirectNewURL(notice, 2), "h");
  EXPECT_EQ(RedirectNewURL(nullptr, 40), "");
  // The length decides, not a NUL inside: the bytes are copied as they are.
  const char embedded[] = {'a', '\0', 'b', '\0'};
  EXPECT_EQ(RedirectNewURL(embedded, sizeof embedded), std::string("a\0b", 3));
}

}  // namespace
}  // namespace winhttp
