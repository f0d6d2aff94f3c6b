#include "header_block.h"

#include <charconv>

#include "header_text.h"

namespace inet::detail {

void HeaderBlock::Clear() {
  first_line_.clear();
  lines_.clear();
  fields_.clear();
}

void HeaderBlock::AddLine(std::string_view line) {
  if (first_line_.empty()) {
    first_line_ = std::string(line);
    return;
  }
  if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
    // Obsolete line folding: the value goes on, joined by one space.
    if (!lines_.empty()) {
      lines_.back() += ' ';
      lines_.back() += TrimBlanks(line);
      fields_.back().second += ' ';
      fields_.back().second += TrimBlanks(line);
      return;
    }
  }
  lines_.emplace_back(line);
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) {
    fields_.emplace_back(std::string(TrimBlanks(line)), std::string());
  } else {
    fields_.emplace_back(std::string(TrimBlanks(line.substr(0, colon))),
                         std::string(TrimBlanks(line.substr(colon + 1))));
  }
}

std::string_view HeaderBlock::version() const {
  std::string_view line = first_line_;
  return line.substr(0, line.find(' '));
}

int HeaderBlock::status() const {
  std::string_view line = first_line_;
  if (line.substr(0, 5) != "HTTP/") return 0;
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return 0;
  std::string_view rest = TrimBlanks(line.substr(space + 1));
  int code = 0;
  auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), code);
  if (error != std::errc() || end - rest.data() != 3) return 0;
  return code;
}

std::string_view HeaderBlock::reason() const {
  std::string_view line = first_line_;
  std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return {};
  space = line.find(' ', space + 1);
  if (space == std::string_view::npos) return {};
  return TrimBlanks(line.substr(space + 1));
}

std::optional<std::string> HeaderBlock::Find(std::string_view name, std::size_t index) const {
  for (const auto& [field, value] : fields_) {
    if (EqualsIgnoreCase(field, name)) {
      if (index == 0) return value;
      --index;
    }
  }
  return std::nullopt;
}

std::optional<std::string> HeaderBlock::Coalesced(std::string_view name) const {
  std::optional<std::string> joined;
  for (const auto& [field, value] : fields_) {
    if (!EqualsIgnoreCase(field, name)) continue;
    if (joined) {
      *joined += ", ";
      *joined += value;
    } else {
      joined = value;
    }
  }
  return joined;
}

bool HeaderBlock::OffersScheme(std::string_view name, std::string_view scheme) const {
  for (const auto& [field, value] : fields_) {
    if (!EqualsIgnoreCase(field, name)) continue;
    // Challenges may share a header ("Basic realm=x, Digest ..."): look at every word that starts
    // a challenge, i.e. the first word and each word following a comma and blanks.
    std::string_view rest = value;
    bool at_start = true;
    while (!rest.empty()) {
      rest = TrimBlanks(rest);
      std::size_t end = rest.find_first_of(" ,\t");
      std::string_view word = rest.substr(0, end);
      if (at_start && EqualsIgnoreCase(word, scheme)) return true;
      if (end == std::string_view::npos) break;
      at_start = rest[end] == ',';
      rest.remove_prefix(end + 1);
    }
  }
  return false;
}

std::string HeaderBlock::RawCrLf() const {
  std::string text = first_line_ + "\r\n";
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  text += "\r\n";
  return text;
}

std::string HeaderBlock::RawNul() const {
  std::string text = first_line_;
  text.push_back('\0');
  for (const std::string& line : lines_) {
    text += line;
    text.push_back('\0');
  }
  return text;  // the copy's terminating NUL makes the closing second one
}

}  // namespace inet::detail
