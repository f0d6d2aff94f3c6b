// Private to the kernel layer: pieces shared by the file handle functions and the attribute
// functions (kernel/files.h).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>

namespace kernel::detail {

// The attribute word stored in "user.DOSATTRIB" of `path`, if it holds a readable one.
std::optional<std::uint32_t> ReadDosAttrib(const char* path) noexcept;
// Stores `word` ("0x%x\0"); 0 removes the attribute. Returns 0 or an errno value.
int WriteDosAttrib(const char* path, std::uint32_t word) noexcept;

// A file without any write permission bit is read-only.
inline bool IsReadOnlyMode(mode_t mode) noexcept {
  return (mode & 0222) == 0;
}

// Sets the last error from `errnum` (see ErrorFromErrno) and returns false.
bool FailErrno(int errnum, const char* path = nullptr) noexcept;
// Sets the last error to `code` and returns false.
bool Fail(std::uint32_t code) noexcept;

}  // namespace kernel::detail
