// The forms layer's event source in the application loop (see forms/display.h). Main thread.
#pragma once

#include <functional>

namespace forms::detail {

// Adds the X connection to the descriptors the loop polls.
void WatchDisplayFd(int fd);
// The descriptor that becomes readable when QueueCall queued something; for FLTK's own loops.
int QueueWakeFd();
// Runs the queued calls now (from inside an FLTK loop, guarded by the caller).
void RunQueuedCallsNow();

// Runs the application's message loop (vcl::Application().HandleMessage) until `done` returns
// true or the application is terminated. `done` is checked before every wait; whatever makes it
// true must also wake the loop (an event, a queued call, a sent message).
void RunModalLoop(const std::function<bool()>& done);

}  // namespace forms::detail
