// Gathering small writes into large ones: file systems take a 128 KiB write far faster than
// thirty-two of 4 KiB. Blocks are held until a chunk is full or the oldest of them has waited
// kMaxHoldMs, so a slow transfer still reaches the file almost block by block; a block of half a
// chunk or more with nothing held goes straight to the file, uncopied.
//
// Memory: one chunk of kChunkBytes, taken on first use, whatever the size of the file.
//
// Threads: one thread at a time. The file handle is not owned and must stay open while bytes are
// held. The bytes go to the handle's current position, so the caller must not move the position
// or use the handle otherwise while anything is held (Flush first).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "kernel/files.h"

namespace winhttp {

class WriteGatherer {
 public:
  static constexpr std::size_t kChunkBytes = std::size_t{128} << 10;
  static constexpr int kMaxHoldMs = 50;

  explicit WriteGatherer(kernel::HANDLE file) noexcept : file_(file) {}

  // Takes `count` bytes after the ones taken before. False when a write to the file has failed,
  // now or earlier: nothing more is written then, ever, and the bytes held were lost. Throws
  // std::bad_alloc when the chunk cannot be had.
  bool Append(const void* data, std::size_t count);

  // Writes what is held. True when every byte taken so far is in the file; false once any write
  // has failed (for example on a full disk). Never throws.
  bool Flush() noexcept;

 private:
  bool WriteOut(const std::uint8_t* data, std::size_t count) noexcept;

  const kernel::HANDLE file_;
  std::unique_ptr<std::uint8_t[]> chunk_;
  std::size_t held_ = 0;
  std::chrono::steady_clock::time_point held_since_;
  bool failed_ = false;
};

}  // namespace winhttp
