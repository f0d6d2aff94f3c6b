// Zero-filled memory blocks that grow without copying: what a memory stream keeps its bytes in.
//
// Small blocks come from the heap. Large ones (kMapThreshold and more) are mapped from the system:
// they cost address space, not physical memory, until written; they grow by remapping, so their
// content is never copied and never faulted in twice; and they ask for transparent huge pages, so
// filling a gigabyte takes hundreds of page faults instead of a quarter of a million, and freeing
// it as many page releases.
//
// Threads: a block is a value owned by one thread at a time; any thread may use it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kernel {

class ZeroedMemory {
 public:
  static constexpr std::size_t kMapThreshold = std::size_t{1} << 20;

  // An empty block: Data() is null, Capacity() 0.
  ZeroedMemory() noexcept = default;
  // Frees the block.
  ~ZeroedMemory();
  ZeroedMemory(ZeroedMemory&& other) noexcept;
  ZeroedMemory& operator=(ZeroedMemory&& other) noexcept;
  ZeroedMemory(const ZeroedMemory&) = delete;
  ZeroedMemory& operator=(const ZeroedMemory&) = delete;

  std::uint8_t* Data() const noexcept { return data_; }
  // At least what was asked for (mapped blocks are rounded up to whole pages).
  std::size_t Capacity() const noexcept { return capacity_; }

  // Grows the block to hold at least `capacity` bytes; a smaller or equal capacity changes
  // nothing. The first `content` bytes keep their values, and every byte from `content` on reads
  // as 0 afterwards, provided the caller left the bytes between `content` and the old capacity at
  // 0 (they are not copied when the block moves). Data() may change. Throws std::bad_alloc when
  // the memory cannot be had; the block is unchanged then.
  void Grow(std::size_t capacity, std::size_t content);

  // Frees the block; it is empty afterwards.
  void Reset() noexcept;

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t capacity_ = 0;
  bool mapped_ = false;
};

}  // namespace kernel
