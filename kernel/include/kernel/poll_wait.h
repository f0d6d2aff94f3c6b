// poll(2) as an interruptible wait (kernel/interrupt.h).
//
// On a thread started through kernel/thread.h, InterruptiblePoll adds a private wake descriptor
// to the set, registers a waker that makes it readable, and after the wait calls CheckPoint():
// a killed thread unwinds with ThreadKilled, a thread asked to suspend parks there until it is
// resumed. On other threads it is plain poll(2).
//
// Threads: any thread; acts on the calling thread only. Does not allocate for up to 8 descriptors.
#pragma once

#include <poll.h>

namespace kernel {

// Like poll(2): the number of ready descriptors, 0 on time-out, -1 with errno on failure. Returns
// -1 with errno EINTR when the wait was interrupted by a suspension that has since been lifted
// (the caller recomputes its time-out and waits again). `timeout_ms` < 0 waits without limit.
// Throws ThreadKilled when the calling thread is killed before or during the wait.
int InterruptiblePoll(pollfd* fds, nfds_t count, int timeout_ms);

}  // namespace kernel
