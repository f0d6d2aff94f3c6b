#include "kernel/zeroed_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace kernel {
namespace {

std::size_t PageSize() noexcept {
  static const auto size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

std::uint8_t* MapZeroed(std::size_t size) {
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  // Only a hint: without transparent huge pages the block works the same, just with more faults.
  madvise(p, size, MADV_HUGEPAGE);
  return static_cast<std::uint8_t*>(p);
}

}  // namespace

ZeroedMemory::~ZeroedMemory() {
  Reset();
}

ZeroedMemory::ZeroedMemory(ZeroedMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      capacity_(std::exchange(other.capacity_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

ZeroedMemory& ZeroedMemory::operator=(ZeroedMemory&& other) noexcept {
  if (this != &other) {
    Reset();
    data_ = std::exchange(other.data_, nullptr);
    capacity_ = std::exchange(other.capacity_, 0);
    mapped_ = std::exchange(other.mapped_, false);
  }
  return *this;
}

void ZeroedMemory::Grow(std::size_t capacity, std::size_t content) {
  if (capacity <= capacity_) return;
  if (content > capacity_) content = capacity_;
  if (capacity < kMapThreshold) {
    // Below the threshold the old block is on the heap too (or there is none).
    auto* fresh = static_cast<std::uint8_t*>(std::calloc(capacity, 1));
    if (fresh == nullptr) throw std::bad_alloc();
    if (content > 0) std::memcpy(fresh, data_, content);
    std::free(data_);
    data_ = fresh;
    capacity_ = capacity;
    return;
  }
  const std::size_t page = PageSize();
  if (capacity > SIZE_MAX - page) throw std::bad_alloc();
  const std::size_t size = (capacity + page - 1) / page * page;
  if (mapped_) {
    // The kernel moves the page tables, not the bytes; the pages added at the end are zero.
    void* moved = mremap(data_, capacity_, size, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED) throw std::bad_alloc();
    madvise(moved, size, MADV_HUGEPAGE);
    data_ = static_cast<std::uint8_t*>(moved);
    capacity_ = size;
    return;
  }
  std::uint8_t* fresh = MapZeroed(size);
  if (content > 0) std::memcpy(fresh, data_, content);
  std::free(data_);
  data_ = fresh;
  capacity_ = size;
  mapped_ = true;
}

void ZeroedMemory::Reset() noexcept {
  if (mapped_) {
    munmap(data_, capacity_);
  } else {
    std::free(data_);
  }
  data_ = nullptr;
  capacity_ = 0;
  mapped_ = false;
}

}  // namespace kernel
