#include "command_line.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

namespace shell::detail {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A switch such as "/e" counts only when followed by a comma, a blank or the end, so that a
// folder like "/nfs/share" is not mistaken for the "/n" switch.
bool TakeSwitch(std::string_view& text, std::string_view name) {
  if (!StartsWithNoCase(text, name)) return false;
  if (text.size() > name.size() && text[name.size()] != ',' && !IsBlank(text[name.size()])) {
    return false;
  }
  text.remove_prefix(std::min(text.size(), name.size() + 1));
  return true;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view text) {
  std::vector<std::string> arguments;
  std::string current;
  bool in_argument = false;
  bool quoted = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\\') {
      std::size_t slashes = 0;
      while (i < text.size() && text[i] == '\\') {
        ++slashes;
        ++i;
      }
      in_argument = true;
      if (i < text.size() && text[i] == '"') {
        current.append(slashes / 2, '\\');
        if (slashes % 2 == 1) {
          current += '"';
          ++i;
        }
        // An even count leaves the quote to the next round, where it opens or closes.
      } else {
        current.append(slashes, '\\');
      }
      continue;
    }
    if (c == '"') {
      in_argument = true;
      if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
        current += '"';
        i += 2;
        continue;
      }
      quoted = !quoted;
      ++i;
      continue;
    }
    if (IsBlank(c) && !quoted) {
      if (in_argument) arguments.push_back(std::move(current));
      current.clear();
      in_argument = false;
      ++i;
      continue;
    }
    current += c;
    in_argument = true;
    ++i;
  }
  if (in_argument) arguments.push_back(std::move(current));
  return arguments;
}

bool IsExplorer(std::string_view file) {
  const std::size_t cut = file.find_last_of("/\\");
  const std::string_view name = cut == std::string_view::npos ? file : file.substr(cut + 1);
  return EqualsNoCase(name, "EXPLORER.EXE") || EqualsNoCase(name, "EXPLORER");
}

std::string ExplorerFolder(std::string_view parameters) {
  std::string_view rest = TrimBlanks(parameters);
  bool select = false;
  for (;;) {
    rest = TrimBlanks(rest);
    if (TakeSwitch(rest, "/e") || TakeSwitch(rest, "/n")) continue;
    if (StartsWithNoCase(rest, "/root,")) {
      rest.remove_prefix(6);
      break;
    }
    if (StartsWithNoCase(rest, "/select,")) {
      rest.remove_prefix(8);
      select = true;
      break;
    }
    break;
  }
  rest = TrimBlanks(rest);
  if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') {
    rest = rest.substr(1, rest.size() - 2);
  }
  if (select) {
    const std::size_t cut = rest.find_last_of('/');
    if (cut == std::string_view::npos) return ".";
    return std::string(cut == 0 ? rest.substr(0, 1) : rest.substr(0, cut));
  }
  return std::string(rest);
}

}  // namespace shell::detail
