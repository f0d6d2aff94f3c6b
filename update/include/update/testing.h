// Test seams of the update program: what the dialog and the utilities would otherwise do to the
// machine or the process (start programs through the shell, end the process, take the folder of
// the running program file) can be replaced for the life of a scope. Message boxes, menus and
// forms are answered through the forms layer's own seams (forms/testing.h).
//
// Each Scoped... object installs its replacement and restores the previous one when it goes.
//
// Threads: main thread only (the seams are read where the dialog runs).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "shell/shell_execute.h"

namespace update::testing {

// Stands in for shell::ShellExecuteA in RunProgram: same arguments, same result rule (above 32
// is success); a failing replacement sets the thread's last error itself (kernel::SetLastError),
// as the shell does.
using ShellExecuteFunction =
    std::function<shell::HINSTANCE(shell::HWND window, const char* operation, const char* file,
                                   const char* parameters, const char* directory, int show)>;

class ScopedShellExecute {
 public:
  explicit ScopedShellExecute(ShellExecuteFunction replacement);
  ~ScopedShellExecute();
  ScopedShellExecute(const ScopedShellExecute&) = delete;
  ScopedShellExecute& operator=(const ScopedShellExecute&) = delete;

 private:
  ShellExecuteFunction previous_;
};

// Called instead of ending the process (ExitProgram); ExitProgram returns after it.
using ProgramExitFunction = std::function<void(int code)>;

class ScopedProgramExit {
 public:
  explicit ScopedProgramExit(ProgramExitFunction replacement);
  ~ScopedProgramExit();
  ScopedProgramExit(const ScopedProgramExit&) = delete;
  ScopedProgramExit& operator=(const ScopedProgramExit&) = delete;

 private:
  ProgramExitFunction previous_;
};

// The path that ProgramFolder takes as the running program file (instead of the executable's).
class ScopedProgramFile {
 public:
  explicit ScopedProgramFile(std::string path);
  ~ScopedProgramFile();
  ScopedProgramFile(const ScopedProgramFile&) = delete;
  ScopedProgramFile& operator=(const ScopedProgramFile&) = delete;

 private:
  std::string previous_;
};

}  // namespace update::testing
