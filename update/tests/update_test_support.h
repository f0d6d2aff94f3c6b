// Shared pieces of the update program's tests: waiting inside the real message loop, tmpfs
// folders that really refuse writes (tests run as root, and root writes through permission bits),
// and recorders that answer the message boxes and stand in for the shell and the process end.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms/testing.h"
#include "shell/shell_execute.h"
#include "testsupport/message_pump.h"
#include "testsupport/process.h"
#include "update/testing.h"

namespace updatetest {

using namespace std::chrono_literals;

// Runs the application's loop (synchronised calls and window events) until `done` holds or
// `limit` has passed; returns done(). The dialog's runs (a download, an installer) get 20 s.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
  return testsupport::PumpUntil(done, limit);
}

// A tmpfs mounted on a fresh folder; unmounted and removed when it goes. `size_bytes` limits what
// it holds (at least one page).
class TmpfsMount {
 public:
  // nullptr, with the reason in `why`, when the system refuses the mount (not root, no
  // permission to mount): the caller skips its test then.
  static std::unique_ptr<TmpfsMount> Create(std::size_t size_bytes, std::string& why);
  ~TmpfsMount();
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;

  const std::string& path() const noexcept { return path_; }
  // Remounts it read-only, keeping what it holds. False when refused.
  bool MakeReadOnly();

 private:
  explicit TmpfsMount(std::string path) : path_(std::move(path)) {}
  testsupport::TempDir parent_{"ou-update-mount"};
  std::string path_;
};

// Answers every message box with the next queued answer (mrOk for a box with OK when none is
// queued, otherwise mrNo) and records what each box showed.
class MessageBoxes {
 public:
  MessageBoxes();
  void Queue(forms::TModalResult answer) { answers_.push_back(answer); }
  // "<caption>|<text>" of every box shown, in order.
  std::vector<std::string> Shown() const;
  std::vector<forms::testing::MessageBoxInfo> boxes;

 private:
  std::deque<forms::TModalResult> answers_;
  forms::testing::ScopedMessageBoxResponder responder_;
};

// Stands in for ShellExecuteA: records every call and returns `result` with `last_error` set
// when the result is a failure.
class ShellRecorder {
 public:
  struct Call {
    bool default_verb = false;  // no operation passed
    std::string file, parameters, directory;
    int show = -1;
    bool operator==(const Call&) const = default;
  };
  ShellRecorder();
  shell::HINSTANCE result = shell::kShellSuccess;
  std::uint32_t last_error = 0;
  std::vector<Call> calls;

 private:
  update::testing::ScopedShellExecute seam_;
};

// Records the exit codes the program would have ended with.
class ExitRecorder {
 public:
  ExitRecorder();
  std::vector<int> codes;

 private:
  update::testing::ScopedProgramExit seam_;
};

// The content of a file, or "<missing>".
std::string FileContent(const std::string& path);
bool FileExists(const std::string& path);
// The names in a folder, sorted.
std::vector<std::string> FolderNames(const std::string& path);

}  // namespace updatetest
