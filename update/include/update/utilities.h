// File and program utilities of the update dialog: a real write probe of a folder, a file deletion
// with optional questions, and starting a program or document through the shell.
//
// Each function talks to the user itself through modal message boxes (forms/dialogs.h: errors in
// an "Error" box with OK, questions in a "Confirm" box with Yes and No, of which only Yes
// proceeds) and returns a Boolean; none lets an error reach its caller (only std::bad_alloc and
// the exceptions of handlers that the message loop runs while a box is up pass through).
//
// Threads: main thread only; each blocks it while a box is open. No state is kept between calls.
#pragma once

#include <cstdint>
#include <string>

namespace update {

// True when no such file exists or it was deleted; false when the user declined or the deletion
// failed. With `confirm`: asks "DELETE File <NAME> ?" and then "Are you sure to DELETE <NAME> ?"
// (the name upper-cased in its ASCII letters only); any answer but Yes returns false. A failed
// deletion with `show_error` shows "ERROR Delete File !" and the upper-cased name. A folder of
// that name counts as no file.
bool DeleteFileConfirm(const std::string& file_name, bool confirm, bool show_error);

// True when the shell accepted the start (its result above 32); false when the user declined
// (`confirm`: "OPEN File <file_name> ?") or the start failed, which is reported as
// "ERROR Execute Program !", "Program: <file_name>" and "Error <result>: <system text of the
// thread's last error>". The texts reach the shell whole (no 79-character limit); `show_cmd` is
// the show command (shell/shell_execute.h: SW_HIDE, SW_SHOWNORMAL, ...).
bool RunProgram(const std::string& file_name, const std::string& params,
                const std::string& directory, std::int32_t show_cmd, bool confirm);

// True when a probe file "@TEMP<n>.TMP" (the lowest n from 1 to 999 not taken) could be created,
// written with two lines and closed in `directory`; the probe is then deleted (silently left when
// that fails). Otherwise shows "You do not have WRITE-ACCESS to" / "Directory: <directory as
// passed>" and returns false; a probe that failed after its creation is left behind. With all 999
// names taken nothing is created and the folder counts as not writable.
bool CheckWriteAccess(const std::string& directory);

// The probe file name for `number`: `directory`, a '/' unless it ends with one, "@TEMP<n>.TMP".
std::string ProbeFileName(const std::string& directory, int number);

// `text` with the ASCII letters a to z upper-cased and every other byte unchanged.
std::string UpperCaseAscii(std::string text);

}  // namespace update
