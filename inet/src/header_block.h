// One HTTP header block as it came over the wire (or went out): the first line (status line of
// a response, request line of a request) and its header lines, with the lookups HttpQueryInfoA
// needs.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace inet::detail {

class HeaderBlock {
 public:
  void Clear();
  bool empty() const noexcept { return first_line_.empty(); }

  // Adds a line without its line end: the first call gives the first line; a line starting with
  // a blank continues the previous header's value.
  void AddLine(std::string_view line);

  const std::string& first_line() const noexcept { return first_line_; }
  // Of a status line "HTTP/1.1 200 OK": "HTTP/1.1", 200, "OK". 0 when it is not one.
  std::string_view version() const;
  int status() const;
  std::string_view reason() const;

  // The value of the `index`-th header named `name` (case-insensitive), blanks trimmed.
  std::optional<std::string> Find(std::string_view name, std::size_t index) const;
  // All values of headers named `name` joined with ", "; nullopt when there is none.
  std::optional<std::string> Coalesced(std::string_view name) const;
  // True when a header `name` offers the authentication scheme `scheme` (e.g. "Digest").
  bool OffersScheme(std::string_view name, std::string_view scheme) const;

  // First line and header lines, each followed by CR LF, then an empty line.
  std::string RawCrLf() const;
  // First line and header lines, each followed by a NUL (a copy's terminator closes the list).
  std::string RawNul() const;

 private:
  std::string first_line_;
  std::vector<std::string> lines_;                           // raw header lines, unfolded
  std::vector<std::pair<std::string, std::string>> fields_;  // name, trimmed value
};

}  // namespace inet::detail
