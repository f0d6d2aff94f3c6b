// The output file stream and the attribute marking of the output file.
#include "winhttp/file_stream.h"

#include <array>
#include <utility>

#include "kernel/files.h"
#include "vcl/exceptions.h"
#include "write_gatherer.h"

namespace winhttp {
namespace {

// Element to file attribute value. The element order (archive first, read-only third) is not the
// order of the attribute bits (read-only lowest), so this table is the only mapping.
constexpr std::array<std::pair<TWinHTTPFileAttribute, std::uint32_t>, 6> kAttributeValues = {{
    {atrArchive, kernel::FILE_ATTRIBUTE_ARCHIVE},
    {atrHidden, kernel::FILE_ATTRIBUTE_HIDDEN},
    {atrReadOnly, kernel::FILE_ATTRIBUTE_READONLY},
    {atrSystem, kernel::FILE_ATTRIBUTE_SYSTEM},
    {atrTemporary, kernel::FILE_ATTRIBUTE_TEMPORARY},
    {atrOffline, kernel::FILE_ATTRIBUTE_OFFLINE},
}};

constexpr std::uint32_t kReadWrite = kernel::GENERIC_READ | kernel::GENERIC_WRITE;
constexpr std::uint32_t kShareReadWrite = kernel::FILE_SHARE_READ | kernel::FILE_SHARE_WRITE;

}  // namespace

std::uint32_t FileAttributeWord(TWinHTTPFileAttributes attributes) noexcept {
  std::uint32_t word = 0;
  for (const auto& [element, value] : kAttributeValues)
    if (attributes.Contains(element)) word += value;
  return word;
}

bool ApplyFileAttributes(const std::string& file_name, TWinHTTPFileAttributes attributes) noexcept {
  return kernel::SetFileAttributesA(file_name.c_str(), FileAttributeWord(attributes));
}

TWinHTTPFileStream::TWinHTTPFileStream(const std::string& file_name, bool create_new)
    : vcl::THandleStream(
          kernel::CreateFileA(file_name.c_str(), kReadWrite, kShareReadWrite, nullptr,
                              create_new ? kernel::CREATE_ALWAYS : kernel::OPEN_ALWAYS,
                              kernel::FILE_ATTRIBUTE_NORMAL, 0)) {
  // A failed open leaves nothing to close: the destructor does not run for a throwing
  // constructor, and the invalid handle would not be closed anyway.
  if (handle_ < 0) {  // INVALID_HANDLE_VALUE
    throw vcl::EFCreateError("Cannot create file " + file_name);
  }
  try {
    held_ = std::make_unique<WriteGatherer>(handle_);
  } catch (...) {
    kernel::CloseHandle(handle_);
    throw;
  }
}

TWinHTTPFileStream::~TWinHTTPFileStream() {
  held_->Flush();
  if (handle_ > 0) kernel::CloseHandle(handle_);
}

std::int64_t TWinHTTPFileStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  return held_->Append(buffer, static_cast<std::size_t>(count)) ? count : 0;
}

std::int64_t TWinHTTPFileStream::Read(void* buffer, std::int64_t count) {
  Flush();
  return THandleStream::Read(buffer, count);
}

std::int64_t TWinHTTPFileStream::Seek(std::int64_t offset, vcl::TSeekOrigin origin) {
  Flush();
  return THandleStream::Seek(offset, origin);
}

void TWinHTTPFileStream::SetSize(std::int64_t size) {
  Flush();
  THandleStream::SetSize(size);
}

bool TWinHTTPFileStream::Flush() noexcept {
  return held_->Flush();
}

}  // namespace winhttp
