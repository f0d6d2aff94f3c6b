#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "vcl/exceptions.h"
#include "vcl/streams.h"

namespace vcl {

namespace {
constexpr std::int64_t kMinCapacity = 256;
constexpr const char* kOutOfMemory = "Out of memory while expanding memory stream";
}  // namespace

void TMemoryStream::Reserve(std::int64_t capacity) {
  if (capacity <= capacity_) return;
  if (capacity < 0 || capacity > kMaxSize) throw std::bad_alloc();
  // Geometric growth: a run of small writes copies every byte O(1) times on average.
  const std::int64_t grown =
      std::min(kMaxSize, std::max({capacity, capacity_ + capacity_ / 2, kMinCapacity}));
  // Bytes from dirty_end_ on are zero, as the block requires.
  block_.Grow(static_cast<std::size_t>(grown), static_cast<std::size_t>(dirty_end_));
  capacity_ = static_cast<std::int64_t>(block_.Capacity());
}

void TMemoryStream::ZeroGap(std::int64_t from, std::int64_t to) noexcept {
  const std::int64_t end = std::min(to, dirty_end_);
  if (from < end) std::memset(block_.Data() + from, 0, static_cast<std::size_t>(end - from));
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  const std::int64_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, block_.Data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  if (count > kMaxSize || position_ > kMaxSize - count) throw EWriteError(kOutOfMemory);
  const std::int64_t end = position_ + count;
  try {
    Reserve(end);
  } catch (const std::bad_alloc&) {
    throw EWriteError(kOutOfMemory);
  }
  // A write after a seek beyond the end: the gap reads as zeros.
  if (position_ > size_) ZeroGap(size_, position_);
  std::memcpy(block_.Data() + position_, buffer, static_cast<std::size_t>(count));
  position_ = end;
  size_ = std::max(size_, end);
  dirty_end_ = std::max(dirty_end_, end);
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == TSeekOrigin::soCurrent) base = position_;
  if (origin == TSeekOrigin::soEnd) base = size_;
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
  position_ = base + offset;
  return position_;
}

void TMemoryStream::SetSize(std::int64_t size) {
  if (size < 0) throw EStreamError("Invalid stream size " + std::to_string(size));
  try {
    Reserve(size);
  } catch (const std::bad_alloc&) {
    throw EStreamError(kOutOfMemory);
  }
  if (size > size_) ZeroGap(size_, size);
  size_ = size;
  if (position_ > size_) position_ = size_;
}

void TMemoryStream::SetCapacity(std::int64_t capacity) {
  try {
    Reserve(std::max(capacity, size_));
  } catch (const std::bad_alloc&) {
    throw EStreamError(kOutOfMemory);
  }
}

void TMemoryStream::Clear() noexcept {
  block_.Reset();
  size_ = capacity_ = position_ = dirty_end_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  const std::int64_t size = source.Size();
  TMemoryStream loaded;
  loaded.SetSize(size);
  if (size > 0) source.ReadBuffer(loaded.Memory(), size);
  // Swap in only once everything is read: a failed load leaves the stream as it was.
  block_ = std::move(loaded.block_);
  size_ = loaded.size_;
  capacity_ = loaded.capacity_;
  dirty_end_ = size_;
  position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& file_name) {
  TFileStream file(file_name, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TMemoryStream::SaveToStream(TStream& dest) const {
  if (size_ > 0) dest.WriteBuffer(block_.Data(), size_);
}

void TMemoryStream::SaveToFile(const std::string& file_name) const {
  TFileStream file(file_name, fmCreate);
  SaveToStream(file);
}

}  // namespace vcl
