// The transfer's output file: the stream a transfer writes the body into, and the marking of the
// file with the attribute sets of TWinHTTPOutputFileAttributes.
//
// Threads: the stream is used by one thread at a time (the worker while it writes, the main thread
// when a transfer is released); ApplyFileAttributes may be called on any thread.
#pragma once

#include <cstdint>
#include <string>

#include "vcl/streams.h"
#include "winhttp/settings.h"

namespace winhttp {

// The attribute word of a set: the sum of the file attribute values of its elements (archive
// 0x20, hidden 0x2, read-only 0x1, system 0x4, temporary 0x100, offline 0x1000). The mapping goes
// element by element, never by bit position. The empty set gives 0.
std::uint32_t FileAttributeWord(TWinHTTPFileAttributes attributes) noexcept;

// Gives the file the attributes of the set (kernel::SetFileAttributesA with FileAttributeWord).
// True when the file system accepted them; false otherwise (a missing file, a file system without
// extended attributes), and nothing else happens. Never throws.
bool ApplyFileAttributes(const std::string& file_name, TWinHTTPFileAttributes attributes) noexcept;

// A handle stream on the output file, opened for reading and writing with both share modes, so
// that other programs may read and write it meanwhile. Owns the handle and closes it when it goes.
class TWinHTTPFileStream : public vcl::THandleStream {
 public:
  // Opens `file_name`: CreateNew true creates it or empties an existing one, CreateNew false opens
  // it with its contents (creating it when missing). The position is 0. Throws vcl::EFCreateError
  // "Cannot create file <file_name>" when the file can be neither created nor opened; the thread's
  // last error says why.
  TWinHTTPFileStream(const std::string& file_name, bool create_new);
  // Closes the handle.
  ~TWinHTTPFileStream() override;
  std::string ClassName() const override { return "TWinHTTPFileStream"; }
};

}  // namespace winhttp
