#include "shell/shell_execute.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "command_line.h"
#include "kernel/files.h"
#include "kernel/interrupt.h"
#include "kernel/last_error.h"
#include "process_start.h"
#include "shell/error_text.h"

namespace shell {

namespace {

namespace fs = std::filesystem;

// SE_ERR_SHARE: the program file is busy (being written).
constexpr HINSTANCE kShareViolation = 26;

// xdg-open's documented exit codes.
constexpr int kOpenerFileMissing = 2;

HINSTANCE Fail(HINSTANCE result, std::uint32_t code) {
  kernel::SetLastError(code);
  return result;
}

std::string Text(const char* text) {
  return text != nullptr ? std::string(text) : std::string();
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool IsUrl(std::string_view file) {
  const std::size_t colon = file.find("://");
  if (colon != std::string_view::npos && colon > 0 &&
      file.substr(0, colon).find('/') == std::string_view::npos) {
    return true;
  }
  return file.size() > 7 && EqualsNoCase(file.substr(0, 7), "mailto:");
}

bool IsDirectory(const std::string& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

// The working folder the caller means: `directory` when given, else ours.
std::string WorkingFolder(const std::string& directory) {
  if (!directory.empty()) return directory;
  std::error_code error;
  const fs::path current = fs::current_path(error);
  return error ? std::string(".") : current.string();
}

std::string Absolute(const std::string& path, const std::string& base) {
  if (!path.empty() && path.front() == '/') return path;
  return (fs::path(base) / path).lexically_normal().string();
}

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// A bare program name not found beside us is looked up in PATH, as the platform does.
std::optional<std::string> SearchPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return std::nullopt;
  std::string_view rest(path);
  while (true) {
    const std::size_t colon = rest.find(':');
    std::string folder(rest.substr(0, colon));
    if (folder.empty()) folder.push_back('.');  // not = ".": GCC 12 -O3 -Wrestrict false positive
    const std::string candidate = folder + "/" + name;
    struct stat info {};
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0) {
      return Absolute(candidate, WorkingFolder({}));
    }
    if (colon == std::string_view::npos) return std::nullopt;
    rest.remove_prefix(colon + 1);
  }
}

// The file the caller names, as an absolute path: looked up in `directory` first, then in our
// working folder, and a bare name in PATH. A name found nowhere keeps its place in our working
// folder so that the caller can tell a missing file from a missing folder.
std::string Resolve(const std::string& file, const std::string& directory) {
  if (file.front() == '/') return file;
  if (!directory.empty()) {
    const std::string in_directory = Absolute(file, Absolute(directory, WorkingFolder({})));
    if (Exists(in_directory)) return in_directory;
  }
  const std::string here = Absolute(file, WorkingFolder({}));
  if (Exists(here) || file.find('/') != std::string::npos) return here;
  if (std::optional<std::string> found = SearchPath(file)) return *found;
  return here;
}

HINSTANCE FailFromErrno(int error, const std::string& path) {
  switch (error) {
    case ENOENT: {
      // Missing file in an existing folder, or a folder on the way missing.
      const fs::path parent = fs::path(path).parent_path();
      if (!parent.empty() && !IsDirectory(parent.string())) {
        return Fail(SE_ERR_PNF, kernel::ERROR_PATH_NOT_FOUND);
      }
      return Fail(SE_ERR_FNF, kernel::ERROR_FILE_NOT_FOUND);
    }
    case ENOTDIR:
      return Fail(SE_ERR_PNF, kernel::ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
      return Fail(SE_ERR_ACCESSDENIED, kernel::ERROR_ACCESS_DENIED);
    case ETXTBSY:
      return Fail(kShareViolation, kernel::ERROR_SHARING_VIOLATION);
    case ENOEXEC:
    case ELIBBAD:
    case EINVAL:
      return Fail(SE_ERR_BAD_FORMAT, ERROR_BAD_FORMAT);
    case ENOMEM:
    case EAGAIN:
      return Fail(SE_ERR_OOM, kernel::ERROR_NOT_ENOUGH_MEMORY);
    case E2BIG:
    case ENAMETOOLONG:
      return Fail(SE_ERR_FNF, kernel::ERROR_FILENAME_EXCED_RANGE);
    default:
      return Fail(kShellOutOfMemory, kernel::ErrorFromErrno(error, path.c_str()));
  }
}

HINSTANCE StartProgram(const std::string& program, const std::string& parameters,
                       const std::string& directory) {
  detail::StartRequest request;
  request.program = program;
  request.arguments = detail::SplitCommandLine(parameters);
  request.directory = directory;
  pid_t pid = 0;
  if (int error = detail::StartProcess(request, pid)) return FailFromErrno(error, program);
  detail::ReapInBackground(pid);
  return kShellSuccess;
}

// Hands `target` (an absolute path or a URL) to the desktop's opener and takes its verdict.
HINSTANCE OpenThroughDesktop(const std::string& target, const std::string& directory) {
  detail::StartRequest request;
  request.program = "xdg-open";
  request.search_path = true;
  request.arguments = {target};
  request.directory = directory;
  pid_t pid = 0;
  if (int error = detail::StartProcess(request, pid)) {
    // No opener on this machine: nothing is associated with anything.
    if (error == ENOENT) return Fail(SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION);
    return FailFromErrno(error, target);
  }
  const std::optional<int> status = detail::WaitBriefly(pid, kShellOpenerWait);
  kernel::CheckPoint();
  if (!status) return kShellSuccess;  // still busy: it found an application and started it
  if (WIFEXITED(*status) && WEXITSTATUS(*status) == 0) return kShellSuccess;
  if (WIFEXITED(*status) && WEXITSTATUS(*status) == kOpenerFileMissing) {
    return Fail(SE_ERR_FNF, kernel::ERROR_FILE_NOT_FOUND);
  }
  // No application for the type, or the one found failed to take the file.
  return Fail(SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION);
}

HINSTANCE OpenExplorer(const std::string& parameters, const std::string& directory) {
  std::string folder = detail::ExplorerFolder(parameters);
  const std::string base = Absolute(WorkingFolder(directory), WorkingFolder({}));
  folder = folder.empty() ? base : Absolute(folder, base);
  if (!IsDirectory(folder)) return Fail(SE_ERR_PNF, kernel::ERROR_PATH_NOT_FOUND);
  return OpenThroughDesktop(folder, directory);
}

HINSTANCE Execute(const char* operation, const char* file_text, const char* parameters_text,
                  const char* directory_text) {
  const std::string verb = Text(operation);
  const bool explore = EqualsNoCase(verb, "explore");
  if (!verb.empty() && !EqualsNoCase(verb, "open") && !explore) {
    return Fail(SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION);
  }
  const std::string file = Text(file_text);
  const std::string parameters = Text(parameters_text);
  const std::string directory = Text(directory_text);
  if (!directory.empty() && !IsDirectory(directory)) {
    return Fail(SE_ERR_PNF, kernel::ERROR_PATH_NOT_FOUND);
  }
  if (file.empty()) return Fail(SE_ERR_FNF, kernel::ERROR_FILE_NOT_FOUND);
  if (detail::IsExplorer(file)) return OpenExplorer(parameters, directory);
  if (IsUrl(file)) return OpenThroughDesktop(file, directory);

  const std::string path = Resolve(file, directory);
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return FailFromErrno(errno, path);
  if (explore && !S_ISDIR(info.st_mode)) return Fail(SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION);
  if (S_ISREG(info.st_mode) && (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0) {
    return StartProgram(path, parameters, directory);
  }
  return OpenThroughDesktop(path, directory);
}

}  // namespace

HINSTANCE ShellExecuteA(HWND /*window*/, const char* operation, const char* file,
                        const char* parameters, const char* directory, int /*show_command*/) {
  try {
    return Execute(operation, file, parameters, directory);
  } catch (const kernel::ThreadKilled&) {
    throw;
  } catch (const std::bad_alloc&) {
    return Fail(SE_ERR_OOM, kernel::ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    return Fail(kShellOutOfMemory, kernel::ERROR_NOT_ENOUGH_MEMORY);
  }
}

}  // namespace shell
