// SplitURL over an exchangeable URL splitter: the component always uses InternetCrackUrlA; tests
// put a recording splitter in its place to see exactly what SplitURL hands over.
#pragma once

#include <cstdint>
#include <string>

#include "inet/wininet.h"

namespace winhttp::detail {

using UrlSplitter = bool (*)(const char* url, std::uint32_t url_length, std::uint32_t flags,
                             inet::URL_COMPONENTSA* components);

// SplitURL's whole contract with `split` in the place of InternetCrackUrlA.
bool SplitURLWith(UrlSplitter split, const std::string& url, std::string& scheme,
                  std::string& host_name, std::string& url_path, std::string& user_name,
                  std::string& password, std::string& extra_info, std::uint16_t& port);

}  // namespace winhttp::detail
