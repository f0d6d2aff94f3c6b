// The output file stream's gathered writes: order and content whatever the block size, reads,
// seeks and truncation that see every byte written, bytes held no longer than a moment, and a
// full disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "small_disk.h"
#include "testsupport/process.h"
#include "winhttp/file_stream.h"

namespace {

using winhttp::TWinHTTPFileStream;

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>('a' + (i * 31 + i / 4099) % 26);
  return bytes;
}

std::string ReadWhole(TWinHTTPFileStream& stream) {
  std::string bytes(static_cast<std::size_t>(stream.Size()), '\0');
  stream.SetPosition(0);
  bytes.resize(static_cast<std::size_t>(stream.Read(bytes.data(), stream.Size())));
  return bytes;
}

TEST(OutputFileStream, BlocksOfAnySizeReachTheFileInOrder) {
  testsupport::TempDir dir("winhttp-behind");
  const std::string body = Pattern((3u << 20) + 17);
  for (const std::size_t block :
       {std::size_t{1}, std::size_t{4096}, std::size_t{65536}, std::size_t{300000}}) {
    // One byte at a time is about the hand-over, not the volume: a smaller body will do.
    const std::string expected = block == 1 ? body.substr(0, 200000) : body;
    const std::string file = dir.File("out" + std::to_string(block) + ".bin");
    {
      TWinHTTPFileStream stream(file, true);
      for (std::size_t at = 0; at < expected.size(); at += block) {
        const std::size_t n = std::min(block, expected.size() - at);
        ASSERT_EQ(stream.Write(expected.data() + at, static_cast<std::int64_t>(n)),
                  static_cast<std::int64_t>(n));
      }
      ASSERT_TRUE(stream.Flush());
      EXPECT_TRUE(testsupport::ReadFile(file) == expected) << "blocks of " << block;
      EXPECT_TRUE(ReadWhole(stream) == expected) << "blocks of " << block;
    }
    // Closing without a Flush writes the rest too.
    {
      TWinHTTPFileStream stream(file, true);
      stream.WriteBuffer(expected.data(), static_cast<std::int64_t>(expected.size()));
    }
    EXPECT_TRUE(testsupport::ReadFile(file) == expected) << "closed unflushed, blocks of " << block;
  }
}

TEST(OutputFileStream, SeeksReadsAndSizeSeeEveryByteWritten) {
  testsupport::TempDir dir("winhttp-behind");
  TWinHTTPFileStream stream(dir.File("out.bin"), true);
  std::string expected = Pattern(1u << 20);
  stream.WriteBuffer(expected.data(), static_cast<std::int64_t>(expected.size()));
  EXPECT_EQ(stream.Position(), static_cast<std::int64_t>(expected.size()));
  EXPECT_EQ(stream.Size(), static_cast<std::int64_t>(expected.size()));
  // An overwrite in the middle, then more at the end: each lands where the position said.
  stream.SetPosition(100);
  stream.WriteBuffer("XYZ", 3);
  expected.replace(100, 3, "XYZ");
  EXPECT_EQ(stream.Seek(0, vcl::TSeekOrigin::soEnd), static_cast<std::int64_t>(expected.size()));
  stream.WriteBuffer("end", 3);
  expected += "end";
  char head[6] = {};
  stream.SetPosition(98);
  ASSERT_EQ(stream.Read(head, 6), 6);
  EXPECT_EQ(std::string(head, 6), expected.substr(98, 6));
  EXPECT_TRUE(ReadWhole(stream) == expected);
  stream.SetSize(50);  // truncating sees the queued bytes too
  EXPECT_TRUE(ReadWhole(stream) == expected.substr(0, 50));
}

// A slow transfer reaches the file about block by block: the next block after a pause writes out
// what was held, without a Flush, so others reading the file see it.
TEST(OutputFileStream, BlocksAreHeldOnlyForAMoment) {
  testsupport::TempDir dir("winhttp-behind");
  const std::string file = dir.File("out.bin");
  TWinHTTPFileStream stream(file, true);
  stream.WriteBuffer("first ", 6);
  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  stream.WriteBuffer("second", 6);
  EXPECT_EQ(testsupport::ReadFile(file), "first second");
}

// A full disk: Write keeps accepting until the failure is known, then refuses for good; Flush
// reports it; the file holds a prefix of what was written and nothing after a gap.
TEST(OutputFileStream, AFullDiskShowsInWriteOrFlushAndLeavesAPrefix) {
  testsupport::TempDir dir("winhttp-behind");
  SmallDisk disk(dir.File("disk"));
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  struct Case {
    std::size_t block;
    std::size_t total;
  };
  // 2 MiB in small and large blocks; and one page more than the disk holds, so that the failure
  // may only be known when the last bytes are flushed.
  for (const Case& c :
       {Case{4096, 2u << 20}, Case{65536, 2u << 20}, Case{4096, (1u << 20) + 4096}}) {
    const std::string file = dir.File("disk/out.bin");
    const std::string body = Pattern(c.total);
    TWinHTTPFileStream stream(file, true);
    std::size_t accepted = 0;
    bool refused = false;
    for (std::size_t at = 0; at < body.size(); at += c.block) {
      const auto n = static_cast<std::int64_t>(std::min(c.block, body.size() - at));
      const std::int64_t written = stream.Write(body.data() + at, n);
      if (refused) {
        EXPECT_EQ(written, 0) << "accepted again after a refusal";
      } else if (written == 0) {
        refused = true;
      } else {
        ASSERT_EQ(written, n);
        accepted += static_cast<std::size_t>(n);
      }
    }
    EXPECT_FALSE(stream.Flush()) << "blocks of " << c.block << ", " << c.total << " bytes";
    const std::string partial = testsupport::ReadFile(file);
    EXPECT_LE(partial.size(), accepted);
    EXPECT_LE(partial.size(), 1u << 20);
    EXPECT_TRUE(partial == body.substr(0, partial.size()));
    std::remove(file.c_str());
  }
}

}  // namespace
