// HttpQueryInfoA levels that name a header: the header's name for each.
#pragma once

#include <cstdint>
#include <string_view>

namespace inet::detail {

// The header name of `level` (low 16 bits of the info level), or an empty view when the level
// is not a plain header (status code, raw headers, custom, unknown).
std::string_view HeaderNameOfLevel(std::uint32_t level);

}  // namespace inet::detail
