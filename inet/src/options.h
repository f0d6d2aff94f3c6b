// InternetSetOptionA / InternetQueryOptionA on a handle object (or on no handle, for the
// process-wide options). Any thread; never waits for a running transfer.
#pragma once

#include <cstdint>

#include "handle_object.h"

namespace inet::detail {

// `object` is null for a null handle. Return and last error as the API functions.
bool SetOption(HandleObject* object, std::uint32_t option, const void* buffer,
               std::uint32_t length);
bool QueryOption(HandleObject* object, std::uint32_t option, void* buffer, std::uint32_t* length);

}  // namespace inet::detail
