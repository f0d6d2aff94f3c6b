// Running the main thread's message loop in a test until something happens, so that workers'
// synchronised calls (and, with a display, window events) are handled meanwhile. Header-only: the
// tests that include it link the user and vcl layers already.
//
// Threads: the main thread only.
#pragma once

#include <chrono>
#include <functional>

#include "user/message_wait.h"
#include "vcl/application.h"

namespace testsupport {

// Handles messages until `done` holds; false when `limit` passes first.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    user::MsgWaitForMultipleObjects({}, false, 2, user::kQsAllEvents);
    vcl::Application().ProcessMessages();
  }
  return true;
}

// Handles messages for `duration` (to show that something does NOT happen meanwhile).
inline void PumpFor(std::chrono::milliseconds duration) {
  PumpUntil([] { return false; }, duration);
}

}  // namespace testsupport
