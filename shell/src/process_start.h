// Starting a child process without a shell, and making sure it never lingers as a zombie.
// Any thread; the functions keep no state of their own beyond the background reapers.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace shell::detail {

struct StartRequest {
  std::string program;  // an absolute path, or a bare name looked up in PATH (search_path)
  bool search_path = false;
  std::vector<std::string> arguments;  // the program's arguments, without its own name
  std::string directory;               // the child's working folder; ours when empty
};

// Starts the program in a session of its own, with default signal handling, an empty signal mask,
// /dev/null as standard input and no inherited descriptor above standard error. Returns 0 and
// sets `pid`, or returns the errno of the failed step (the exec's errno included). The caller
// owns the child: it must pass `pid` to ReapInBackground or WaitBriefly.
int StartProcess(const StartRequest& request, pid_t& pid);

// Has a background thread wait for the child, so that its exit leaves no zombie.
void ReapInBackground(pid_t pid) noexcept;

// Waits up to `limit` for the child to end. Returns its wait status (as waitpid gives it), or
// nothing when it still runs (it is then reaped in the background) or when the calling thread is
// being ended or suspended (kernel::InterruptPending: the caller must run kernel::CheckPoint).
std::optional<int> WaitBriefly(pid_t pid, std::chrono::milliseconds limit) noexcept;

}  // namespace shell::detail
