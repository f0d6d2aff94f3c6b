// Header lines: splitting header text into lines, checking names, and the request header list
// that HttpAddRequestHeadersA edits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace inet::detail {

// Splits header text at CR LF (or a lone LF) into its non-empty lines.
std::vector<std::string_view> SplitHeaderLines(std::string_view text);

// True when `name` is a non-empty HTTP token.
bool IsHeaderName(std::string_view name);

// Case-insensitive ASCII comparison.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Trims spaces and tabs at both ends.
std::string_view TrimBlanks(std::string_view text);

// Request header lines in the order added. Values have no CR, LF or NUL.
class HeaderList {
 public:
  // Applies one "Name: value" line with the HTTP_ADDREQ_FLAG_... modifiers. Returns 0 or the
  // error code (ERROR_HTTP_INVALID_HEADER, ERROR_HTTP_HEADER_ALREADY_EXISTS).
  std::uint32_t Apply(std::string_view line, std::uint32_t modifiers);
  // Applies every line of `text`; stops at the first failing line and returns its error.
  std::uint32_t ApplyText(std::string_view text, std::uint32_t modifiers);

  bool Has(std::string_view name) const;
  // This list with every header of `overrides` replacing those of the same name.
  HeaderList OverriddenBy(const HeaderList& overrides) const;

  const std::vector<std::pair<std::string, std::string>>& entries() const noexcept {
    return entries_;
  }

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
};

}  // namespace inet::detail
