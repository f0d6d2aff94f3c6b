// The update program's calls that tests may replace (update/testing.h): each goes to the
// installed replacement, or to the real service when none is installed. Main thread.
#pragma once

#include <string>

#include "shell/shell_execute.h"

namespace update::detail {

// shell::ShellExecuteA, or its replacement.
shell::HINSTANCE ShellExecute(shell::HWND window, const char* operation, const char* file,
                              const char* parameters, const char* directory, int show);

// Runs the replacement of the process end and returns true; false when none is installed.
bool RunProgramExitReplacement(int code);

// The running program file: the replacement, or the application's ExeName().
std::string ProgramFile();

}  // namespace update::detail
