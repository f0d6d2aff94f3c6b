// The system's message texts for last-error codes: the stand-in for
// FormatMessage(FORMAT_MESSAGE_FROM_SYSTEM), so that a message box can say what went wrong
// ("Error 2: The system cannot find the file specified.").
//
// The codes are those our layers store as the per-thread last error: the general ones of
// kernel/last_error.h and kernel/files.h, and the two that only the shell sets (below).
//
// Threads: any thread; pure function. Throws only std::bad_alloc.
#pragma once

#include <cstdint>
#include <string>

namespace shell {

// Set by ShellExecuteA for a file that is not a program this system can run.
inline constexpr std::uint32_t ERROR_BAD_FORMAT = 11;
// Set by ShellExecuteA when nothing opens the file (no opener, no application for its type).
inline constexpr std::uint32_t ERROR_NO_ASSOCIATION = 1155;

// The system's message text for `code`: one line, no trailing line break, e.g. "The system cannot
// find the file specified." for 2. A code without a text gives "Unknown error <code>." so that a
// message never shows an empty reason.
std::string SysErrorMessage(std::uint32_t code);

}  // namespace shell
