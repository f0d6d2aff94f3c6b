#include "kernel/poll_wait.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <vector>

#include "kernel/interrupt.h"
#include "thread_control.h"

namespace kernel {
namespace {

void WriteWakeFd(void* context) noexcept {
  const std::uint64_t one = 1;
  (void)!write(*static_cast<int*>(context), &one, sizeof one);
}

void DrainWakeFd(int fd) noexcept {
  std::uint64_t count = 0;
  (void)!read(fd, &count, sizeof count);
}

// The calling kernel thread's wake descriptor, created on first use; -1 if it cannot be made.
int WakeFdOf(detail::ThreadControl* control) noexcept {
  if (control->interrupt_fd < 0) {
    const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::lock_guard guard(control->lock);  // the field is read by nobody else; the lock orders it
    control->interrupt_fd = fd;
  }
  return control->interrupt_fd;
}

}  // namespace

int InterruptiblePoll(pollfd* fds, nfds_t count, int timeout_ms) {
  detail::ThreadControl* control = detail::CurrentControl();
  if (control == nullptr) return poll(fds, count, timeout_ms);
  const int wake_fd = WakeFdOf(control);
  if (wake_fd < 0) return -1;

  constexpr nfds_t kInline = 8;
  std::array<pollfd, kInline + 1> inline_set;
  std::vector<pollfd> heap_set;
  pollfd* set = inline_set.data();
  if (count > kInline) {
    heap_set.resize(count + 1);
    set = heap_set.data();
  }
  for (nfds_t i = 0; i < count; ++i) set[i] = fds[i];
  set[count] = pollfd{wake_fd, POLLIN, 0};

  int ready = 0;
  int poll_errno = 0;
  bool interrupted = false;
  {
    InterruptibleWait guard(&WriteWakeFd, &control->interrupt_fd);  // throws when killed
    // Drain before testing: a kill or suspension after this point writes the descriptor again.
    DrainWakeFd(wake_fd);
    if (InterruptPending()) {
      interrupted = true;
    } else {
      ready = poll(set, count + 1, timeout_ms);
      poll_errno = errno;
      if (ready > 0 && set[count].revents != 0) {
        --ready;
        interrupted = ready == 0;  // woken only by the interruption
      }
    }
  }
  CheckPoint();  // ThreadKilled, or park here until resumed
  for (nfds_t i = 0; i < count; ++i) fds[i].revents = interrupted ? 0 : set[i].revents;
  if (interrupted) {
    errno = EINTR;
    return -1;
  }
  if (ready < 0) errno = poll_errno;
  return ready;
}

}  // namespace kernel
