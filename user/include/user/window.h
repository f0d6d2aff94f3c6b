// Windows and sent messages: a main-thread call channel in the shape of window messages.
//
// A window belongs to the thread that created it and has the window procedure of its class.
// SendMessage runs that procedure on the window's thread and blocks the sender until it has run;
// a send from the window's own thread calls the procedure directly. The window's thread runs the
// procedures of messages that other threads sent only while it services its message queue:
// DispatchSentMessages, PeekMessage and MsgWaitForMultipleObjects (user/message_wait.h), and the
// application object's message loop built on them (vcl/application.h).
//
// Sending costs no allocation: the message lives on the sender's stack while it is queued. The
// window's thread learns of a queued message through its queue's eventfd (MessageQueueFd), which
// a toolkit's event loop may poll as well.
//
// Exceptions: an exception that escapes the window procedure is captured on the window's thread
// and raised again on the sender (as std::exception_ptr handed back), so that nothing crosses the
// window's message loop. kernel::ThreadKilled is never captured.
//
// Forced end and suspension of the sender: the sender's wait is an interruptible wait
// (kernel/interrupt.h). A sender that is killed while its message is still queued withdraws it; a
// message whose sender has been killed is never run; if the sender is killed while its message
// runs, the window's thread finishes the procedure and drops the result. A sender that is
// suspended counts as stopped while it waits; its message may still run meanwhile, and it picks
// up the result once resumed.
#pragma once

#include <cstdint>

namespace user {

enum class HWND : std::uintptr_t {};  // HWND{} is "no window"
inline constexpr HWND kNoWindow{};

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// A window procedure: runs on the window's thread. May throw (see Exceptions above).
using WindowProc = LRESULT (*)(HWND window, std::uint32_t message, WPARAM wparam, LPARAM lparam);

// Registers a window class. False when `name` is empty, `proc` is null or the class exists.
// Any thread.
bool RegisterClass(const char* name, WindowProc proc);
// Removes a class. False when it is not registered or a window of it still exists. Any thread.
bool UnregisterClass(const char* name);

// Creates a window of a registered class, owned by the calling thread (its messages run there).
// kNoWindow when the class is not registered. The window is never shown. Any thread.
HWND CreateWindow(const char* class_name);
// Destroys a window. Messages still queued for it complete with result 0 without running; later
// sends return 0 at once. False when `window` does not exist. Any thread.
bool DestroyWindow(HWND window);
bool IsWindow(HWND window);

// Runs the window procedure on the window's thread and returns its result; blocks until then.
// Returns 0 at once when the window does not exist, and 0 without running anything when the
// window is destroyed or its thread ends before the message runs. Rethrows an exception of the
// window procedure (see above); throws kernel::ThreadKilled when the calling thread is killed
// while it waits. Any thread.
LRESULT SendMessage(HWND window, std::uint32_t message, WPARAM wparam, LPARAM lparam);

// The default procedure for messages a window procedure does not handle: returns 0.
LRESULT DefWindowProc(HWND window, std::uint32_t message, WPARAM wparam, LPARAM lparam) noexcept;

}  // namespace user
