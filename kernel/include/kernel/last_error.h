// The per-thread last error code, and the general error numbers that go in it.
//
// Every platform function of our layers that reports failure through its result (false, null, -1)
// sets the calling thread's last error; callers read it right after the failing call. The value
// lives in thread-local storage: each thread sees only its own, threads never race on it, and a new
// thread starts with ERROR_SUCCESS. Layers with errors of their own (inet/wininet.h:
// ERROR_INTERNET_..., 12000 and up) keep their numbers next to their functions.
#pragma once

#include <cstdint>

namespace kernel {

// The calling thread's last error code. Any thread; never fails, never throws.
std::uint32_t GetLastError() noexcept;

// Sets the calling thread's last error code. Any thread; never fails, never throws.
void SetLastError(std::uint32_t code) noexcept;

// General error numbers (the Windows numbering, so that code written against it reads the same).
inline constexpr std::uint32_t ERROR_SUCCESS = 0;
inline constexpr std::uint32_t ERROR_INVALID_FUNCTION = 1;
inline constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::uint32_t ERROR_PATH_NOT_FOUND = 3;
inline constexpr std::uint32_t ERROR_TOO_MANY_OPEN_FILES = 4;
inline constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr std::uint32_t ERROR_WRITE_FAULT = 29;
inline constexpr std::uint32_t ERROR_READ_FAULT = 30;
inline constexpr std::uint32_t ERROR_SHARING_VIOLATION = 32;
inline constexpr std::uint32_t ERROR_HANDLE_EOF = 38;
inline constexpr std::uint32_t ERROR_NOT_SUPPORTED = 50;
inline constexpr std::uint32_t ERROR_FILE_EXISTS = 80;
inline constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr std::uint32_t ERROR_DISK_FULL = 112;
inline constexpr std::uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr std::uint32_t ERROR_INVALID_NAME = 123;
inline constexpr std::uint32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr std::uint32_t ERROR_NO_MORE_ITEMS = 259;
inline constexpr std::uint32_t ERROR_OPERATION_ABORTED = 995;
inline constexpr std::uint32_t ERROR_TIMEOUT = 1460;

}  // namespace kernel
