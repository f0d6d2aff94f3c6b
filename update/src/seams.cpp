#include "seams.h"

#include <utility>

#include "update/testing.h"
#include "vcl/application.h"

namespace update {
namespace {

// Main thread only, like everything that reads them.
testing::ShellExecuteFunction& ShellReplacement() {
  static testing::ShellExecuteFunction replacement;
  return replacement;
}

testing::ProgramExitFunction& ExitReplacement() {
  static testing::ProgramExitFunction replacement;
  return replacement;
}

std::string& ProgramFileReplacement() {
  static std::string replacement;
  return replacement;
}

}  // namespace

namespace detail {

shell::HINSTANCE ShellExecute(shell::HWND window, const char* operation, const char* file,
                              const char* parameters, const char* directory, int show) {
  if (ShellReplacement()) {
    // A copy: the replacement may install another one while it runs.
    const testing::ShellExecuteFunction replacement = ShellReplacement();
    return replacement(window, operation, file, parameters, directory, show);
  }
  return shell::ShellExecuteA(window, operation, file, parameters, directory, show);
}

bool RunProgramExitReplacement(int code) {
  if (!ExitReplacement()) return false;
  const testing::ProgramExitFunction replacement = ExitReplacement();
  replacement(code);
  return true;
}

std::string ProgramFile() {
  if (!ProgramFileReplacement().empty()) return ProgramFileReplacement();
  return vcl::Application().ExeName();
}

}  // namespace detail

namespace testing {

ScopedShellExecute::ScopedShellExecute(ShellExecuteFunction replacement)
    : previous_(std::exchange(ShellReplacement(), std::move(replacement))) {}
ScopedShellExecute::~ScopedShellExecute() {
  ShellReplacement() = std::move(previous_);
}

ScopedProgramExit::ScopedProgramExit(ProgramExitFunction replacement)
    : previous_(std::exchange(ExitReplacement(), std::move(replacement))) {}
ScopedProgramExit::~ScopedProgramExit() {
  ExitReplacement() = std::move(previous_);
}

ScopedProgramFile::ScopedProgramFile(std::string path)
    : previous_(std::exchange(ProgramFileReplacement(), std::move(path))) {}
ScopedProgramFile::~ScopedProgramFile() {
  ProgramFileReplacement() = std::move(previous_);
}

}  // namespace testing
}  // namespace update
