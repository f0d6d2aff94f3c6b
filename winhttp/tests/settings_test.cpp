// The settings types of the transfer component: buffer size range, sub-object defaults and Assign
// rules, the change hook, attribute words, the output file stream and the LInfo record.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kernel/files.h"
#include "testsupport/process.h"
#include "vcl/exceptions.h"
#include "vcl/streams.h"
#include "winhttp/file_stream.h"
#include "winhttp/login_component.h"
#include "winhttp/settings.h"

namespace {

using namespace winhttp;
using Bytes = std::vector<std::uint8_t>;

TEST(BufferSizeTest, AcceptsExactlyTheRange) {
  struct Case {
    std::int64_t value;
    bool accepted;
  };
  for (const Case& c : {Case{254, false}, Case{255, true}, Case{4096, true}, Case{2147483647, true},
                        Case{2147483648LL, false}, Case{0, false}, Case{-1, false}}) {
    SCOPED_TRACE(c.value);
    TBufferSize size = 4096;
    if (c.accepted) {
      size = c.value;
      EXPECT_EQ(size.Value(), c.value);
    } else {
      EXPECT_THROW(size = c.value, vcl::ERangeError);
      EXPECT_EQ(size.Value(), 4096);  // a refused value changes nothing
    }
  }
  try {
    TBufferSize refused = 100;
    (void)refused;
    FAIL() << "100 was accepted";
  } catch (const vcl::ERangeError& e) {
    EXPECT_STREQ(e.what(), "TBufferSize 100 is out of range (255..2147483647)");
  }
}

TEST(ProxyTest, DefaultsAssignAndReset) {
  TWinHTTPProxy proxy;
  EXPECT_EQ(proxy.AccessType, atPreconfig);
  EXPECT_EQ(proxy.ProxyPort, 8080);
  EXPECT_EQ(proxy.ProxyBypass, "127.0.0.1;");
  EXPECT_EQ(proxy.ProxyServer, "");

  TWinHTTPProxy source;
  source.AccessType = atUseProxy;
  source.ProxyPort = 3128;
  source.ProxyServer = "proxy";
  source.ProxyBypass = "";
  source.ProxyUsername = "u";
  source.ProxyPassword = "p";
  proxy.Assign(&source);
  EXPECT_EQ(proxy.AccessType, atUseProxy);
  EXPECT_EQ(proxy.ProxyPort, 3128);
  EXPECT_EQ(proxy.ProxyServer, "proxy");
  EXPECT_EQ(proxy.ProxyBypass, "");
  EXPECT_EQ(proxy.ProxyUsername, "u");
  EXPECT_EQ(proxy.ProxyPassword, "p");

  proxy.Assign(nullptr);
  EXPECT_EQ(proxy.AccessType, atPreconfig);
  EXPECT_EQ(proxy.ProxyPort, 8080);
  EXPECT_EQ(proxy.ProxyBypass, "127.0.0.1;");  // not the empty string
  EXPECT_EQ(proxy.ProxyServer + proxy.ProxyUsername + proxy.ProxyPassword, "");
}

TEST(RangeTimeoutsTest, AssignAndReset) {
  TWinHTTPRange range;
  TWinHTTPRange range_source;
  range_source.StartRange = 10;
  range_source.EndRange = 4000000000u;
  range.Assign(&range_source);
  EXPECT_EQ(range.StartRange, 10u);
  EXPECT_EQ(range.EndRange, 4000000000u);
  range.Assign(nullptr);
  EXPECT_EQ(range.StartRange + range.EndRange, 0u);

  TWinHTTPTimeouts timeouts;
  TWinHTTPTimeouts timeouts_source;
  timeouts_source.ConnectTimeout = 1;
  timeouts_source.ReceiveTimeout = 2;
  timeouts_source.SendTimeout = 3;
  timeouts.Assign(&timeouts_source);
  EXPECT_EQ(timeouts.ConnectTimeout, 1u);
  EXPECT_EQ(timeouts.ReceiveTimeout, 2u);
  EXPECT_EQ(timeouts.SendTimeout, 3u);
  timeouts.Assign(nullptr);
  EXPECT_EQ(timeouts.ConnectTimeout + timeouts.ReceiveTimeout + timeouts.SendTimeout, 0u);
}

TEST(AssignTest, ASourceOfAnotherClassIsRefusedByName) {
  TWinHTTPProxy proxy;
  TWinHTTPRange range;
  TWinHTTPTimeouts timeouts;
  TWinHTTPOutputFileAttributes attributes;
  try {
    proxy.Assign(&range);
    FAIL() << "assigned a range to a proxy";
  } catch (const vcl::EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TWinHTTPRange to a TWinHTTPProxy");
  }
  EXPECT_THROW(range.Assign(&timeouts), vcl::EConvertError);
  EXPECT_THROW(timeouts.Assign(&attributes), vcl::EConvertError);
  EXPECT_THROW(attributes.Assign(&proxy), vcl::EConvertError);
  EXPECT_EQ(proxy.ProxyPort, 8080);  // nothing was half-copied
}

class CountingAttributes : public TWinHTTPOutputFileAttributes {
 public:
  int changes = 0;

 protected:
  void Changed() override { ++changes; }
};

TEST(OutputFileAttributesTest, SettersCallChangedOnlyOnAChangeAndAssignNever) {
  CountingAttributes attributes;
  EXPECT_EQ(attributes.Complete(), (TWinHTTPFileAttributes{atrArchive}));
  EXPECT_EQ(attributes.Incomplete(), (TWinHTTPFileAttributes{atrArchive, atrTemporary}));

  attributes.SetComplete({atrArchive});
  attributes.SetIncomplete({atrTemporary, atrArchive});
  EXPECT_EQ(attributes.changes, 0);
  attributes.SetComplete({atrReadOnly});
  EXPECT_EQ(attributes.changes, 1);
  attributes.SetIncomplete({atrHidden});
  EXPECT_EQ(attributes.changes, 2);

  TWinHTTPOutputFileAttributes source;
  attributes.Assign(&source);
  EXPECT_EQ(attributes.Complete(), (TWinHTTPFileAttributes{atrArchive}));
  attributes.SetComplete({atrSystem});
  attributes.Assign(nullptr);
  EXPECT_EQ(attributes.Complete(), (TWinHTTPFileAttributes{atrArchive}));
  EXPECT_EQ(attributes.Incomplete(), (TWinHTTPFileAttributes{atrArchive, atrTemporary}));
  EXPECT_EQ(attributes.changes, 3);  // only the SetComplete in between
}

TEST(FileAttributesTest, WordsGoByTheTableNotByBitPosition) {
  struct Case {
    TWinHTTPFileAttributes set;
    std::uint32_t word;
  };
  for (const Case& c : {
           Case{{atrArchive, atrTemporary}, 0x120},
           Case{{atrReadOnly, atrHidden}, 0x3},
           Case{{}, 0},
           Case{{atrSystem}, 0x4},
           Case{{atrOffline}, 0x1000},
           Case{{atrArchive, atrHidden, atrReadOnly, atrSystem, atrTemporary, atrOffline}, 0x1127},
       }) {
    SCOPED_TRACE(c.word);
    EXPECT_EQ(FileAttributeWord(c.set), c.word);
  }
}

TEST(FileAttributesTest, ApplyMarksTheFileAndReportsFailure) {
  testsupport::TempDir dir("winhttp-attr");
  const std::string file = dir.Write("out.bin", "data");
  ASSERT_TRUE(ApplyFileAttributes(file, {atrArchive, atrTemporary}));
  EXPECT_EQ(kernel::GetFileAttributesA(file.c_str()), 0x120u);
  ASSERT_TRUE(ApplyFileAttributes(file, {atrArchive}));
  EXPECT_EQ(kernel::GetFileAttributesA(file.c_str()), 0x20u);
  EXPECT_FALSE(ApplyFileAttributes(dir.File("missing.bin"), {atrArchive}));
}

TEST(FileStreamTest, CreateNewEmptiesOpenAlwaysKeepsContent) {
  testsupport::TempDir dir("winhttp-stream");
  const std::string file = dir.Write("out.bin", "hello");
  {
    TWinHTTPFileStream stream(file, false);
    EXPECT_EQ(stream.Size(), 5);
    EXPECT_EQ(stream.Position(), 0);
    stream.WriteBuffer("J", 1);
  }
  EXPECT_EQ(testsupport::ReadFile(file), "Jello");
  {
    TWinHTTPFileStream stream(file, true);
    EXPECT_EQ(stream.Size(), 0);
  }
  EXPECT_EQ(testsupport::ReadFile(file), "");
  {
    TWinHTTPFileStream created(dir.File("new.bin"), false);  // missing: created
    EXPECT_EQ(created.Size(), 0);
  }
  EXPECT_EQ(kernel::GetFileAttributesA(dir.File("new.bin").c_str()) & 0x10u, 0u);
}

TEST(FileStreamTest, OthersMayReadAndWriteMeanwhile) {
  testsupport::TempDir dir("winhttp-share");
  const std::string file = dir.File("out.bin");
  TWinHTTPFileStream stream(file, true);
  stream.WriteBuffer("abc", 3);
  ASSERT_TRUE(stream.Flush());  // written behind the caller: wait until it is in the file
  const kernel::HANDLE other =
      kernel::CreateFileA(file.c_str(), kernel::GENERIC_READ | kernel::GENERIC_WRITE,
                          kernel::FILE_SHARE_READ | kernel::FILE_SHARE_WRITE, nullptr,
                          kernel::OPEN_EXISTING, kernel::FILE_ATTRIBUTE_NORMAL, 0);
  ASSERT_NE(other, kernel::INVALID_HANDLE_VALUE);
  char buffer[3] = {};
  std::uint32_t read = 0;
  EXPECT_TRUE(kernel::ReadFile(other, buffer, 3, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "abc");
  kernel::CloseHandle(other);
}

TEST(FileStreamTest, AFileThatCannotBeCreatedIsNamedInTheError) {
  testsupport::TempDir dir("winhttp-nofile");
  const std::string file = dir.File("no/such/folder/out.bin");
  try {
    TWinHTTPFileStream stream(file, true);
    FAIL() << "opened " << file;
  } catch (const vcl::EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + file);
  }
  EXPECT_THROW(TWinHTTPFileStream(file, false), vcl::EFCreateError);
}

// ---- the LInfo record

Bytes Encode(const std::string& user, const std::string& password) {
  return EncodeLoginInfo(user, password);
}

struct Decoded {
  std::string user = "old user";
  std::string password = "old password";
};

Decoded Decode(const Bytes& record) {
  vcl::TMemoryStream stream;
  if (!record.empty()) stream.WriteBuffer(record.data(), static_cast<std::int64_t>(record.size()));
  stream.SetPosition(0);
  Decoded d;
  DecodeLoginInfo(stream, d.user, d.password);
  return d;
}

TEST(LoginInfoTest, RecordsAreScrambledWithTheCountAsKey) {
  struct Case {
    std::string user;
    std::string password;
    Bytes record;
  };
  for (const Case& c : {
           // N = 4, key 4 ^ 0xA6 = 0xA2.
           Case{"ab", "c", {0x04, 0x02 ^ 0xA2, 'a' ^ 0xA2, 'b' ^ 0xA2, 'c' ^ 0xA2}},
           // An empty user name: the first scrambled byte decodes to 0.
           Case{"", "pw", {0x03, 0x00 ^ 0xA5, 'p' ^ 0xA5, 'w' ^ 0xA5}},
           Case{"u", "", {0x02, 0x01 ^ 0xA4, 'u' ^ 0xA4}},
           // N = 1: two empty strings.
           Case{"", "", {0x01, 0x00 ^ 0xA7}},
       }) {
    SCOPED_TRACE(c.user + "/" + c.password);
    EXPECT_EQ(Encode(c.user, c.password), c.record);
    const Decoded d = Decode(c.record);
    EXPECT_EQ(d.user, c.user);
    EXPECT_EQ(d.password, c.password);
  }
}

TEST(LoginInfoTest, HoldsAtMost126CharactersTogether) {
  const std::string user(100, 'u');
  const std::string password(26, 'p');
  const Bytes record = Encode(user, password);
  ASSERT_EQ(record.size(), 128u);
  EXPECT_EQ(record[0], 127);
  const Decoded d = Decode(record);
  EXPECT_EQ(d.user, user);
  EXPECT_EQ(d.password, password);

  try {
    Encode(user, password + "x");
    FAIL() << "wrote a record of 127 characters";
  } catch (const vcl::EWriteError& e) {
    EXPECT_NE(std::string(e.what()).find("LInfo"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("127 characters"), std::string::npos) << e.what();
  }
}

TEST(LoginInfoTest, MalformedRecordsAreRefusedAndChangeNothing) {
  Bytes too_long(129, 0x00);
  too_long[0] = 128;
  struct Case {
    const char* name;
    Bytes record;
    const char* reason;
  };
  for (const Case& c : {
           Case{"count over 127", too_long, "count byte 128"},
           Case{"count 0", {0x00}, "count byte 0"},
           Case{"empty", {}, "empty"},
           Case{"short", {0x04, 0x02 ^ 0xA2, 'a' ^ 0xA2}, "ends before"},
           Case{"user name too long", {0x02, 0x05 ^ 0xA4, 'u' ^ 0xA4}, "user name length 5"},
           Case{"trailing data", {0x01, 0x00 ^ 0xA7, 0x00}, "follows"},
       }) {
    SCOPED_TRACE(c.name);
    vcl::TMemoryStream stream;
    if (!c.record.empty())
      stream.WriteBuffer(c.record.data(), static_cast<std::int64_t>(c.record.size()));
    stream.SetPosition(0);
    std::string user = "kept";
    std::string password = "kept";
    try {
      DecodeLoginInfo(stream, user, password);
      FAIL() << "accepted";
    } catch (const vcl::EReadError& e) {
      EXPECT_NE(std::string(e.what()).find("LInfo"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
    EXPECT_EQ(user, "kept");
    EXPECT_EQ(password, "kept");
  }
}

}  // namespace
