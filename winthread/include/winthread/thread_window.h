// The hidden window "TWinThreadWindow" that carries synchronised calls to the main thread.
//
// All thread objects (TEventWinThread) of the process share one window. It is reference-counted
// under one process-wide lock (ThreadWindowLock) that guards only the count and the window's
// creation and destruction: every thread object acquires it when it is created and releases it
// when it is destroyed. The window belongs to the thread that made the count go from 0 to 1 (in
// this program the main thread), and every synchronised call runs there.
//
// Threads: AcquireThreadWindow and ReleaseThreadWindow on any thread (the latter also on a worker
// whose thread object frees itself); the window procedure on the window's thread. Failures of the
// window layer are not reported: a synchronised call to a window that does not exist returns at
// once without running anything.
#pragma once

#include <cstdint>

#include "user/window.h"

namespace winthread {

// The window message that carries a synchronised call: wParam 0, lParam the thread object.
inline constexpr std::uint32_t WM_THREADSYNC = 0x8FFF;
inline constexpr char kThreadWindowClassName[] = "TWinThreadWindow";

// Adds one to the count; the first registers the class and creates the window.
void AcquireThreadWindow();
// Subtracts one; the last destroys the window and unregisters the class. Never throws.
void ReleaseThreadWindow() noexcept;

// The window procedure: runs the pending synchronised call of the thread object in lParam unless
// its component is being destroyed; other messages go to the default procedure. An exception of
// the call escapes to the message channel, which hands it back to the sender.
user::LRESULT ThreadWindowProc(user::HWND window, std::uint32_t message, user::WPARAM wparam,
                               user::LPARAM lparam);

// Inspection (tests, diagnostics): the current window (kNoWindow while the count is 0) and the
// count of live thread objects.
user::HWND ThreadWindow() noexcept;
std::int32_t ThreadWindowCount() noexcept;

}  // namespace winthread
