#include "header_text.h"

#include <algorithm>
#include <cctype>

#include "inet/wininet.h"

namespace inet::detail {

std::vector<std::string_view> SplitHeaderLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

bool IsHeaderName(std::string_view name) {
  if (name.empty()) return false;
  static constexpr std::string_view kTokenSpecials = "!#$%&'*+-.^_`|~";
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           kTokenSpecials.find(c) != std::string_view::npos;
  });
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::uint32_t HeaderList::Apply(std::string_view line, std::uint32_t modifiers) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return ERROR_HTTP_INVALID_HEADER;
  const std::string_view name = TrimBlanks(line.substr(0, colon));
  const std::string_view value = TrimBlanks(line.substr(colon + 1));
  if (!IsHeaderName(name) || value.find('\0') != std::string_view::npos ||
      value.find('\r') != std::string_view::npos) {
    return ERROR_HTTP_INVALID_HEADER;
  }
  auto existing = std::find_if(entries_.begin(), entries_.end(), [&](const auto& entry) {
    return EqualsIgnoreCase(entry.first, name);
  });
  const bool exists = existing != entries_.end();

  if ((modifiers & HTTP_ADDREQ_FLAG_ADD_IF_NEW) != 0) {
    if (exists) return ERROR_HTTP_HEADER_ALREADY_EXISTS;
    entries_.emplace_back(std::string(name), std::string(value));
    return 0;
  }
  if ((modifiers & HTTP_ADDREQ_FLAG_REPLACE) != 0) {
    // Every header of that name goes; the new value (if any) takes the first one's place.
    std::size_t position =
        exists ? static_cast<std::size_t>(existing - entries_.begin()) : entries_.size();
    std::erase_if(entries_, [&](const auto& entry) { return EqualsIgnoreCase(entry.first, name); });
    if (!value.empty()) {
      position = std::min(position, entries_.size());
      entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(position),
                      {std::string(name), std::string(value)});
    }
    return 0;
  }
  const bool comma = (modifiers & HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA) != 0;
  const bool semicolon = (modifiers & HTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON) != 0;
  if (exists && (comma || semicolon)) {
    existing->second += comma ? ", " : "; ";
    existing->second += value;
    return 0;
  }
  entries_.emplace_back(std::string(name), std::string(value));
  return 0;
}

std::uint32_t HeaderList::ApplyText(std::string_view text, std::uint32_t modifiers) {
  for (std::string_view line : SplitHeaderLines(text)) {
    if (std::uint32_t error = Apply(line, modifiers); error != 0) return error;
  }
  return 0;
}

bool HeaderList::Has(std::string_view name) const {
  return std::any_of(entries_.begin(), entries_.end(),
                     [&](const auto& entry) { return EqualsIgnoreCase(entry.first, name); });
}

HeaderList HeaderList::OverriddenBy(const HeaderList& overrides) const {
  HeaderList result;
  for (const auto& entry : entries_) {
    if (!overrides.Has(entry.first)) result.entries_.push_back(entry);
  }
  for (const auto& entry : overrides.entries_) result.entries_.push_back(entry);
  return result;
}

}  // namespace inet::detail
