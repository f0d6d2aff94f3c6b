// Streams: TStream (the interface), TMemoryStream (bytes in memory), THandleStream (a kernel file
// handle that it does not own) and TFileStream (a file it opens and closes).
//
// Positions and sizes are 64-bit byte counts. Read and Write move as many bytes as they can and
// return that count (0 at the end of a stream); ReadBuffer and WriteBuffer insist on the full count
// and throw EReadError "Stream read error" / EWriteError "Stream write error" otherwise.
//
// Threads: a stream is used by one thread at a time (the transfer hands its stream from the worker
// to the main thread at synchronised points); nothing here locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "kernel/files.h"
#include "kernel/zeroed_memory.h"
#include "vcl/component.h"

namespace vcl {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
 public:
  std::string ClassName() const override { return "TStream"; }

  // Up to `count` bytes into `buffer`; returns the number read (0 at the end or on failure).
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  // Up to `count` bytes from `buffer`; returns the number written (less on failure).
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // Moves the position; returns the new position, or -1 when the stream refuses (a position
  // before 0, a handle that cannot seek). Seeking past the end is allowed.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  // The size; the base seeks to the end and back.
  virtual std::int64_t Size();
  // Changes the size (truncates or extends). The base throws EStreamError.
  virtual void SetSize(std::int64_t size);

  // The full count or EReadError / EWriteError.
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
  // Copies `count` bytes from `source`'s position on; count 0 copies all of `source` from its
  // start. Returns the count copied; throws EReadError/EWriteError on a short transfer.
  std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// Bytes in memory. Grows geometrically, so n small writes cost O(n). Memory() stays valid until
// the next call that changes the size or capacity. Fresh memory comes zero-filled from the system,
// so pre-sizing a stream (SetSize) costs address space, not physical memory, until it is written,
// and large streams grow without copying their content (kernel/zeroed_memory.h).
// Sizes above kMaxSize (1 TiB) are refused.
class TMemoryStream : public TStream {
 public:
  static constexpr std::int64_t kMaxSize = std::int64_t{1} << 40;

  TMemoryStream() = default;
  ~TMemoryStream() override = default;
  std::string ClassName() const override { return "TMemoryStream"; }

  std::int64_t Read(void* buffer, std::int64_t count) override;
  // Writes at the position, growing the stream as needed. Throws EWriteError when memory runs
  // out (nothing is written then).
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() override { return size_; }
  // Sets the size: new bytes read as 0, the position is kept unless it lies beyond the new end
  // (then it moves to the end). Throws EStreamError "Out of memory while expanding memory stream"
  // when the memory cannot be had; the stream is unchanged then.
  void SetSize(std::int64_t size) override;

  // Reserves room for `capacity` bytes without changing the size (pre-sizing before many writes);
  // never shrinks below the size. Throws like SetSize.
  void SetCapacity(std::int64_t capacity);
  std::int64_t Capacity() const noexcept { return capacity_; }

  // Writable: the caller may change the bytes [0, Size()).
  std::uint8_t* Memory() noexcept {
    dirty_end_ = dirty_end_ > size_ ? dirty_end_ : size_;
    return block_.Data();
  }
  const std::uint8_t* Memory() const noexcept { return block_.Data(); }
  // Size and position 0, memory released.
  void Clear() noexcept;

  // Replaces the content with all of `source` / a file (EFOpenError "Cannot open file %s"); the
  // position is 0 afterwards.
  void LoadFromStream(TStream& source);
  void LoadFromFile(const std::string& file_name);
  // Writes the whole content (whatever the position) to `dest` / a new file (EFCreateError
  // "Cannot create file %s", EWriteError on a short write).
  void SaveToStream(TStream& dest) const;
  void SaveToFile(const std::string& file_name) const;

 private:
  // Grows to at least `capacity`, geometrically; throws std::bad_alloc.
  void Reserve(std::int64_t capacity);
  // Zeroes [from, to) where earlier content may linger.
  void ZeroGap(std::int64_t from, std::int64_t to) noexcept;

  kernel::ZeroedMemory block_;
  std::int64_t size_ = 0;
  std::int64_t capacity_ = 0;  // block_.Capacity(), kept signed like the positions
  std::int64_t position_ = 0;
  std::int64_t dirty_end_ = 0;  // bytes from here to capacity_ are known to be zero
};

// A stream over a kernel file handle (kernel/files.h) that it does not own: the handle stays open
// when the stream goes. Read, Write, Seek and SetSize go to ReadFile, WriteFile, SetFilePointer and
// SetEndOfFile, with 64-bit positions.
class THandleStream : public TStream {
 public:
  explicit THandleStream(kernel::HANDLE handle) noexcept : handle_(handle) {}
  std::string ClassName() const override { return "THandleStream"; }

  kernel::HANDLE Handle() const noexcept { return handle_; }

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  // Truncates or extends the file; throws EStreamError when the file refuses.
  void SetSize(std::int64_t size) override;

 protected:
  kernel::HANDLE handle_;
};

// File open modes: one of fmCreate / fmOpenRead / fmOpenWrite / fmOpenReadWrite, optionally
// combined with one share mode (default: others may read and write).
enum : std::uint32_t {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFF00,  // create or empty the file, read and write
};

// A file opened by name; closes its handle when it goes. Throws EFCreateError "Cannot create file
// %s" (fmCreate) or EFOpenError "Cannot open file %s" (others) when the file cannot be opened; the
// per-thread last error (kernel/last_error.h) then says why.
class TFileStream : public THandleStream {
 public:
  TFileStream(const std::string& file_name, std::uint32_t mode);
  ~TFileStream() override;
  std::string ClassName() const override { return "TFileStream"; }

  const std::string& FileName() const noexcept { return file_name_; }

 private:
  std::string file_name_;
};

}  // namespace vcl
