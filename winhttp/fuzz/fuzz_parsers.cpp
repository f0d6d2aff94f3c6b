// libFuzzer target: every text parser of the transfer component on the same input. A parser that
// throws, crashes, reads out of bounds (ASan) or breaks a property its caller relies on aborts.
// Built and run by run.sh (clang only; not part of the normal build).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "winhttp/http_date.h"
#include "winhttp/int_text.h"
#include "winhttp/status_text.h"
#include "winhttp/url.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace winhttp;
  const std::string text(reinterpret_cast<const char*>(data), size);

  const TDateTime date = HTTPDateToDateTime(text);
  Require(std::isfinite(date) && std::fabs(date) < 2958466.0 + 2);
  Require(std::fabs(ZoneOffsetToDateTime(text)) < 1.0);
  (void)TryStrToInt(text);

  const std::string escaped = EscapeURL(text);
  Require(escaped.size() >= text.size() && escaped.size() <= 3 * text.size());

  std::string rest = text;
  std::string head;
  CutToken(rest, " ", true, head);
  Require(head.size() + rest.size() + (text.find(' ') != std::string::npos ? 1 : 0) == text.size());

  Require(RedirectNewURL(data, static_cast<std::uint32_t>(size)).size() == (size ? size - 1 : 0));
  (void)StatusText(size);
  return 0;
}
