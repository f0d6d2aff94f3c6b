#include "write_gatherer.h"

#include <algorithm>
#include <cstring>

namespace winhttp {

bool WriteGatherer::Append(const void* data, std::size_t count) {
  if (failed_) return false;
  const auto* from = static_cast<const std::uint8_t*>(data);
  if (held_ == 0 && count >= kChunkBytes / 2) return WriteOut(from, count);
  if (chunk_ == nullptr) chunk_ = std::make_unique_for_overwrite<std::uint8_t[]>(kChunkBytes);
  const auto now = std::chrono::steady_clock::now();
  while (count > 0) {
    if (held_ == 0) held_since_ = now;
    const std::size_t n = std::min(count, kChunkBytes - held_);
    std::memcpy(chunk_.get() + held_, from, n);
    held_ += n;
    from += n;
    count -= n;
    if (held_ == kChunkBytes && !Flush()) return false;
  }
  if (held_ > 0 && now - held_since_ >= std::chrono::milliseconds(kMaxHoldMs)) return Flush();
  return true;
}

bool WriteGatherer::Flush() noexcept {
  if (held_ > 0 && !failed_) WriteOut(chunk_.get(), held_);
  held_ = 0;
  return !failed_;
}

bool WriteGatherer::WriteOut(const std::uint8_t* data, std::size_t count) noexcept {
  while (count > 0) {
    const auto piece = static_cast<std::uint32_t>(std::min<std::size_t>(count, UINT32_MAX));
    std::uint32_t written = 0;
    if (!kernel::WriteFile(file_, data, piece, &written, nullptr) || written == 0) {
      failed_ = true;
      return false;
    }
    data += written;
    count -= written;
  }
  return true;
}

}  // namespace winhttp
