#include "vcl/streams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "vcl/exceptions.h"

namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string templ = (fs::temp_directory_path() / "vcl_streams_XXXXXX").string();
    path_ = ::mkdtemp(templ.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string File(const char* name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(MemoryStream, WriteReadSeekAndSize) {
  vcl::TMemoryStream stream;
  stream.WriteBuffer("hello", 5);
  EXPECT_EQ(stream.Size(), 5);
  EXPECT_EQ(stream.Position(), 5);
  EXPECT_EQ(stream.Seek(-2, vcl::TSeekOrigin::soEnd), 3);
  char buffer[16] = {};
  EXPECT_EQ(stream.Read(buffer, 8), 2);  // short read at the end
  EXPECT_STREQ(buffer, "lo");
  EXPECT_EQ(stream.Read(buffer, 8), 0);
  EXPECT_EQ(stream.Seek(-1, vcl::TSeekOrigin::soBeginning), -1);
  EXPECT_EQ(stream.Position(), 5);

  // A write beyond the end leaves zeros in the gap.
  stream.SetPosition(8);
  stream.WriteBuffer("!", 1);
  EXPECT_EQ(stream.Size(), 9);
  EXPECT_EQ(std::memcmp(stream.Memory(), "hello\0\0\0!", 9), 0);

  stream.SetPosition(0);
  EXPECT_THROW(stream.ReadBuffer(buffer, 10), vcl::EReadError);
}

TEST(MemoryStream, SetSizePreSizesWithZerosAndKeepsThePosition) {
  vcl::TMemoryStream stream;
  stream.SetSize(1000);  // the size a response announced
  EXPECT_EQ(stream.Size(), 1000);
  EXPECT_EQ(stream.Position(), 0);
  stream.WriteBuffer("abc", 3);
  EXPECT_EQ(stream.Size(), 1000);
  EXPECT_EQ(stream.Memory()[999], 0);
  stream.SetPosition(500);
  stream.SetSize(10);
  EXPECT_EQ(stream.Position(), 10);
  stream.SetSize(20);
  EXPECT_EQ(stream.Memory()[15], 0);  // regrown bytes are zero, not stale
  EXPECT_THROW(stream.SetSize(-1), vcl::EStreamError);

  // Bytes changed through Memory() are cleared as well when the stream shrinks and regrows.
  stream.SetSize(4);
  std::memcpy(stream.Memory(), "wxyz", 4);
  stream.SetSize(2);
  stream.SetSize(4);
  EXPECT_EQ(std::memcmp(stream.Memory(), "wx\0\0", 4), 0);
}

TEST(MemoryStream, GrowsGeometrically) {
  vcl::TMemoryStream stream;
  int reallocations = 0;
  std::int64_t capacity = stream.Capacity();
  const char byte = 'x';
  for (int i = 0; i < 1 << 20; ++i) {
    stream.WriteBuffer(&byte, 1);
    if (stream.Capacity() != capacity) {
      ++reallocations;
      capacity = stream.Capacity();
    }
  }
  EXPECT_LT(reallocations, 40);
  stream.Clear();
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_EQ(stream.Capacity(), 0);
}

[[maybe_unused]] long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// A hostile announced length must not cost physical memory before the bytes arrive.
TEST(MemoryStream, PreSizingCostsAddressSpaceNotMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator decides itself when memory is touched";
#else
  const long before = ResidentKiB();
  vcl::TMemoryStream stream;
  stream.SetSize(std::int64_t{1} << 30);
  stream.WriteBuffer("abc", 3);
  EXPECT_LT(ResidentKiB() - before, 64 * 1024);
  EXPECT_EQ(stream.Memory()[(1 << 30) - 1], 0);
#endif
}

TEST(MemoryStream, SetCapacityReservesWithoutChangingTheSize) {
  vcl::TMemoryStream stream;
  stream.SetCapacity(1 << 16);
  EXPECT_GE(stream.Capacity(), 1 << 16);
  EXPECT_EQ(stream.Size(), 0);
}

TEST(MemoryStream, RefusedMemoryIsAStreamErrorAndChangesNothing) {
  vcl::TMemoryStream stream;
  stream.WriteBuffer("keep", 4);
  try {
    stream.SetSize(INT64_MAX / 2);
    FAIL() << "no machine has that much memory";
  } catch (const vcl::EStreamError& e) {
    EXPECT_STREQ(e.what(), "Out of memory while expanding memory stream");
  }
  EXPECT_EQ(stream.Size(), 4);
}

TEST(MemoryStream, SaveToFileAndLoadFromFile) {
  TempDir dir;
  vcl::TMemoryStream stream;
  stream.WriteBuffer("installer bytes", 15);
  stream.SetPosition(3);  // saving ignores the position
  stream.SaveToFile(dir.File("a.bin"));
  EXPECT_EQ(ReadAll(dir.File("a.bin")), "installer bytes");

  vcl::TMemoryStream loaded;
  loaded.LoadFromFile(dir.File("a.bin"));
  EXPECT_EQ(loaded.Size(), 15);
  EXPECT_EQ(loaded.Position(), 0);

  try {
    stream.SaveToFile(dir.File("missing/a.bin"));
    FAIL();
  } catch (const vcl::EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + dir.File("missing/a.bin"));
  }
  try {
    loaded.LoadFromFile(dir.File("none.bin"));
    FAIL();
  } catch (const vcl::EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir.File("none.bin"));
  }
  EXPECT_EQ(loaded.Size(), 15);  // a failed load keeps the content
}

TEST(Stream, CopyFromCopiesAllOrACount) {
  vcl::TMemoryStream source;
  std::vector<char> data(200000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  source.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));

  vcl::TMemoryStream all;
  EXPECT_EQ(all.CopyFrom(source, 0), 200000);
  EXPECT_EQ(std::memcmp(all.Memory(), data.data(), data.size()), 0);

  source.SetPosition(10);
  vcl::TMemoryStream part;
  EXPECT_EQ(part.CopyFrom(source, 5), 5);
  EXPECT_EQ(std::memcmp(part.Memory(), data.data() + 10, 5), 0);
  source.SetPosition(199999);
  EXPECT_THROW(part.CopyFrom(source, 5), vcl::EReadError);
}

TEST(FileStream, HandleStreamReadsWritesSeeksAndSizes) {
  TempDir dir;
  const std::string path = dir.File("f.bin");
  {
    vcl::TFileStream file(path, vcl::fmCreate);
    file.WriteBuffer("0123456789", 10);
    EXPECT_EQ(file.Size(), 10);
    EXPECT_EQ(file.Seek(4, vcl::TSeekOrigin::soBeginning), 4);
    char two[3] = {};
    file.ReadBuffer(two, 2);
    EXPECT_STREQ(two, "45");
    EXPECT_EQ(file.Seek(-1, vcl::TSeekOrigin::soCurrent), 5);
    EXPECT_EQ(file.Seek(-20, vcl::TSeekOrigin::soCurrent), -1);
    // 64-bit positions: beyond 4 GiB without writing anything there.
    EXPECT_EQ(file.Seek(std::int64_t{5} << 32, vcl::TSeekOrigin::soBeginning),
              std::int64_t{5} << 32);
    file.SetSize(6);
    EXPECT_EQ(file.Size(), 6);
    EXPECT_EQ(file.Position(), 6);
  }
  EXPECT_EQ(ReadAll(path), "012345");
  {
    vcl::TFileStream file(path, vcl::fmOpenRead);
    char byte = 0;
    EXPECT_EQ(file.Write("x", 1), 0);  // read-only handle
    EXPECT_THROW(file.WriteBuffer("x", 1), vcl::EWriteError);
    file.ReadBuffer(&byte, 1);
    EXPECT_EQ(byte, '0');
  }
  // A handle stream does not own its handle.
  const kernel::HANDLE handle = kernel::CreateFileA(path.c_str(), kernel::GENERIC_READ, 3, nullptr,
                                                    kernel::OPEN_EXISTING, 0x80, 0);
  { vcl::THandleStream stream(handle); }
  std::uint32_t high = 0;
  EXPECT_EQ(kernel::GetFileSize(handle, &high), 6u);
  EXPECT_TRUE(kernel::CloseHandle(handle));
}

}  // namespace
