// Integer texts as the transfer component reads them from headers and dates.
//
// A text converts only as a whole: optional leading spaces, an optional "+" or "-", then either
// decimal digits or a hexadecimal number introduced by "$", "x" or "0x" (either letter case). An
// empty text, a missing digit, any trailing character (a trailing blank included) or a value
// outside the signed 32-bit range makes the conversion fail. The hexadecimal form obeys the same
// range as the decimal one ("$7FFFFFFF" converts, "$80000000" fails; "-$80000000" converts).
//
// Pure functions: any thread, no allocation, never throw.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace winhttp {

// The value of the text, or nothing when the conversion fails.
std::optional<std::int32_t> TryStrToInt(std::string_view text) noexcept;

// The value of the text, or default_value when the conversion fails.
std::int32_t StrToIntDef(std::string_view text, std::int32_t default_value) noexcept;

}  // namespace winhttp
