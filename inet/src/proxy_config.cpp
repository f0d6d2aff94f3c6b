#include "proxy_config.h"

#include <cctype>

#include "inet/wininet.h"

namespace inet::detail {
namespace {

std::vector<std::string> SplitList(std::string_view text) {
  std::vector<std::string> items;
  std::string current;
  for (char c : text) {
    if (c == ' ' || c == ';' || c == ',' || c == '\t' || c == '\r' || c == '\n') {
      if (!current.empty()) items.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) items.push_back(std::move(current));
  return items;
}

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

bool GlobMatch(std::string_view text, std::string_view pattern) {
  // Iterative matcher with one backtrack point: linear enough for host names.
  std::size_t t = 0, p = 0, star = std::string_view::npos, mark = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = t;
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool HostMatchesBypass(std::string_view host, std::string_view pattern) {
  if (pattern == "<local>") return host.find('.') == std::string_view::npos;
  std::string bare_host = Lower(host);
  if (bare_host.size() > 2 && bare_host.front() == '[' && bare_host.back() == ']') {
    bare_host = bare_host.substr(1, bare_host.size() - 2);
  }
  std::string bare_pattern = Lower(pattern);
  // An entry may carry a scheme ("http://host"): the host part decides.
  if (auto pos = bare_pattern.find("://"); pos != std::string::npos) {
    bare_pattern.erase(0, pos + 3);
  }
  return GlobMatch(bare_host, bare_pattern);
}

std::optional<ProxyConfig> ProxyConfig::Parse(std::uint32_t access_type, const char* proxy,
                                              const char* bypass) {
  ProxyConfig config;
  switch (access_type) {
    case INTERNET_OPEN_TYPE_PRECONFIG:
    case INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY:
      config.mode_ = Mode::kEnvironment;
      return config;
    case INTERNET_OPEN_TYPE_DIRECT:
      config.mode_ = Mode::kDirect;
      return config;
    case INTERNET_OPEN_TYPE_PROXY:
      break;
    default:
      return std::nullopt;
  }
  config.mode_ = Mode::kNamed;
  for (const std::string& entry : SplitList(proxy != nullptr ? proxy : "")) {
    auto eq = entry.find('=');
    if (eq != std::string::npos) {
      if (eq + 1 < entry.size()) {
        config.servers_.emplace_back(Lower(entry.substr(0, eq)), entry.substr(eq + 1));
      }
    } else {
      config.servers_.emplace_back("", entry);
    }
  }
  if (config.servers_.empty()) return std::nullopt;
  config.bypass_ = SplitList(bypass != nullptr ? bypass : "");
  return config;
}

std::optional<std::string> ProxyConfig::ProxyFor(std::string_view scheme,
                                                 std::string_view host) const {
  switch (mode_) {
    case Mode::kEnvironment:
      return std::nullopt;
    case Mode::kDirect:
      return std::string();
    case Mode::kNamed:
      break;
  }
  for (const std::string& pattern : bypass_) {
    if (HostMatchesBypass(host, pattern)) return std::string();
  }
  const std::string* chosen = nullptr;
  for (const auto& [entry_scheme, server] : servers_) {
    if (entry_scheme == scheme) {
      chosen = &server;
      break;
    }
    if (entry_scheme.empty() && chosen == nullptr) chosen = &server;
  }
  if (chosen == nullptr) return std::string();  // no proxy for this scheme: go direct
  // The proxy itself is always spoken to in plain http unless the entry says otherwise.
  if (chosen->find("://") != std::string::npos) return *chosen;
  return "http://" + *chosen;
}

}  // namespace inet::detail
