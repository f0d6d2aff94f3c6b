// The transfer's output file: the stream a transfer writes the body into, and the marking of the
// file with the attribute sets of TWinHTTPOutputFileAttributes.
//
// Threads: the stream is used by one thread at a time (the worker while it writes, the main thread
// when a transfer is released); ApplyFileAttributes may be called on any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vcl/streams.h"
#include "winhttp/settings.h"

namespace winhttp {

class WriteGatherer;

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
//
// Small writes are gathered into large ones (up to 128 KiB, held for at most 50 ms while blocks
// keep coming), so a write the file refuses (a full disk) may show on a later Write, which then
// returns 0, or on Flush. Every other operation writes what is held first.
class TWinHTTPFileStream : public vcl::THandleStream {
 public:
  // Opens `file_name`: CreateNew true creates it or empties an existing one, CreateNew false opens
  // it with its contents (creating it when missing). The position is 0. Throws vcl::EFCreateError
  // "Cannot create file <file_name>" when the file can be neither created nor opened; the thread's
  // last error says why.
  TWinHTTPFileStream(const std::string& file_name, bool create_new);
  // Writes what is still held (a failure goes unnoticed: Flush first to learn of it), then closes
  // the handle.
  ~TWinHTTPFileStream() override;
  std::string ClassName() const override { return "TWinHTTPFileStream"; }

  // Takes the bytes at the position: returns `count`, or 0 once a write to the file has failed
  // (then nothing more is written, and the bytes held at the failure are lost).
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, vcl::TSeekOrigin origin) override;
  void SetSize(std::int64_t size) override;

  // Writes what is held: true when every byte written so far is in the file, false once any write
  // has failed. Never throws.
  bool Flush() noexcept;

 private:
  std::unique_ptr<WriteGatherer> held_;
};

}  // namespace winhttp
