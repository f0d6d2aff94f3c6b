#include "testsupport/process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {
namespace fs = std::filesystem;

TempDir::TempDir(std::string_view prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" +
                        std::string(prefix) + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed: " + std::string(std::strerror(errno)));
  }
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TempDir::File(std::string_view relative) const {
  return path_ + "/" + std::string(relative);
}

std::string TempDir::Write(std::string_view relative, std::string_view content) const {
  const std::string full = File(relative);
  fs::create_directories(fs::path(full).parent_path());
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + full);
  return full;
}

void TempDir::OpenToAll() const {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::all, ignored);
  for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
    fs::permissions(entry.path(),
                    entry.is_directory() ? fs::perms::all
                                         : fs::perms::owner_read | fs::perms::owner_write |
                                               fs::perms::group_read | fs::perms::others_read,
                    ignored);
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

ChildProcess::ChildProcess(std::vector<std::string> argv, std::string log_path,
                           std::chrono::milliseconds grace)
    : log_path_(std::move(log_path)), grace_(grace) {
  if (argv.empty()) throw std::runtime_error("ChildProcess: empty command");
  // Everything the child needs is prepared before fork: after it only async-signal-safe calls.
  std::vector<char*> args;
  for (auto& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  const int log = open(log_path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log < 0) throw std::runtime_error("cannot open log " + log_path_);
  const int null_in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ < 0) {
    close(log);
    if (null_in >= 0) close(null_in);
    throw std::runtime_error("fork failed");
  }
  if (pid_ == 0) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a crashed test
    if (getppid() != parent) _exit(127);
    if (null_in >= 0) dup2(null_in, STDIN_FILENO);
    dup2(log, STDOUT_FILENO);
    dup2(log, STDERR_FILENO);
    execvp(args[0], args.data());
    _exit(127);
  }
  setpgid(pid_, pid_);  // also from here, so that Stop can't race the child's own call
  close(log);
  if (null_in >= 0) close(null_in);
}

ChildProcess::~ChildProcess() {
  Stop();
}

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  const pid_t result = waitpid(pid_, &status, WNOHANG);
  if (result == 0) return true;
  if (result == pid_ || (result < 0 && errno == ECHILD)) {
    kill(-pid_, SIGKILL);  // helpers left in the group go too
    pid_ = -1;
  }
  return false;
}

void ChildProcess::Stop() {
  if (pid_ <= 0) return;
  kill(-pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + grace_;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != 0) {
      kill(-pid_, SIGKILL);
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(-pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::uint16_t PickFreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error("cannot pick a free port");
  }
  close(fd);
  return ntohs(address.sin_port);
}

bool WaitForPort(std::uint16_t port, std::chrono::milliseconds timeout, ChildProcess* process) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (process != nullptr && !process->Running()) return false;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    if (connected) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::string PatternBytes(std::uint64_t offset, std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((offset + i) % 251);
  return bytes;
}

}  // namespace testsupport
