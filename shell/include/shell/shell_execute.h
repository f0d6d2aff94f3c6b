// ShellExecuteA: starting a program, opening a document or a folder through the desktop.
//
// What happens to `file` (after a relative name is looked up in `directory`, then in the
// current folder, and a bare program name in PATH):
//   - "EXPLORER.EXE" (any case, any folder in front): the Explorer's command line in `parameters`
//     ("/e,<folder>", "/n,<folder>", "/root,<folder>", "/select,<item>" or just a folder) names a
//     folder, which is opened in the desktop's file manager (through xdg-open). Without a folder
//     the working folder is opened.
//   - a regular file with an execute bit: started directly as a program (posix_spawn, no shell),
//     its working folder `directory` (ours when empty), `parameters` split into arguments by the
//     Windows command-line rules (blanks separate, double quotes group, backslashes escape quotes
//     only), so every text reaches the program whole and nothing is interpreted by a shell.
//   - any other file, a folder, or a URL ("scheme://..." or "mailto:..."): opened through the
//     desktop's opener, `xdg-open`, found in PATH. We wait for xdg-open at most a short while
//     (kShellOpenerWait): its exit status within that time decides the result; an opener still
//     running afterwards has handed the file to an application, which counts as success.
//
// Started processes get a session of their own, default signal handling, /dev/null as standard
// input and none of our other file descriptors beyond standard output and error; they are reaped in
// the background so that none becomes a zombie. The show command is accepted but has no effect:
// an X program decides its own window state. `window` (the owner of any message the platform would
// show) is not used either: there is nothing the shell itself shows.
//
// Result: a value above 32 (kShellSuccess) on success; otherwise one of the small error numbers
// below, and the calling thread's last error (kernel/last_error.h) is set to the matching system
// error code, whose text SysErrorMessage (shell/error_text.h) gives. On success the last error is
// left as it was. Texts of any length are accepted and passed whole.
//
// Threads: any thread; each call is independent. Blocks the caller while the program is started
// and, for the desktop opener, at most kShellOpenerWait; that wait ends early when the calling
// thread is ended forcibly, and then kernel::ThreadKilled is thrown (kernel/interrupt.h). Nothing
// else is thrown: running out of memory gives SE_ERR_OOM.
#pragma once

#include <chrono>
#include <cstdint>

#include "user/window.h"

namespace shell {

// The owner window (the application's window, or user::kNoWindow). Accepted, not used.
using HWND = user::HWND;
// ShellExecuteA's result: above 32 for success, otherwise an error number.
using HINSTANCE = std::intptr_t;

// Show commands (ShowCmd). Accepted, not applied.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_SHOWNOACTIVATE = 4;
inline constexpr int SW_SHOW = 5;

// Results. Any value above 32 means success; we return kShellSuccess.
inline constexpr HINSTANCE kShellSuccess = 42;
inline constexpr HINSTANCE kShellOutOfMemory = 0;    // resources exhausted (last error 8)
inline constexpr HINSTANCE SE_ERR_FNF = 2;           // file not found (last error 2)
inline constexpr HINSTANCE SE_ERR_PNF = 3;           // path not found (last error 3)
inline constexpr HINSTANCE SE_ERR_ACCESSDENIED = 5;  // not allowed to run it (last error 5)
inline constexpr HINSTANCE SE_ERR_OOM = 8;           // out of memory (last error 8)
inline constexpr HINSTANCE SE_ERR_BAD_FORMAT = 11;   // not a program this system can run (11)
inline constexpr HINSTANCE SE_ERR_NOASSOC =
    31;  // nothing opens this file or verb (last error 1155)

// How long ShellExecuteA waits for the desktop opener's verdict.
inline constexpr std::chrono::milliseconds kShellOpenerWait{3000};

// Starts `file` as described above. `operation`: nullptr, "" or "open" (the default verb), or
// "explore" (open a folder in the file manager); any other verb gives SE_ERR_NOASSOC.
// `file` nullptr or empty gives SE_ERR_FNF. `parameters` and `directory` may be nullptr or empty.
// A `directory` that is given but does not exist gives SE_ERR_PNF.
HINSTANCE ShellExecuteA(HWND window, const char* operation, const char* file,
                        const char* parameters, const char* directory, int show_command);

}  // namespace shell
