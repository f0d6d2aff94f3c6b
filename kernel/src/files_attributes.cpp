// File attributes: the attribute word in "user.DOSATTRIB" (Samba's "0x%x" text form), read-only in
// the permission bits.
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "files_internal.h"
#include "kernel/files.h"

namespace kernel {

namespace {

constexpr const char* kDosAttribName = "user.DOSATTRIB";

constexpr std::uint32_t kStorableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                              FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

namespace detail {

std::optional<std::uint32_t> ReadDosAttrib(const char* path) noexcept {
  // Samba's newer binary forms start with the same NUL-terminated "0x..." text, so reading the
  // text covers them too.
  char value[256];
  const ssize_t n = ::getxattr(path, kDosAttribName, value, sizeof value - 1);
  if (n <= 2) return std::nullopt;
  value[n] = '\0';
  if (value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return std::nullopt;
  char* end = nullptr;
  const unsigned long word = std::strtoul(value + 2, &end, 16);
  if (end == value + 2 || word > 0xFFFFFFFFul) return std::nullopt;
  return static_cast<std::uint32_t>(word);
}

int WriteDosAttrib(const char* path, std::uint32_t word) noexcept {
  if (word == 0) {
    if (::removexattr(path, kDosAttribName) == 0 || errno == ENODATA) return 0;
    return errno;
  }
  char value[16];
  const int n = std::snprintf(value, sizeof value, "0x%x", static_cast<unsigned>(word));
  // The terminating NUL belongs to the value: Samba reads a NUL-terminated text.
  if (::setxattr(path, kDosAttribName, value, static_cast<std::size_t>(n) + 1, 0) != 0) {
    return errno;
  }
  return 0;
}

}  // namespace detail

bool SetFileAttributesA(const char* file_name, std::uint32_t attributes) noexcept {
  if (file_name == nullptr || *file_name == '\0') return detail::Fail(ERROR_INVALID_PARAMETER);
  struct stat st {};
  if (::stat(file_name, &st) != 0) return detail::FailErrno(errno, file_name);
  std::uint32_t word = attributes & kStorableAttributes;
  if (S_ISDIR(st.st_mode) && word != 0) word |= FILE_ATTRIBUTE_DIRECTORY;

  // The extended attribute first: a file system that refuses it must leave the mode alone.
  const std::optional<std::uint32_t> previous = detail::ReadDosAttrib(file_name);
  if (const int err = detail::WriteDosAttrib(file_name, word); err != 0) {
    return detail::FailErrno(err == EOPNOTSUPP ? ENOTSUP : err, file_name);
  }
  mode_t mode = st.st_mode & 07777;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    mode &= ~static_cast<mode_t>(0222);
  } else if (detail::IsReadOnlyMode(mode)) {
    mode |= S_IWUSR;
  }
  if (mode != (st.st_mode & 07777) && ::chmod(file_name, mode) != 0) {
    const int err = errno;
    detail::WriteDosAttrib(file_name, previous.value_or(0));
    return detail::FailErrno(err, file_name);
  }
  return true;
}

std::uint32_t GetFileAttributesA(const char* file_name) noexcept {
  if (file_name == nullptr || *file_name == '\0') {
    detail::Fail(ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  struct stat st {};
  if (::stat(file_name, &st) != 0) {
    detail::FailErrno(errno, file_name);
    return INVALID_FILE_ATTRIBUTES;
  }
  std::uint32_t word = detail::ReadDosAttrib(file_name).value_or(0) & kStorableAttributes;
  // The permission bits are the truth about read-only.
  word &= ~FILE_ATTRIBUTE_READONLY;
  if (detail::IsReadOnlyMode(st.st_mode)) word |= FILE_ATTRIBUTE_READONLY;
  if (S_ISDIR(st.st_mode)) word |= FILE_ATTRIBUTE_DIRECTORY;
  return word == 0 ? FILE_ATTRIBUTE_NORMAL : word;
}

}  // namespace kernel
