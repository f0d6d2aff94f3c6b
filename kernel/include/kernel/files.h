// Files: the kernel file services the system was designed for (CreateFileA, ReadFile, WriteFile,
// GetFileSize, SetFilePointer, SetEndOfFile, CloseHandle, DeleteFileA, SetFileAttributesA,
// GetFileAttributesA) on POSIX files.
//
// Handles. A HANDLE is a small positive number naming an open file in a process-wide table; 0 is
// never a handle and INVALID_HANDLE_VALUE (-1) is what a failed CreateFileA returns. A handle
// stays valid until CloseHandle; a call that is using it while another thread closes it completes
// on the still-open file (the descriptor is released after the last such call). Descriptors are
// opened close-on-exec, so started programs never inherit them.
//
// Share modes are honoured between the handles of this process (a second open that the first
// one's share mode does not allow, or that does not allow the first one's access, fails with
// ERROR_SHARING_VIOLATION; DeleteFileA of a file open without FILE_SHARE_DELETE as well); other
// processes are not restricted (POSIX has no mandatory sharing).
//
// Attributes. Linux has no archive/hidden/system/temporary/offline bits. The attribute word is
// kept in the extended attribute "user.DOSATTRIB" in the form Samba reads and writes for DOS
// attributes: the ASCII text "0x" followed by the word in lower-case hex, NUL-terminated (for
// example "0x120\0"; Samba's compatibility level of that attribute). Read-only is reflected in the
// permission bits: a read-only file has no write bit, and a file without any write bit reads as
// read-only whatever the extended attribute says. A read-only file refuses write access and
// deletion (ERROR_ACCESS_DENIED), also for the superuser. A file system that refuses extended
// attributes makes SetFileAttributesA fail with ERROR_NOT_SUPPORTED and changes nothing.
//
// Failures: every call sets the calling thread's last error (kernel/last_error.h) on failure, with
// the codes below derived from errno; some set it on success as noted (as the original services
// do). Any thread; nothing here throws.
#pragma once

#include <cstdint>

#include "kernel/last_error.h"

namespace kernel {

using HANDLE = std::intptr_t;
inline constexpr HANDLE INVALID_HANDLE_VALUE = -1;

// Desired access.
inline constexpr std::uint32_t GENERIC_READ = 0x80000000u;
inline constexpr std::uint32_t GENERIC_WRITE = 0x40000000u;
// Share mode.
inline constexpr std::uint32_t FILE_SHARE_READ = 0x1;
inline constexpr std::uint32_t FILE_SHARE_WRITE = 0x2;
inline constexpr std::uint32_t FILE_SHARE_DELETE = 0x4;
// Creation disposition.
inline constexpr std::uint32_t CREATE_NEW = 1;         // fails with ERROR_FILE_EXISTS if it exists
inline constexpr std::uint32_t CREATE_ALWAYS = 2;      // creates, or empties an existing file
inline constexpr std::uint32_t OPEN_EXISTING = 3;      // fails with ERROR_FILE_NOT_FOUND if missing
inline constexpr std::uint32_t OPEN_ALWAYS = 4;        // opens with content, or creates
inline constexpr std::uint32_t TRUNCATE_EXISTING = 5;  // empties an existing file (write access)
// File attributes.
inline constexpr std::uint32_t FILE_ATTRIBUTE_READONLY = 0x1;
inline constexpr std::uint32_t FILE_ATTRIBUTE_HIDDEN = 0x2;
inline constexpr std::uint32_t FILE_ATTRIBUTE_SYSTEM = 0x4;
inline constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr std::uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr std::uint32_t FILE_ATTRIBUTE_TEMPORARY = 0x100;
inline constexpr std::uint32_t FILE_ATTRIBUTE_OFFLINE = 0x1000;
inline constexpr std::uint32_t FILE_ATTRIBUTE_NOT_CONTENT_INDEXED = 0x2000;
// Move methods of SetFilePointer.
inline constexpr std::uint32_t FILE_BEGIN = 0;
inline constexpr std::uint32_t FILE_CURRENT = 1;
inline constexpr std::uint32_t FILE_END = 2;
// Failure results.
inline constexpr std::uint32_t INVALID_FILE_SIZE = 0xFFFFFFFFu;
inline constexpr std::uint32_t INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
inline constexpr std::uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

// Last-error codes set by this module: the general ones of kernel/last_error.h (errno mapping in
// ErrorFromErrno) and these.
inline constexpr std::uint32_t ERROR_GEN_FAILURE = 31;  // an errno without a better code
inline constexpr std::uint32_t ERROR_NEGATIVE_SEEK = 131;
inline constexpr std::uint32_t ERROR_FILENAME_EXCED_RANGE = 206;  // ENAMETOOLONG
inline constexpr std::uint32_t ERROR_IO_DEVICE = 1117;            // EIO

// The last-error code for an errno value of a call on `path` (nullptr: no path known): ENOENT
// becomes ERROR_PATH_NOT_FOUND when the path's folder is missing, ERROR_FILE_NOT_FOUND otherwise;
// ENOTDIR ERROR_PATH_NOT_FOUND; EACCES, EPERM, EROFS, EISDIR ERROR_ACCESS_DENIED; EBADF
// ERROR_INVALID_HANDLE; EMFILE, ENFILE ERROR_TOO_MANY_OPEN_FILES; ENOMEM ERROR_NOT_ENOUGH_MEMORY;
// ETXTBSY ERROR_SHARING_VIOLATION; ENOTSUP ERROR_NOT_SUPPORTED; EEXIST ERROR_FILE_EXISTS; EINVAL
// ERROR_INVALID_PARAMETER; ENOSPC, EDQUOT ERROR_DISK_FULL; others ERROR_GEN_FAILURE.
std::uint32_t ErrorFromErrno(int errnum, const char* path = nullptr) noexcept;

// Opens or creates `file_name`. `desired_access`: GENERIC_READ and/or GENERIC_WRITE (0 opens for
// neither: attribute queries only). `share_mode`: FILE_SHARE_* (see Share modes above).
// `security_attributes` and `template_file` must be null / 0. `creation_disposition`: one of
// the five above. `flags_and_attributes`: FILE_ATTRIBUTE_NORMAL, or attribute bits given to a
// file that is created (FILE_ATTRIBUTE_READONLY creates it without write bits; an existing file
// emptied by CREATE_ALWAYS takes them plus FILE_ATTRIBUTE_ARCHIVE when it carries an attribute
// word already); flag bits above 0xFFFF are accepted and ignored.
// Returns the handle, positioned at 0, or INVALID_HANDLE_VALUE with the last error set. On
// success with CREATE_ALWAYS or OPEN_ALWAYS the last error is ERROR_ALREADY_EXISTS when the file
// existed and 0 when it was created. A folder cannot be opened (ERROR_ACCESS_DENIED).
HANDLE CreateFileA(const char* file_name, std::uint32_t desired_access, std::uint32_t share_mode,
                   const void* security_attributes, std::uint32_t creation_disposition,
                   std::uint32_t flags_and_attributes, HANDLE template_file) noexcept;

// Reads up to `count` bytes at the handle's position (fewer only at the end of the file) and
// advances it; `*bytes_read` (when not null) receives the count, 0 at the end. False on failure
// (no read access: ERROR_ACCESS_DENIED). `overlapped` must be null.
bool ReadFile(HANDLE file, void* buffer, std::uint32_t count, std::uint32_t* bytes_read,
              void* overlapped) noexcept;
// Writes `count` bytes at the handle's position and advances it; `*bytes_written` receives the
// count written, which is less than `count` only on failure (ERROR_DISK_FULL, ...).
bool WriteFile(HANDLE file, const void* buffer, std::uint32_t count, std::uint32_t* bytes_written,
               void* overlapped) noexcept;

// The low 32 bits of the file's size; the high 32 bits into `*size_high` when not null.
// INVALID_FILE_SIZE with the last error set on failure (a size whose low part is 0xFFFFFFFF
// returns that value with the last error 0).
std::uint32_t GetFileSize(HANDLE file, std::uint32_t* size_high) noexcept;

// Moves the handle's position by `distance` from FILE_BEGIN, FILE_CURRENT or FILE_END and returns
// the low 32 bits of the new position. Without `distance_high` the distance is a signed 32-bit
// value and the new position must fit in 32 bits (else ERROR_INVALID_PARAMETER); with it, the
// distance is the signed 64-bit value (*distance_high << 32 | distance) and `*distance_high`
// receives the high part of the new position. A position before 0 fails with
// ERROR_NEGATIVE_SEEK. On failure returns INVALID_SET_FILE_POINTER and leaves the position; on
// success the last error is 0 (so a position whose low part is 0xFFFFFFFF can be told apart).
std::uint32_t SetFilePointer(HANDLE file, std::int32_t distance, std::int32_t* distance_high,
                             std::uint32_t move_method) noexcept;

// Makes the handle's position the end of the file (truncating or extending it). Write access.
bool SetEndOfFile(HANDLE file) noexcept;

// Closes a file handle. False with ERROR_INVALID_HANDLE for a handle that is not open (0, -1, or
// closed already).
bool CloseHandle(HANDLE handle) noexcept;

// Deletes a file. Fails for a missing file (ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND), a
// folder or a read-only file (ERROR_ACCESS_DENIED), or a file open here without FILE_SHARE_DELETE
// (ERROR_SHARING_VIOLATION).
bool DeleteFileA(const char* file_name) noexcept;

// Gives a file (or folder) the attribute word `attributes`: FILE_ATTRIBUTE_NORMAL alone or 0
// clears every attribute; otherwise READONLY, HIDDEN, SYSTEM, ARCHIVE, TEMPORARY, OFFLINE and
// NOT_CONTENT_INDEXED are kept (other bits are ignored). The word goes to "user.DOSATTRIB";
// READONLY also removes every write bit of the file's mode, and clearing it gives the owner
// write permission back. False when the file is missing or the file system refuses extended
// attributes (ERROR_NOT_SUPPORTED); nothing is changed then.
bool SetFileAttributesA(const char* file_name, std::uint32_t attributes) noexcept;

// The attribute word of a file or folder: the stored word, READONLY from the permission bits,
// DIRECTORY for a folder, FILE_ATTRIBUTE_NORMAL when nothing is set. INVALID_FILE_ATTRIBUTES
// with the last error set when the file is missing.
std::uint32_t GetFileAttributesA(const char* file_name) noexcept;

}  // namespace kernel
