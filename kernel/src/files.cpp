// File handles: a process-wide table of open files on POSIX descriptors.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "files_internal.h"
#include "kernel/files.h"

namespace kernel {

namespace {

using detail::Fail;
using detail::FailErrno;

struct OpenFile {
  int fd = -1;
  std::uint32_t access = 0;  // GENERIC_READ / GENERIC_WRITE
  std::uint32_t share = 0;   // FILE_SHARE_*
  dev_t device = 0;
  ino_t inode = 0;

  OpenFile() = default;
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  // The descriptor goes with the last user of the file (CloseHandle or a call still using it).
  ~OpenFile() {
    if (fd >= 0) ::close(fd);
  }
};

class HandleTable {
 public:
  std::mutex lock;  // guards files and next

  // The open file of `handle`, kept alive for the caller; nullptr (last error set) if none.
  std::shared_ptr<OpenFile> Find(HANDLE handle) {
    std::lock_guard<std::mutex> guard(lock);
    auto it = files.find(handle);
    if (it != files.end()) return it->second;
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }

  // True when an open file of the same inode conflicts with opening it for `access`/`share`.
  // Caller holds the lock.
  bool SharingConflict(dev_t device, ino_t inode, std::uint32_t access, std::uint32_t share) const {
    for (const auto& [handle, file] : files) {
      if (file->device != device || file->inode != inode) continue;
      if ((access & GENERIC_READ) && !(file->share & FILE_SHARE_READ)) return true;
      if ((access & GENERIC_WRITE) && !(file->share & FILE_SHARE_WRITE)) return true;
      if ((file->access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return true;
      if ((file->access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return true;
    }
    return false;
  }

  bool OpenWithoutShareDelete(dev_t device, ino_t inode) {
    std::lock_guard<std::mutex> guard(lock);
    for (const auto& [handle, file] : files)
      if (file->device == device && file->inode == inode && !(file->share & FILE_SHARE_DELETE))
        return true;
    return false;
  }

  std::unordered_map<HANDLE, std::shared_ptr<OpenFile>> files;
  HANDLE next = 4;  // handles are never reused: a stale handle never names another file
};

HandleTable& Table() {
  static HandleTable table;
  return table;
}

constexpr std::uint32_t kStorableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                              FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// open(2) for a disposition: first try to create exclusively where creating is allowed, so that
// "it existed" is known without a race.
int OpenForDisposition(const char* name, int access_flags, std::uint32_t disposition,
                       mode_t create_mode, bool* existed) {
  const int base = access_flags | O_CLOEXEC | O_NOCTTY;
  *existed = true;
  switch (disposition) {
    case CREATE_NEW:
      *existed = false;
      return ::open(name, base | O_CREAT | O_EXCL, create_mode);
    case OPEN_EXISTING:
      return ::open(name, base);
    case TRUNCATE_EXISTING:
      return ::open(name, base | O_TRUNC);
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
      for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = ::open(name, base | O_CREAT | O_EXCL, create_mode);
        if (fd >= 0 || errno != EEXIST) {
          *existed = false;
          return fd;
        }
        fd = ::open(name, base | (disposition == CREATE_ALWAYS ? O_TRUNC : 0));
        if (fd >= 0 || errno != ENOENT) return fd;
        // Deleted between the two calls: try again.
      }
      return -1;
    default:
      errno = EINVAL;
      return -1;
  }
}

}  // namespace

HANDLE CreateFileA(const char* file_name, std::uint32_t desired_access, std::uint32_t share_mode,
                   const void* security_attributes, std::uint32_t creation_disposition,
                   std::uint32_t flags_and_attributes, HANDLE template_file) noexcept {
  if (file_name == nullptr || *file_name == '\0' || security_attributes != nullptr ||
      template_file != 0 || creation_disposition < CREATE_NEW ||
      creation_disposition > TRUNCATE_EXISTING ||
      (creation_disposition == TRUNCATE_EXISTING && !(desired_access & GENERIC_WRITE))) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const bool want_read = (desired_access & GENERIC_READ) != 0;
  const bool want_write = (desired_access & GENERIC_WRITE) != 0;
  const bool truncates =
      creation_disposition == CREATE_ALWAYS || creation_disposition == TRUNCATE_EXISTING;

  // Windows semantics that POSIX (and the superuser) would not give: an existing read-only file
  // refuses write access and emptying, a folder refuses to be opened as a file.
  struct stat before {};
  if (::stat(file_name, &before) == 0) {
    if (S_ISDIR(before.st_mode)) {
      Fail(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    if (detail::IsReadOnlyMode(before.st_mode) && (want_write || truncates)) {
      Fail(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
  }

  const int access_flags = want_write ? (want_read ? O_RDWR : O_WRONLY) : O_RDONLY;
  const std::uint32_t attributes = flags_and_attributes & kStorableAttributes;
  const mode_t create_mode = (attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;

  HandleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  // Check sharing against the file as it is now, before creating or emptying anything.
  if (::stat(file_name, &before) == 0 &&
      table.SharingConflict(before.st_dev, before.st_ino, desired_access, share_mode)) {
    Fail(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  bool existed = false;
  const int fd =
      OpenForDisposition(file_name, access_flags, creation_disposition, create_mode, &existed);
  if (fd < 0) {
    FailErrno(errno, file_name);
    return INVALID_HANDLE_VALUE;
  }
  auto file = std::make_shared<OpenFile>();
  file->fd = fd;
  file->access = desired_access & (GENERIC_READ | GENERIC_WRITE);
  file->share = share_mode;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    Fail(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;  // `file` closes the descriptor
  }
  file->device = st.st_dev;
  file->inode = st.st_ino;

  // Attributes asked for at creation: best-effort, like the archive bit a new file gets.
  if (!existed && (attributes & ~FILE_ATTRIBUTE_READONLY) != 0) {
    detail::WriteDosAttrib(file_name, attributes | FILE_ATTRIBUTE_ARCHIVE);
  } else if (existed && creation_disposition == CREATE_ALWAYS &&
             detail::ReadDosAttrib(file_name).has_value()) {
    detail::WriteDosAttrib(file_name, attributes | FILE_ATTRIBUTE_ARCHIVE);
  }

  const HANDLE handle = table.next;
  table.next += 4;
  table.files.emplace(handle, std::move(file));
  const bool reports_existing =
      creation_disposition == CREATE_ALWAYS || creation_disposition == OPEN_ALWAYS;
  SetLastError(reports_existing && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

bool ReadFile(HANDLE file, void* buffer, std::uint32_t count, std::uint32_t* bytes_read,
              void* overlapped) noexcept {
  if (bytes_read != nullptr) *bytes_read = 0;
  if (overlapped != nullptr) return Fail(ERROR_INVALID_PARAMETER);
  std::shared_ptr<OpenFile> open = Table().Find(file);
  if (!open) return false;
  if (!(open->access & GENERIC_READ)) return Fail(ERROR_ACCESS_DENIED);
  std::uint32_t total = 0;
  auto* out = static_cast<char*>(buffer);
  while (total < count) {
    const ssize_t n = ::read(open->fd, out + total, count - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (bytes_read != nullptr) *bytes_read = total;
      return FailErrno(errno);
    }
    if (n == 0) break;  // end of file
    total += static_cast<std::uint32_t>(n);
  }
  if (bytes_read != nullptr) *bytes_read = total;
  return true;
}

bool WriteFile(HANDLE file, const void* buffer, std::uint32_t count, std::uint32_t* bytes_written,
               void* overlapped) noexcept {
  if (bytes_written != nullptr) *bytes_written = 0;
  if (overlapped != nullptr) return Fail(ERROR_INVALID_PARAMETER);
  std::shared_ptr<OpenFile> open = Table().Find(file);
  if (!open) return false;
  if (!(open->access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
  std::uint32_t total = 0;
  const auto* in = static_cast<const char*>(buffer);
  bool ok = true;
  while (total < count) {
    const ssize_t n = ::write(open->fd, in + total, count - total);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = FailErrno(n < 0 ? errno : ENOSPC);
      break;
    }
    total += static_cast<std::uint32_t>(n);
  }
  if (bytes_written != nullptr) *bytes_written = total;
  return ok;
}

std::uint32_t GetFileSize(HANDLE file, std::uint32_t* size_high) noexcept {
  std::shared_ptr<OpenFile> open = Table().Find(file);
  if (!open) return INVALID_FILE_SIZE;
  struct stat st {};
  if (::fstat(open->fd, &st) != 0) {
    FailErrno(errno);
    return INVALID_FILE_SIZE;
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (size_high != nullptr) *size_high = static_cast<std::uint32_t>(size >> 32);
  const auto low = static_cast<std::uint32_t>(size);
  if (low == INVALID_FILE_SIZE) SetLastError(ERROR_SUCCESS);
  return low;
}

std::uint32_t SetFilePointer(HANDLE file, std::int32_t distance, std::int32_t* distance_high,
                             std::uint32_t move_method) noexcept {
  std::shared_ptr<OpenFile> open = Table().Find(file);
  if (!open) return INVALID_SET_FILE_POINTER;
  const std::int64_t offset =
      distance_high == nullptr
          ? static_cast<std::int64_t>(distance)
          : static_cast<std::int64_t>(
                (static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distance_high)) << 32) |
                static_cast<std::uint32_t>(distance));
  std::int64_t base = 0;
  if (move_method == FILE_CURRENT) {
    base = ::lseek(open->fd, 0, SEEK_CUR);
  } else if (move_method == FILE_END) {
    struct stat st {};
    base = ::fstat(open->fd, &st) == 0 ? st.st_size : -1;
  } else if (move_method != FILE_BEGIN) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (base < 0) {
    FailErrno(errno);
    return INVALID_SET_FILE_POINTER;
  }
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) {
    Fail(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  const std::int64_t target = base + offset;
  if (distance_high == nullptr && target > 0xFFFFFFFFLL) {
    Fail(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (::lseek(open->fd, target, SEEK_SET) < 0) {
    FailErrno(errno);
    return INVALID_SET_FILE_POINTER;
  }
  if (distance_high != nullptr) *distance_high = static_cast<std::int32_t>(target >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<std::uint32_t>(target);
}

bool SetEndOfFile(HANDLE file) noexcept {
  std::shared_ptr<OpenFile> open = Table().Find(file);
  if (!open) return false;
  if (!(open->access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
  const off_t position = ::lseek(open->fd, 0, SEEK_CUR);
  if (position < 0 || ::ftruncate(open->fd, position) != 0) return FailErrno(errno);
  return true;
}

bool CloseHandle(HANDLE handle) noexcept {
  std::shared_ptr<OpenFile> closing;
  HandleTable& table = Table();
  {
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.files.find(handle);
    if (it == table.files.end()) return Fail(ERROR_INVALID_HANDLE);
    closing = std::move(it->second);
    table.files.erase(it);
  }
  return true;  // the descriptor closes here, or after the last call still using it
}

bool DeleteFileA(const char* file_name) noexcept {
  if (file_name == nullptr || *file_name == '\0') return Fail(ERROR_INVALID_PARAMETER);
  struct stat st {};
  if (::lstat(file_name, &st) != 0) return FailErrno(errno, file_name);
  if (S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  if (!S_ISLNK(st.st_mode) && detail::IsReadOnlyMode(st.st_mode)) {
    return Fail(ERROR_ACCESS_DENIED);
  }
  if (Table().OpenWithoutShareDelete(st.st_dev, st.st_ino)) return Fail(ERROR_SHARING_VIOLATION);
  if (::unlink(file_name) != 0) return FailErrno(errno, file_name);
  return true;
}

}  // namespace kernel
