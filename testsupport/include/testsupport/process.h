// Temporary folders, child processes and loopback ports for tests that start real servers.
//
// Everything here is RAII: a TempDir removes its folder, a ChildProcess stops and reaps its
// process (and the process group it leads) when destroyed. Failures to set up throw
// std::runtime_error with a message that says what went wrong (tests let it fail the test).
//
// Threads: objects are not shared between threads; different objects may be used on different
// threads. A child process is tied to the thread that started it (it is killed if that thread
// ends), so start servers from the test's main thread or a fixture, not from a short-lived thread.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// A fresh folder under $TMPDIR (or /tmp), removed with all its contents on destruction.
class TempDir {
 public:
  explicit TempDir(std::string_view prefix = "ou-test");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const noexcept { return path_; }
  // path() + "/" + relative.
  std::string File(std::string_view relative) const;
  // Writes `content` to `relative` (creating parent folders), returns the full path.
  std::string Write(std::string_view relative, std::string_view content) const;
  // Makes the folder and everything in it readable (and the folder writable) for every user:
  // servers that drop their privileges (squid) must reach their files.
  void OpenToAll() const;

 private:
  std::string path_;
};

// Reads a whole file; empty when it can't be read.
std::string ReadFile(const std::string& path);

// A program started with fork/exec in a process group of its own, stdout and stderr going to
// `log_path`. Destruction (or Stop) kills the group (SIGTERM, SIGKILL after `grace`) and reaps it.
class ChildProcess {
 public:
  ChildProcess(std::vector<std::string> argv, std::string log_path,
               std::chrono::milliseconds grace = std::chrono::milliseconds(500));
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const noexcept { return pid_; }
  // False once the process has ended (it is reaped then).
  bool Running();
  void Stop();
  // What the process wrote to stdout and stderr so far.
  std::string Log() const { return ReadFile(log_path_); }

 private:
  pid_t pid_ = -1;
  std::string log_path_;
  std::chrono::milliseconds grace_;
};

// A loopback port that was free a moment ago (bound to 127.0.0.1:0 and released). Another
// process may take it before the server does; the server classes retry with a new port then.
std::uint16_t PickFreePort();

// Waits until a TCP connection to 127.0.0.1:`port` succeeds. False after `timeout`, or as soon as
// `process` (when given) has ended.
bool WaitForPort(std::uint16_t port, std::chrono::milliseconds timeout,
                 ChildProcess* process = nullptr);

// The deterministic test pattern: byte i of a file or body is (i % 251). Handy for checking that
// ranges and resumed transfers put every byte at the right place.
std::string PatternBytes(std::uint64_t offset, std::size_t count);

}  // namespace testsupport
