#include "kernel/files.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "kernel/last_error.h"

namespace {

namespace fs = std::filesystem;
using namespace kernel;

constexpr std::uint32_t kReadWrite = GENERIC_READ | GENERIC_WRITE;
constexpr std::uint32_t kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (fs::temp_directory_path() / "kernel_files_XXXXXX").string();
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    dir_ = templ;
  }
  void TearDown() override {
    std::error_code ec;
    // Read-only files would survive remove_all only for non-root users; give them back.
    for (const auto& entry : fs::recursive_directory_iterator(dir_, ec))
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void WriteText(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
  }
  std::string ReadText(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  HANDLE Open(const std::string& name, std::uint32_t access, std::uint32_t disposition,
              std::uint32_t share = kShareReadWrite) const {
    return CreateFileA(Path(name).c_str(), access, share, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, 0);
  }

  fs::path dir_;
};

TEST_F(Files, CreationDispositions) {
  struct Case {
    const char* what;
    std::uint32_t disposition;
    bool exists;
    bool opens;
    std::uint32_t last_error;
    std::uint32_t size;  // after opening
  };
  const std::vector<Case> cases = {
      {"create new, missing", CREATE_NEW, false, true, ERROR_SUCCESS, 0},
      {"create new, existing", CREATE_NEW, true, false, ERROR_FILE_EXISTS, 0},
      {"create always, missing", CREATE_ALWAYS, false, true, ERROR_SUCCESS, 0},
      {"create always, existing: emptied", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, 0},
      {"open existing, missing", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, 0},
      {"open existing, existing", OPEN_EXISTING, true, true, ERROR_SUCCESS, 3},
      {"open always, missing", OPEN_ALWAYS, false, true, ERROR_SUCCESS, 0},
      {"open always, existing: content kept", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, 3},
      {"truncate existing, missing", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, 0},
      {"truncate existing, existing", TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, 0},
  };
  for (const Case& c : cases) {
    fs::remove(Path("f"));
    if (c.exists) WriteText("f", "abc");
    SetLastError(12345);
    const HANDLE h = Open("f", kReadWrite, c.disposition);
    EXPECT_EQ(GetLastError(), c.last_error) << c.what;
    if (!c.opens) {
      EXPECT_EQ(h, INVALID_HANDLE_VALUE) << c.what;
      continue;
    }
    ASSERT_GT(h, 0) << c.what;
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 0u) << c.what;  // at the start
    EXPECT_EQ(GetFileSize(h, nullptr), c.size) << c.what;
    EXPECT_TRUE(CloseHandle(h));
  }
}

TEST_F(Files, OpeningFailuresSayWhy) {
  SetLastError(0);
  EXPECT_EQ(Open("no/such/dir/f", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Open("no/f", kReadWrite, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  fs::create_directory(Path("sub"));
  EXPECT_EQ(Open("sub", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Open("f", GENERIC_READ, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(Files, ReadWriteAndPositions) {
  const HANDLE h = Open("f", kReadWrite, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::uint32_t moved = 0;
  EXPECT_TRUE(WriteFile(h, "0123456789", 10, &moved, nullptr));
  EXPECT_EQ(moved, 10u);
  EXPECT_EQ(SetFilePointer(h, 4, nullptr, FILE_BEGIN), 4u);
  EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_CURRENT), 6u);
  EXPECT_EQ(SetFilePointer(h, -3, nullptr, FILE_END), 7u);
  char buffer[16] = {};
  EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &moved, nullptr));
  EXPECT_EQ(std::string(buffer, moved), "789");  // fewer bytes only at the end
  EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &moved, nullptr));
  EXPECT_EQ(moved, 0u);

  // Before the start: refused, the position stays.
  EXPECT_EQ(SetFilePointer(h, -11, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 10u);
  // Without a high part a position must fit 32 bits; with one, 64-bit positions work.
  EXPECT_EQ(SetFilePointer(h, 0x7FFFFFFF, nullptr, FILE_BEGIN), 0x7FFFFFFFu);
  EXPECT_EQ(SetFilePointer(h, 0x7FFFFFFF, nullptr, FILE_CURRENT), 0xFFFFFFFEu);
  EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  std::int32_t high = 1;
  EXPECT_EQ(SetFilePointer(h, 16, &high, FILE_BEGIN), 16u);
  EXPECT_EQ(high, 1);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

  // A sparse file of 4 GiB + 16 bytes: the size in two halves.
  EXPECT_TRUE(SetEndOfFile(h));
  std::uint32_t size_high = 0;
  EXPECT_EQ(GetFileSize(h, &size_high), 16u);
  EXPECT_EQ(size_high, 1u);
  high = 0;
  EXPECT_EQ(SetFilePointer(h, 5, &high, FILE_BEGIN), 5u);
  EXPECT_TRUE(SetEndOfFile(h));
  EXPECT_EQ(GetFileSize(h, &size_high), 5u);
  EXPECT_EQ(size_high, 0u);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(ReadText("f"), "01234");
}

TEST_F(Files, AccessRightsAndInvalidHandles) {
  WriteText("f", "abc");
  const HANDLE reader = Open("f", GENERIC_READ, OPEN_EXISTING);
  const HANDLE writer = Open("f", GENERIC_WRITE, OPEN_EXISTING);
  std::uint32_t moved = 7;
  char buffer[4];
  EXPECT_FALSE(WriteFile(reader, "x", 1, &moved, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(moved, 0u);
  EXPECT_FALSE(ReadFile(writer, buffer, 1, &moved, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(SetEndOfFile(reader));
  EXPECT_TRUE(CloseHandle(reader));
  EXPECT_TRUE(CloseHandle(writer));

  for (HANDLE bad : {HANDLE{0}, INVALID_HANDLE_VALUE, reader}) {
    SetLastError(0);
    EXPECT_FALSE(ReadFile(bad, buffer, 1, &moved, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetFileSize(bad, nullptr), INVALID_FILE_SIZE);
  }
}

TEST_F(Files, ShareModesHoldBetweenHandlesOfThisProcess) {
  WriteText("f", "abc");
  const HANDLE exclusive = Open("f", GENERIC_READ, OPEN_EXISTING, 0);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open("f", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(Open("f", kReadWrite, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadText("f"), "abc");  // the refused open emptied nothing
  EXPECT_TRUE(CloseHandle(exclusive));

  // The output file's mode: both share read and write, so two such handles coexist.
  const HANDLE a = Open("f", kReadWrite, OPEN_ALWAYS);
  const HANDLE b = Open("f", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(a, INVALID_HANDLE_VALUE);
  ASSERT_NE(b, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileA(Path("f").c_str()));  // open without FILE_SHARE_DELETE
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_TRUE(CloseHandle(a));
  EXPECT_TRUE(CloseHandle(b));
  EXPECT_TRUE(DeleteFileA(Path("f").c_str()));
  EXPECT_FALSE(fs::exists(Path("f")));
  EXPECT_FALSE(DeleteFileA(Path("f").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// A handle closed on one thread while another reads through it: the read finishes on the file.
TEST_F(Files, CloseWhileAnotherThreadReads) {
  WriteText("f", std::string(1 << 20, 'z'));
  for (int round = 0; round < 20; ++round) {
    const HANDLE h = Open("f", GENERIC_READ, OPEN_EXISTING);
    std::uint32_t got = 0;
    bool ok = false;
    std::vector<char> buffer(1 << 20);
    std::thread reader([&] { ok = ReadFile(h, buffer.data(), 1 << 20, &got, nullptr); });
    CloseHandle(h);
    reader.join();
    // Either the read got the handle before the close (and the whole file), or it was refused.
    if (ok) {
      EXPECT_EQ(got, 1u << 20);
    }
  }
}

std::string RawDosAttrib(const std::string& path) {
  char value[64];
  const ssize_t n = ::getxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value);
  return n < 0 ? std::string("<none>") : std::string(value, static_cast<std::size_t>(n));
}

bool HasWriteBit(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) != 0;
}

TEST_F(Files, AttributeWordRoundTripsThroughDosAttrib) {
  WriteText("f", "abc");
  const std::string f = Path("f");
  EXPECT_EQ(GetFileAttributesA(f.c_str()), FILE_ATTRIBUTE_NORMAL);
  struct Case {
    std::uint32_t set;
    std::uint32_t reads;
    std::string stored;
  };
  const std::vector<Case> cases = {
      {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY, 0x120, std::string("0x120\0", 6)},
      {FILE_ATTRIBUTE_ARCHIVE, 0x20, std::string("0x20\0", 5)},
      {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_OFFLINE, 0x1006,
       std::string("0x1006\0", 7)},
      {0, FILE_ATTRIBUTE_NORMAL, "<none>"},
      {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_NORMAL, "<none>"},
      {FILE_ATTRIBUTE_DIRECTORY | 0x40000, FILE_ATTRIBUTE_NORMAL, "<none>"},  // not storable
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(SetFileAttributesA(f.c_str(), c.set)) << c.set;
    EXPECT_EQ(GetFileAttributesA(f.c_str()), c.reads) << c.set;
    EXPECT_EQ(RawDosAttrib(f), c.stored) << c.set;
    EXPECT_TRUE(HasWriteBit(f)) << c.set;
  }
  // A value Samba wrote in its newer binary form starts with the same text.
  const char samba[] = "0x22\0\x03\x00\x01\x00\x00\x00";
  ASSERT_EQ(::setxattr(f.c_str(), "user.DOSATTRIB", samba, sizeof samba - 1, 0), 0);
  EXPECT_EQ(GetFileAttributesA(f.c_str()), 0x22u);

  SetLastError(0);
  EXPECT_FALSE(SetFileAttributesA(Path("missing").c_str(), FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA(Path("missing").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  fs::create_directory(Path("sub"));
  EXPECT_EQ(GetFileAttributesA(Path("sub").c_str()), FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(Files, ReadOnlyLivesInThePermissionBits) {
  WriteText("f", "abc");
  const std::string f = Path("f");
  ASSERT_TRUE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_FALSE(HasWriteBit(f));
  EXPECT_EQ(GetFileAttributesA(f.c_str()), 0x3u);
  // Refused even for the superuser, as the attribute means.
  EXPECT_EQ(Open("f", GENERIC_WRITE, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Open("f", GENERIC_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFileA(f.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  const HANDLE reader = Open("f", GENERIC_READ, OPEN_EXISTING);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  CloseHandle(reader);

  // The mode bits are the truth: a file chmod'ed writable is no longer read-only.
  ASSERT_TRUE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_TRUE(HasWriteBit(f));
  EXPECT_EQ(GetFileAttributesA(f.c_str()), FILE_ATTRIBUTE_HIDDEN);
  ::chmod(f.c_str(), 0444);
  EXPECT_EQ(GetFileAttributesA(f.c_str()), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  ::chmod(f.c_str(), 0644);
  EXPECT_TRUE(DeleteFileA(f.c_str()));
}

TEST_F(Files, AttributesGivenAtCreation) {
  const HANDLE h = CreateFileA(Path("f").c_str(), kReadWrite, kShareReadWrite, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, 0);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::uint32_t written = 0;
  EXPECT_TRUE(WriteFile(h, "x", 1, &written, nullptr));  // the creator may write
  CloseHandle(h);
  EXPECT_EQ(GetFileAttributesA(Path("f").c_str()), 0x23u);  // archive added, as for a new file

  // CREATE_ALWAYS over a file with an attribute word resets it to the requested set + archive.
  WriteText("g", "abc");
  ASSERT_TRUE(SetFileAttributesA(Path("g").c_str(), FILE_ATTRIBUTE_TEMPORARY));
  const HANDLE g = Open("g", kReadWrite, CREATE_ALWAYS);
  ASSERT_NE(g, INVALID_HANDLE_VALUE);
  CloseHandle(g);
  EXPECT_EQ(GetFileAttributesA(Path("g").c_str()), FILE_ATTRIBUTE_ARCHIVE);
}

// A file system without user extended attributes (ramfs): the call fails and changes nothing.
TEST_F(Files, FileSystemWithoutExtendedAttributesRefuses) {
  const std::string mount_point = Path("ramfs");
  fs::create_directory(mount_point);
  if (::mount("ramfs", mount_point.c_str(), "ramfs", 0, nullptr) != 0) {
    GTEST_SKIP() << "cannot mount a ramfs here (needs CAP_SYS_ADMIN): " << std::strerror(errno);
  }
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{mount_point};

  const std::string f = mount_point + "/f";
  std::ofstream(f) << "abc";
  SetLastError(0);
  EXPECT_FALSE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  EXPECT_TRUE(HasWriteBit(f));  // read-only was not half-applied
  EXPECT_FALSE(SetFileAttributesA(f.c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesA(f.c_str()), FILE_ATTRIBUTE_NORMAL);
  // Files themselves work there as anywhere.
  const HANDLE h = CreateFileA(f.c_str(), kReadWrite, kShareReadWrite, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, 0);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_TRUE(DeleteFileA(f.c_str()));
}

TEST(FileErrors, ErrnoMapping) {
  EXPECT_EQ(ErrorFromErrno(ENOENT, "/definitely/missing/folder/f"), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(ErrorFromErrno(ENOENT, "/tmp/missing-file"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ErrorFromErrno(ENOENT), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ErrorFromErrno(EACCES), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ErrorFromErrno(ENOSPC), ERROR_DISK_FULL);
  EXPECT_EQ(ErrorFromErrno(EDQUOT), ERROR_DISK_FULL);
  EXPECT_EQ(ErrorFromErrno(EOPNOTSUPP), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(ErrorFromErrno(EXDEV), ERROR_GEN_FAILURE);
}

}  // namespace
