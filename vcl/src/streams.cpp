// TStream, THandleStream and TFileStream.
#include <algorithm>
#include <limits>
#include <vector>

#include "vcl/exceptions.h"
#include "vcl/streams.h"

namespace vcl {

namespace {
constexpr std::int64_t kCopyBlock = 64 * 1024;
// ReadFile/WriteFile move at most 2^32-1 bytes per call; keep each call well below that.
constexpr std::int64_t kMaxTransfer = 1 << 30;
}  // namespace

// ---- TStream

std::int64_t TStream::Size() {
  const std::int64_t position = Seek(0, TSeekOrigin::soCurrent);
  const std::int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(position, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(std::int64_t /*size*/) {
  throw EStreamError(ClassName() + " cannot change its size");
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min(count, kCopyBlock)));
  std::int64_t left = count;
  while (left > 0) {
    const std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(block.size()));
    source.ReadBuffer(block.data(), n);
    WriteBuffer(block.data(), n);
    left -= n;
  }
  return count;
}

// ---- THandleStream

std::int64_t THandleStream::Read(void* buffer, std::int64_t count) {
  std::int64_t total = 0;
  auto* out = static_cast<std::uint8_t*>(buffer);
  while (total < count) {
    const auto chunk = static_cast<std::uint32_t>(std::min(count - total, kMaxTransfer));
    std::uint32_t got = 0;
    if (!kernel::ReadFile(handle_, out + total, chunk, &got, nullptr) || got == 0) break;
    total += got;
    if (got < chunk) break;
  }
  return total;
}

std::int64_t THandleStream::Write(const void* buffer, std::int64_t count) {
  std::int64_t total = 0;
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  while (total < count) {
    const auto chunk = static_cast<std::uint32_t>(std::min(count - total, kMaxTransfer));
    std::uint32_t put = 0;
    const bool ok = kernel::WriteFile(handle_, in + total, chunk, &put, nullptr);
    total += put;
    if (!ok || put < chunk) break;
  }
  return total;
}

std::int64_t THandleStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::uint32_t method = kernel::FILE_BEGIN;
  if (origin == TSeekOrigin::soCurrent) method = kernel::FILE_CURRENT;
  if (origin == TSeekOrigin::soEnd) method = kernel::FILE_END;
  auto high = static_cast<std::int32_t>(static_cast<std::uint64_t>(offset) >> 32);
  const std::uint32_t low = kernel::SetFilePointer(
      handle_, static_cast<std::int32_t>(static_cast<std::uint32_t>(offset)), &high, method);
  if (low == kernel::INVALID_SET_FILE_POINTER && kernel::GetLastError() != 0) return -1;
  return static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) | low);
}

void THandleStream::SetSize(std::int64_t size) {
  const std::int64_t position = Position();
  if (Seek(size, TSeekOrigin::soBeginning) != size || !kernel::SetEndOfFile(handle_)) {
    Seek(position, TSeekOrigin::soBeginning);
    throw EStreamError("Cannot set the size of the file to " + std::to_string(size));
  }
  Seek(std::min(position, size), TSeekOrigin::soBeginning);
}

// ---- TFileStream

namespace {
kernel::HANDLE OpenByMode(const std::string& file_name, std::uint32_t mode) {
  std::uint32_t share = kernel::FILE_SHARE_READ | kernel::FILE_SHARE_WRITE;
  if ((mode & 0xF0) == fmShareExclusive) share = 0;
  if ((mode & 0xF0) == fmShareDenyWrite) share = kernel::FILE_SHARE_READ;
  if (mode == fmCreate || (mode & 0xFF00) == fmCreate) {
    return kernel::CreateFileA(file_name.c_str(), kernel::GENERIC_READ | kernel::GENERIC_WRITE,
                               share, nullptr, kernel::CREATE_ALWAYS, kernel::FILE_ATTRIBUTE_NORMAL,
                               0);
  }
  std::uint32_t access = kernel::GENERIC_READ;
  if ((mode & 0x3) == fmOpenWrite) access = kernel::GENERIC_WRITE;
  if ((mode & 0x3) == fmOpenReadWrite) access = kernel::GENERIC_READ | kernel::GENERIC_WRITE;
  return kernel::CreateFileA(file_name.c_str(), access, share, nullptr, kernel::OPEN_EXISTING,
                             kernel::FILE_ATTRIBUTE_NORMAL, 0);
}
}  // namespace

TFileStream::TFileStream(const std::string& file_name, std::uint32_t mode)
    : THandleStream(OpenByMode(file_name, mode)), file_name_(file_name) {
  if (handle_ == kernel::INVALID_HANDLE_VALUE) {
    if ((mode & 0xFF00) == fmCreate) throw EFCreateError("Cannot create file " + file_name);
    throw EFOpenError("Cannot open file " + file_name);
  }
}

TFileStream::~TFileStream() {
  if (handle_ != kernel::INVALID_HANDLE_VALUE) kernel::CloseHandle(handle_);
}

}  // namespace vcl
