// The message waits of a thread: servicing the messages other threads have sent to its windows,
// and waiting for thread ends and messages at the same time.
//
// Every function acts on the calling thread's message queue (created on first use) and may be
// called on any thread; the program's main thread is the one that normally services messages.
// Window procedures run inside these calls; their exceptions go back to the senders
// (user/window.h), exceptions of an event source's Dispatch propagate to the caller.
#pragma once

#include <cstdint>
#include <span>

#include "kernel/thread.h"

namespace user {

// Wake mask bits. kQsSendMessage alone wakes only for sent messages; any other bit also wakes for
// the event source's input, timers and painting (user/event_source.h).
inline constexpr std::uint32_t kQsKey = 0x01;
inline constexpr std::uint32_t kQsMouseMove = 0x02;
inline constexpr std::uint32_t kQsMouseButton = 0x04;
inline constexpr std::uint32_t kQsPostMessage = 0x08;
inline constexpr std::uint32_t kQsTimer = 0x10;
inline constexpr std::uint32_t kQsPaint = 0x20;
inline constexpr std::uint32_t kQsSendMessage = 0x40;
inline constexpr std::uint32_t kQsHotKey = 0x80;
inline constexpr std::uint32_t kQsAllEvents = 0xFF;

// Waits until one of `threads` has ended, a message of `wake_mask` is waiting, or `timeout_ms`
// has passed (kernel::kInfinite: no limit). Result: kernel::kWaitObject0 + i for the first ended
// thread i; kernel::kWaitObject0 + threads.size() when a message is waiting; kernel::kWaitTimeout;
// kernel::kWaitFailed when a handle is null, `wait_all` is true (not supported) or the system
// wait fails. Runs no message itself. An interruptible wait when called on a kernel thread.
std::uint32_t MsgWaitForMultipleObjects(std::span<const kernel::ThreadHandle> threads,
                                        bool wait_all, std::uint32_t timeout_ms,
                                        std::uint32_t wake_mask);

// Runs every message other threads have sent to windows of the calling thread, including those
// sent meanwhile, and returns how many ran. Never waits for new ones.
int DispatchSentMessages();

// PeekMessage with no window filter, range 0 to 0 and no removal: runs the sent messages
// (DispatchSentMessages), then tells whether other input (the event source's) is waiting.
bool PeekMessage();

// The calling thread's queue descriptor: readable while messages sent to its windows wait. For a
// toolkit loop that waits by itself; call DispatchSentMessages when it is readable. Valid for
// the life of the thread.
int MessageQueueFd();

}  // namespace user
