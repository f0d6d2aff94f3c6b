#include "shell/error_text.h"

#include "kernel/files.h"
#include "kernel/last_error.h"

namespace shell {

namespace {

struct ErrorText {
  std::uint32_t code;
  const char* text;
};

// The platform's own wording, so that messages read the way its users know them.
constexpr ErrorText kErrorTexts[] = {
    {kernel::ERROR_SUCCESS, "The operation completed successfully."},
    {kernel::ERROR_INVALID_FUNCTION, "Incorrect function."},
    {kernel::ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {kernel::ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {kernel::ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
    {kernel::ERROR_ACCESS_DENIED, "Access is denied."},
    {kernel::ERROR_INVALID_HANDLE, "The handle is invalid."},
    {kernel::ERROR_NOT_ENOUGH_MEMORY,
     "Not enough memory resources are available to process this command."},
    {ERROR_BAD_FORMAT, "An attempt was made to load a program with an incorrect format."},
    {kernel::ERROR_WRITE_FAULT, "The system cannot write to the specified device."},
    {kernel::ERROR_READ_FAULT, "The system cannot read from the specified device."},
    {kernel::ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {kernel::ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process."},
    {kernel::ERROR_HANDLE_EOF, "Reached the end of the file."},
    {kernel::ERROR_NOT_SUPPORTED, "The request is not supported."},
    {kernel::ERROR_FILE_EXISTS, "The file exists."},
    {kernel::ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {kernel::ERROR_DISK_FULL, "There is not enough space on the disk."},
    {kernel::ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {kernel::ERROR_INVALID_NAME,
     "The filename, directory name, or volume label syntax is incorrect."},
    {kernel::ERROR_NEGATIVE_SEEK,
     "An attempt was made to move the file pointer before the beginning of the file."},
    {kernel::ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {kernel::ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
    {kernel::ERROR_NO_MORE_ITEMS, "No more data is available."},
    {kernel::ERROR_OPERATION_ABORTED,
     "The I/O operation has been aborted because of either a thread exit or an application "
     "request."},
    {kernel::ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error."},
    {ERROR_NO_ASSOCIATION,
     "No application is associated with the specified file for this operation."},
    {kernel::ERROR_TIMEOUT, "This operation returned because the timeout period expired."},
};

}  // namespace

std::string SysErrorMessage(std::uint32_t code) {
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.code == code) return entry.text;
  }
  return "Unknown error " + std::to_string(code) + ".";
}

}  // namespace shell
