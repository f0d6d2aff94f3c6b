// errno values as the last-error codes of the file functions.
#include <sys/stat.h>
#include <cerrno>
#include <string>

#include "files_internal.h"
#include "kernel/files.h"

namespace kernel {

namespace {
// ENOENT on a path whose folder is missing (or not a folder) is "path not found".
bool FolderMissing(const char* path) {
  if (path == nullptr) return false;
  std::string folder(path);
  const std::size_t slash = folder.find_last_of('/');
  if (slash == std::string::npos) return false;  // relative to the current folder, which exists
  folder.resize(slash == 0 ? 1 : slash);
  struct stat st {};
  return ::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
}
}  // namespace

std::uint32_t ErrorFromErrno(int errnum, const char* path) noexcept {
  switch (errnum) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return FolderMissing(path) ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ETXTBSY:
      return ERROR_SHARING_VIOLATION;
    case ENOTSUP:
      return ERROR_NOT_SUPPORTED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EIO:
      return ERROR_IO_DEVICE;
    default:
      return ERROR_GEN_FAILURE;
  }
}

namespace detail {

bool FailErrno(int errnum, const char* path) noexcept {
  SetLastError(ErrorFromErrno(errnum, path));
  return false;
}

bool Fail(std::uint32_t code) noexcept {
  SetLastError(code);
  return false;
}

}  // namespace detail
}  // namespace kernel
