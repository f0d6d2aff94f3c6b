// The response half of a transfer, end to end against real loopback servers: bodies with and
// without a length, drops and stalls, the header event, the sink choice, the output file with its
// marking, resumed transfers (matching, stale and short partial copies, a real interruption) and a
// full disk.

#include <cstdio>
#include <filesystem>
#include <string>

#include "e2e_support.h"
#include "kernel/files.h"
#include "small_disk.h"
#include "transfer_run.h"

namespace e2e {
namespace {

using testsupport::Close;
using testsupport::Pattern;
using testsupport::PatternBytes;
using testsupport::Respond;
using testsupport::Send;
using winhttp::TWinHTTPProgressEvent;

std::uint32_t Attributes(const std::string& path) {
  return kernel::GetFileAttributesA(path.c_str());
}

class ScriptedResponse : public TransferTest {
 protected:
  testsupport::ScriptedServer server_;
};

struct DropCase {
  const char* name;
  bool output_file;
  Events events;
};

class DropTest : public ScriptedResponse, public testing::WithParamInterface<DropCase> {};

TEST_P(DropTest, BodyCutShortIsAConnectionLoss) {
  server_.SetRoutes({{.steps = {Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n"),
                                Pattern(0, 600), Close()}}});
  if (GetParam().output_file) http_->OutputFileName = dir_.File("out.bin");
  EXPECT_EQ(Fetch(server_.Url("/drop")), GetParam().events);
  if (GetParam().output_file) {
    EXPECT_EQ(testsupport::ReadFile(http_->OutputFileName), PatternBytes(0, 600));
    EXPECT_EQ(Attributes(http_->OutputFileName), 0x120u);  // stays, marked incomplete
  } else {
    EXPECT_EQ(recorder_.body.substr(0, 600), PatternBytes(0, 600));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Response, DropTest,
    testing::Values(
        DropCase{"IntoMemory", false, {"OnConnLost 1000 600 memory(1000)", "OnAnyError"}},
        DropCase{"IntoOutputFile", true, {"OnConnLost 1000 600 file(600)", "OnAnyError"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScriptedResponse, WithoutALengthWhateverArrivedIsDone) {
  server_.SetRoutes({{.steps = {Send("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                                     "Connection: close\r\n\r\n"),
                                Pattern(0, 1000), Close()}}});
  EXPECT_EQ(Fetch(server_.Url("/nolength")), (Events{"OnDone text/plain 1000 memory(1000)"}));
  EXPECT_EQ(recorder_.body, PatternBytes(0, 1000));
}

TEST_F(ScriptedResponse, StallMidBodyEndsAtTheReceiveTimeout) {
  server_.SetRoutes({{.steps = {Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n"),
                                Pattern(0, 300), testsupport::Sleep(20s)}}});
  http_->Timeouts()->ReceiveTimeout = 500;
  const auto start = Clock::now();
  EXPECT_EQ(Fetch(server_.Url("/stall")),
            (Events{"OnConnLost 1000 300 memory(1000)", "OnAnyError"}));
  EXPECT_LT(Clock::now() - start, 10s);
}

TEST_F(ScriptedResponse, LyingLengthIsNotAllocatedUpFront) {
  server_.SetRoutes({{.steps = {Send("HTTP/1.1 200 OK\r\nContent-Length: 2000000000\r\n\r\n"),
                                Pattern(0, 100), Close()}}});
  EXPECT_EQ(Fetch(server_.Url("/liar")),
            (Events{"OnConnLost 2000000000 100 memory(" +
                        std::to_string(winhttp::kMaxMemoryPresize) + ")",
                    "OnAnyError"}));
}

TEST_F(ScriptedResponse, ResumedRequestAnsweredWithTheWholeEntityStartsTheFileAfresh) {
  server_.SetRoutes({{.steps = {Respond(200, {}, PatternBytes(0, 3000))}}});
  http_->OutputFileName = dir_.Write("out.bin", std::string(9000, 'x'));
  EXPECT_EQ(Fetch(server_.Url("/whole"), 5000), (Events{"OnDone  3000 none"}));
  EXPECT_EQ(testsupport::ReadFile(http_->OutputFileName), PatternBytes(0, 3000));
  EXPECT_EQ(server_.Requests().back().Header("Range").value_or(""), "bytes=5000-");
}

TEST_F(ScriptedResponse, HeaderEventCanStopTheTransfer) {
  server_.SetRoutes({{.steps = {Respond(200, {"Content-Type: text/plain"}, "body")}}});
  http_->OutputFileName = dir_.File("out.bin");
  http_->OnHeaderInfo = winhttp::TWinHTTPHeaderInfoEvent(
      [](vcl::TObject*, std::int32_t code, const std::string&, const std::string& type,
         const std::string&, const std::string&, std::int32_t length, const std::string&,
         winhttp::TDateTime, winhttp::TDateTime, winhttp::TDateTime, const std::string&,
         bool& continue_download) {
        EXPECT_EQ(code, 200);
        EXPECT_EQ(type, "text/plain");
        EXPECT_EQ(length, 4);
        continue_download = false;
      });
  EXPECT_EQ(Fetch(server_.Url("/h")), (Events{"OnDoneInterrupted"}));
  EXPECT_EQ(Attributes(http_->OutputFileName), kernel::INVALID_FILE_ATTRIBUTES);
}

struct HeaderInfoSeen {
  std::string raw, type, language, encoding, location, etag;
  winhttp::TDateTime date = 0, last_modified = 0, expires = 0;
  std::int32_t length = -1;
};

class HeaderInfoTest : public ScriptedResponse {
 protected:
  HeaderInfoTest() {
    http_->OnHeaderInfo = winhttp::TWinHTTPHeaderInfoEvent(
        [this](vcl::TObject*, std::int32_t, const std::string& raw, const std::string& type,
               const std::string& language, const std::string& encoding, std::int32_t length,
               const std::string& location, winhttp::TDateTime date,
               winhttp::TDateTime last_modified, winhttp::TDateTime expires,
               const std::string& etag, bool&) {
          seen_ = {raw,  type, language,      encoding, location,
                   etag, date, last_modified, expires,  length};
        });
  }
  HeaderInfoSeen seen_;
};

TEST_F(HeaderInfoTest, HeadersReachTheEventAndAnOversizedRawBlockIsLeftEmpty) {
  const std::vector<std::string> headers = {"Content-Type: text/plain",
                                            "Content-Language: en",
                                            "Content-Encoding: identity",
                                            "Location: /elsewhere",
                                            "ETag: \"v1\"",
                                            "Last-Modified: Sun, 06 Nov 1994 08:49:37 GMT",
                                            "Expires: Sun, 06 Nov 1994 08:49:37 GMT"};
  server_.SetRoutes({{.path = "/small", .steps = {Respond(200, headers, "ok")}}});
  EXPECT_EQ(Fetch(server_.Url("/small")), (Events{"OnDone text/plain 2 memory(2)"}));
  EXPECT_EQ(seen_.raw.rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_NE(seen_.raw.find("ETag: \"v1\"\r\n"), std::string::npos);
  EXPECT_EQ(seen_.language, "en");
  EXPECT_EQ(seen_.encoding, "identity");
  EXPECT_EQ(seen_.location, "/elsewhere");
  EXPECT_EQ(seen_.etag, "\"v1\"");
  EXPECT_NE(seen_.last_modified, 0.0);
  EXPECT_EQ(seen_.last_modified, seen_.expires);
  EXPECT_EQ(seen_.date, 0.0);  // no Date header
  EXPECT_EQ(seen_.length, 2);

  std::vector<std::string> big = headers;
  big.push_back("X-Big: " + std::string(5000, 'a'));
  server_.SetRoutes({{.path = "/big", .steps = {Respond(200, big, "ok")}}});
  EXPECT_EQ(Fetch(server_.Url("/big")), (Events{"OnDone text/plain 2 memory(2)"}));
  EXPECT_EQ(seen_.raw, "");
  EXPECT_EQ(seen_.type, "text/plain");
  EXPECT_EQ(seen_.etag, "\"v1\"");
}

TEST_F(ScriptedResponse, RealmStaysInContentTypeWhenTheAnswerHasNone) {
  server_.SetRoutes({{.steps = {Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")},
                      .auth_scheme = "basic",
                      .user = "u",
                      .password = "p",
                      .realm = "the realm"}});
  http_->OnPasswordRequest = winhttp::TWinHTTPPasswordRequestEvent(
      [this](vcl::TObject*, const std::string&, bool& try_again) {
        http_->Username = "u";
        http_->Password = "p";
        try_again = true;
      });
  EXPECT_EQ(Fetch(server_.Url("/realm")), (Events{"OnDone the realm 2 memory(2)"}));
}

TEST_F(ScriptedResponse, ErrorStatusGoesToMemoryAndLeavesTheOutputFileAlone) {
  server_.SetRoutes({{.steps = {Respond(404, {}, "not found")}}});
  http_->OutputFileName = dir_.File("out.bin");
  EXPECT_EQ(Fetch(server_.Url("/missing")), (Events{"OnHTTPError 404 memory(9)", "OnAnyError"}));
  EXPECT_EQ(recorder_.body, "not found");
  EXPECT_EQ(Attributes(http_->OutputFileName), kernel::INVALID_FILE_ATTRIBUTES);
}

// ---- into an output file from nginx

class NginxResponse : public TransferTest {
 protected:
  static constexpr std::uint32_t kSize = 20000;
  NginxResponse() {
    nginx_.WriteFile("data.bin", PatternBytes(0, kSize));
    http_->OutputFileName = dir_.File("out.bin");
    http_->OnProgress = TWinHTTPProgressEvent(
        [this](vcl::TObject*, const std::string&, std::int32_t, std::int32_t read, std::int32_t,
               std::int32_t, std::uint8_t, float, vcl::TStream*) {
          progress_.push_back(read);
          attributes_while_writing_ = Attributes(http_->OutputFileName);
        });
  }
  Events FetchData(std::uint32_t start = 0) { return Fetch(nginx_.Url("/data.bin"), start); }
  std::string Output() const { return testsupport::ReadFile(http_->OutputFileName); }

  testsupport::NginxServer nginx_;
  std::vector<std::int32_t> progress_;
  std::uint32_t attributes_while_writing_ = 0;
};

TEST_F(NginxResponse, ResumeChecksTheFirstBlockAndWritesTheRestAfterIt) {
  kernel::DeleteFileA(http_->OutputFileName.c_str());
  dir_.Write("out.bin", PatternBytes(0, 9096));
  EXPECT_EQ(FetchData(5000), (Events{"OnDone application/octet-stream 20000 none"}));
  EXPECT_EQ(Output(), PatternBytes(0, kSize));
  // No progress for the compared block; the next one lands after it.
  ASSERT_FALSE(progress_.empty());
  EXPECT_EQ(progress_.front(), 5000 + 2 * 4096);
  EXPECT_EQ(progress_.back(), static_cast<std::int32_t>(kSize));
}

struct StaleCase {
  const char* name;
  std::string partial_copy;
};

class StaleCopyTest : public NginxResponse, public testing::WithParamInterface<StaleCase> {};

TEST_P(StaleCopyTest, StaleOrShortPartialCopyIsReplacedOnce) {
  dir_.Write("out.bin", GetParam().partial_copy);
  EXPECT_EQ(FetchData(5000), (Events{"OnDone application/octet-stream 20000 none"}));
  EXPECT_EQ(Output(), PatternBytes(0, kSize));
  // nginx logs a request just after its last byte went out: give the log a moment.
  const auto requests = [&] {
    const std::string log = nginx_.AccessLog();
    std::size_t count = 0;
    for (std::size_t at = log.find("GET /data.bin"); at != std::string::npos;
         at = log.find("GET /data.bin", at + 1))
      ++count;
    return count;
  };
  PumpUntil([&] { return requests() >= 2; }, 3s);
  PumpFor(100ms);
  EXPECT_EQ(requests(), 2u);  // the resumed request, then the whole entity once
}

INSTANTIATE_TEST_SUITE_P(Response, StaleCopyTest,
                         testing::Values(StaleCase{"DifferentBytes", std::string(9096, '\0')},
                                         StaleCase{"TooShort", PatternBytes(0, 6000)}),
                         [](const auto& info) { return std::string(info.param.name); });

struct MarkingCase {
  const char* name;
  winhttp::TWinHTTPFileAttributes incomplete, complete;
  std::uint32_t while_writing, after;
};

class MarkingTest : public NginxResponse, public testing::WithParamInterface<MarkingCase> {};

TEST_P(MarkingTest, OutputFileIsMarkedWhileWrittenAndOnceComplete) {
  const MarkingCase& c = GetParam();
  http_->OutputFileAttributes()->SetIncomplete(c.incomplete);
  http_->OutputFileAttributes()->SetComplete(c.complete);
  EXPECT_EQ(FetchData(), (Events{"OnDone application/octet-stream 20000 none"}));
  EXPECT_EQ(attributes_while_writing_, c.while_writing);
  EXPECT_EQ(Attributes(http_->OutputFileName), c.after);
}

using winhttp::atrArchive;
using winhttp::atrHidden;
using winhttp::atrSystem;
using winhttp::atrTemporary;

INSTANTIATE_TEST_SUITE_P(
    Response, MarkingTest,
    testing::Values(MarkingCase{"Defaults", {atrArchive, atrTemporary}, {atrArchive}, 0x120, 0x20},
                    // Archive alone means "leave the new file's attributes as created".
                    MarkingCase{
                        "ArchiveOnlyLeavesTheFileAlone", {atrArchive}, {atrArchive}, 0x80, 0x80},
                    MarkingCase{"OwnSets", {atrArchive, atrHidden}, {atrSystem}, 0x22, 0x4}),
    [](const auto& info) { return std::string(info.param.name); });

// A real interruption (a stop in the middle of the body), then a resume from a buffer's worth
// before the end of the partial copy: the file ends byte-identical to the server's.
TEST_F(TransferTest, ResumeOfALargeFileAfterARealInterruption) {
  constexpr std::uint32_t kLarge = 8u << 20;
  testsupport::NginxServer nginx;
  nginx.WriteFile("large.bin", PatternBytes(0, kLarge));
  http_->OutputFileName = dir_.File("large.bin");
  http_->URL = nginx.Url("/large.bin");
  bool stopped = false;
  http_->OnProgress =
      TWinHTTPProgressEvent([&](vcl::TObject*, const std::string&, std::int32_t, std::int32_t read,
                                std::int32_t, std::int32_t, std::uint8_t, float, vcl::TStream*) {
        if (!stopped && read >= (2 << 20)) {
          stopped = true;
          http_->Abort(false, false);
        }
      });
  ASSERT_TRUE(http_->Read(false));
  EXPECT_EQ(AwaitEnd(), (Events{"OnAborted"}));
  const std::uintmax_t partial = std::filesystem::file_size(http_->OutputFileName);
  ASSERT_GE(partial, 2u << 20);
  ASSERT_LT(partial, kLarge);
  EXPECT_EQ(Attributes(http_->OutputFileName), 0x120u);

  http_->OnProgress = {};
  const auto start = static_cast<std::uint32_t>(partial - 4096);
  EXPECT_EQ(Fetch(http_->URL, start),
            (Events{"OnDone application/octet-stream " + std::to_string(kLarge) + " none"}));
  EXPECT_TRUE(testsupport::ReadFile(http_->OutputFileName) == PatternBytes(0, kLarge));
  EXPECT_EQ(Attributes(http_->OutputFileName), 0x20u);
}

TEST_F(TransferTest, FullDiskIsAnOutputFileFailureAndKeepsThePartialFile) {
  SmallDisk disk(dir_.File("disk"));
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  testsupport::NginxServer nginx;
  nginx.WriteFile("big.bin", PatternBytes(0, 4u << 20));
  http_->OutputFileName = dir_.File("disk/big.bin");
  EXPECT_EQ(Fetch(nginx.Url("/big.bin")), (Events{"OnAnyError", "OnOutputFileError"}));
  const std::string partial = testsupport::ReadFile(http_->OutputFileName);
  EXPECT_GT(partial.size(), 0u);
  EXPECT_LE(partial.size(), 1u << 20);
  EXPECT_TRUE(partial == PatternBytes(0, partial.size()));
  EXPECT_EQ(Attributes(http_->OutputFileName), 0x120u);
  // The transfer was released: the next one runs.
  http_->OutputFileName.clear();
  nginx.WriteFile("small.txt", "ok");
  EXPECT_EQ(Fetch(nginx.Url("/small.txt")), (Events{"OnDone text/plain 2 memory(2)"}));
}

}  // namespace
}  // namespace e2e
