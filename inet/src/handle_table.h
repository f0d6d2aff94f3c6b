// The process-wide table that turns HINTERNET values into objects. Handle values are keys that
// are never reused, so a stale handle is reported as invalid instead of reaching another object.
// Any thread.
#pragma once

#include <memory>

#include "handle_object.h"
#include "inet/wininet.h"

namespace inet::detail {

// Registers `object` and returns its new handle (also stored in the object).
HINTERNET RegisterHandle(const std::shared_ptr<HandleObject>& object);

// The object of `handle`, or null when the handle is null, unknown or closed.
std::shared_ptr<HandleObject> FindHandle(HINTERNET handle);

// Removes `handle` from the table; returns its object (null when it was not there).
std::shared_ptr<HandleObject> UnregisterHandle(HINTERNET handle);

}  // namespace inet::detail
