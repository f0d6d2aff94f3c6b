#include "process_start.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

#include "kernel/interrupt.h"

extern char** environ;

namespace shell::detail {

namespace {

// RAII holders for the spawn attribute objects: both must be destroyed on every path.
class SpawnActions {
 public:
  SpawnActions() { error_ = posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() {
    if (error_ == 0) posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  int error() const { return error_; }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
  int error_;
};

class SpawnAttributes {
 public:
  SpawnAttributes() { error_ = posix_spawnattr_init(&attributes_); }
  ~SpawnAttributes() {
    if (error_ == 0) posix_spawnattr_destroy(&attributes_);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  int error() const { return error_; }
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_{};
  int error_;
};

// A stand-alone program must not share our terminal's job control, our blocked signals, our
// ignored SIGPIPE or any descriptor (sockets, eventfds, the X connection) of ours.
int PrepareChild(SpawnActions& actions, SpawnAttributes& attributes, const std::string& directory) {
  if (int error = actions.error()) return error;
  if (int error = attributes.error()) return error;
  if (int error =
          posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0)) {
    return error;
  }
  if (!directory.empty()) {
    if (int error = posix_spawn_file_actions_addchdir_np(actions.get(), directory.c_str())) {
      return error;
    }
  }
  if (int error = posix_spawn_file_actions_addclosefrom_np(actions.get(), STDERR_FILENO + 1)) {
    return error;
  }
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  if (int error = posix_spawnattr_setsigmask(attributes.get(), &none)) return error;
  if (int error = posix_spawnattr_setsigdefault(attributes.get(), &all)) return error;
  return posix_spawnattr_setflags(
      attributes.get(), POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
}

}  // namespace

int StartProcess(const StartRequest& request, pid_t& pid) {
  SpawnActions actions;
  SpawnAttributes attributes;
  if (int error = PrepareChild(actions, attributes, request.directory)) return error;

  std::vector<char*> argv;
  argv.reserve(request.arguments.size() + 2);
  argv.push_back(const_cast<char*>(request.program.c_str()));
  for (const std::string& argument : request.arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);

  const auto spawn = request.search_path ? posix_spawnp : posix_spawn;
  return spawn(&pid, request.program.c_str(), actions.get(), attributes.get(), argv.data(),
               environ);
}

void ReapInBackground(pid_t pid) noexcept {
  try {
    std::thread([pid] {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the child stays a zombie until we exit; nothing else is harmed.
  }
}

std::optional<int> WaitBriefly(pid_t pid, std::chrono::milliseconds limit) noexcept {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return status;
    if (done < 0 && errno != EINTR) return std::nullopt;  // not our child any more: nothing to reap
    if (kernel::InterruptPending() || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
  ReapInBackground(pid);
  return std::nullopt;
}

}  // namespace shell::detail
