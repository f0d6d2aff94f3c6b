// The run-time library's exception classes. Every error inside the program is one of these (or a
// standard exception); the components turn them into events, the dialog into message boxes.
// Value types; any thread.
#pragma once

#include <stdexcept>
#include <string>

namespace vcl {

// Base of the run-time library's exceptions; what() is the message text.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// "Cannot assign a %s to a %s" and bad conversions.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Stream and file errors.
class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

// "Cannot create file %s".
class EFCreateError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// "Cannot open file %s".
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// A short write: "Stream write error".
class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// A value outside the range a property accepts.
class ERangeError : public Exception {
 public:
  using Exception::Exception;
};

// A malformed form file (the message names the line and the property), or a short read
// ("Stream read error").
class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

}  // namespace vcl
