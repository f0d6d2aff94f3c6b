// Transfer control: FinishTransfer's outcomes, Read (refused while reading, waiting), Abort both
// ways, the wait limit, exceptions, a new transfer from OnDone, and destruction during a run.
// The runs are test bodies that leave a transfer state behind, as the transfer procedure does.
#include <chrono>
#include <stdexcept>

#include "transfer_test_support.h"

namespace transfer_test {
namespace {

using winhttp::TWinHTTPErrorEvent;
using winhttp::TWinHTTPProgressEvent;

// ---- FinishTransfer's outcome table

enum class Sink { kNone, kMemory, kFile };
enum class FileAfter { kNoFile, kComplete, kIncomplete, kDeleted };

struct Outcome {
  const char* name;
  bool continue_download;
  bool succeeded;
  int status;
  bool upload_sent;
  Sink sink;
  Events events;
  FileAfter file;
};

void PrintTo(const Outcome& o, std::ostream* os) {
  *os << o.name;
}

class OutcomeTest : public TransferFixture, public testing::WithParamInterface<Outcome> {};

TEST_P(OutcomeTest, EndEventsFollowTheStateTheRunLeft) {
  const Outcome& o = GetParam();
  http_->body = [o](TestHTTP& h) {
    h.ContinueDownload = o.continue_download;
    h.Succeeded = o.succeeded;
    h.HttpStatus = o.status;
    h.UploadSent = o.upload_sent;
    h.ContentType = "text/plain";
    h.DataLength = 5;
    h.BytesTransferred = 5;
    // The transfer frees its buffer before it can end without a stream, and FinishTransfer does
    // not release that outcome: only the other outcomes get a buffer to release.
    if (o.sink != Sink::kNone || !o.succeeded || !o.continue_download)
      h.TransferBuffer = std::make_unique<std::uint8_t[]>(16);
    if (o.sink == Sink::kMemory) h.MemorySink("hello");
    if (o.sink == Sink::kFile) h.FileSink("hello");
  };
  ASSERT_TRUE(http_->Read(true));
  EXPECT_EQ(Logged(), o.events);
  EXPECT_FALSE(http_->Busy());
  EXPECT_FALSE(http_->Reading.load());
  EXPECT_EQ(http_->DataStream, nullptr);
  EXPECT_EQ(http_->TransferBuffer, nullptr);
  EXPECT_FALSE(http_->OutputFileOpen);
  switch (o.file) {
    case FileAfter::kNoFile:
    case FileAfter::kDeleted:
      EXPECT_EQ(FileAttributes(), kernel::INVALID_FILE_ATTRIBUTES);
      break;
    case FileAfter::kComplete:
      EXPECT_EQ(FileAttributes(), 0x20u);  // [atrArchive]
      EXPECT_EQ(testsupport::ReadFile(http_->OutputFileName), "hello");
      break;
    case FileAfter::kIncomplete:
      EXPECT_EQ(FileAttributes(), 0x120u);  // [atrArchive, atrTemporary]
      EXPECT_EQ(testsupport::ReadFile(http_->OutputFileName), "hello");
      break;
  }
  // Released: the next Read is accepted.
  log_.Clear();
  http_->body = nullptr;
  http_->ContinueDownload = false;
  EXPECT_TRUE(http_->Read(true));
  EXPECT_EQ(Logged(), Events{"OnDoneInterrupted"});
}

INSTANTIATE_TEST_SUITE_P(
    FinishTransfer, OutcomeTest,
    testing::Values(Outcome{"HeaderEventStopped",
                            false,
                            true,
                            200,
                            false,
                            Sink::kMemory,
                            {"OnDoneInterrupted"},
                            FileAfter::kNoFile},
                    Outcome{"HeaderEventStoppedOutputFile",
                            false,
                            true,
                            200,
                            false,
                            Sink::kFile,
                            {"OnDoneInterrupted"},
                            FileAfter::kIncomplete},
                    Outcome{"SucceededWithoutStream",
                            true,
                            true,
                            200,
                            false,
                            Sink::kNone,
                            {"OnAnyError", "OnOutputFileError"},
                            FileAfter::kNoFile},
                    Outcome{"SucceededIntoMemory",
                            true,
                            true,
                            200,
                            false,
                            Sink::kMemory,
                            {"OnDone text/plain 5 memory 'hello'"},
                            FileAfter::kNoFile},
                    Outcome{"SucceededIntoOutputFile",
                            true,
                            true,
                            200,
                            false,
                            Sink::kFile,
                            {"OnDone text/plain 5 none"},
                            FileAfter::kComplete},
                    Outcome{"CutShortIntoOutputFile",
                            true,
                            false,
                            200,
                            false,
                            Sink::kFile,
                            {"OnConnLost text/plain 5 5 file 'hello'", "OnAnyError"},
                            FileAfter::kIncomplete},
                    Outcome{"PartialCutShortIntoMemory",
                            true,
                            false,
                            206,
                            false,
                            Sink::kMemory,
                            {"OnConnLost text/plain 5 5 memory 'hello'", "OnAnyError"},
                            FileAfter::kNoFile},
                    Outcome{"NoStatusAfterUpload",
                            true,
                            false,
                            -1,
                            true,
                            Sink::kNone,
                            {"OnUploadCGITimeoutFailed", "OnAnyError"},
                            FileAfter::kNoFile},
                    Outcome{"NoStatus",
                            true,
                            false,
                            -1,
                            false,
                            Sink::kNone,
                            {"OnHostUnreachable", "OnAnyError"},
                            FileAfter::kNoFile},
                    Outcome{"ErrorPageInMemory",
                            true,
                            false,
                            404,
                            false,
                            Sink::kMemory,
                            {"OnHTTPError 404 memory 'hello'", "OnAnyError"},
                            FileAfter::kNoFile},
                    Outcome{"ErrorStatusDeletesTheOutputFile",
                            true,
                            false,
                            500,
                            false,
                            Sink::kFile,
                            {"OnHTTPError 500 file 'hello'", "OnAnyError"},
                            FileAfter::kDeleted},
                    Outcome{"ErrorStatusWithoutStream",
                            true,
                            false,
                            401,
                            false,
                            Sink::kNone,
                            {"OnHTTPError 401 none", "OnAnyError"},
                            FileAfter::kNoFile}),
    [](const testing::TestParamInfo<Outcome>& info) { return std::string(info.param.name); });

using TransferTest = TransferFixture;

TEST_F(TransferTest, ResumedTransferArgumentsCountFromWhereTheyShould) {
  struct Case {
    bool succeeded;
    Events events;
  };
  for (const Case& c : {
           Case{false, {"OnProgress 8000 6000", "OnConnLost  3000 1000 memory ''", "OnAnyError"}},
           Case{true, {"OnProgress 8000 6000", "OnDone  6000 memory ''"}},
       }) {
    log_.Clear();
    http_->body = [c](TestHTTP& h) {
      h.ContinueDownload = true;
      h.HttpStatus = 206;
      h.DataLength = 3000;
      h.BytesTransferred = 1000;
      h.MemorySink("");
      h.Progress();
      h.Succeeded = c.succeeded;
    };
    ASSERT_TRUE(http_->Read(5000, 0, true));
    EXPECT_EQ(Logged(), c.events);
  }
}

TEST_F(TransferTest, ASecondReadDuringATransferIsRefusedAndChangesNothing) {
  std::atomic<bool> release{false};
  http_->body = [&release](TestHTTP& h) {
    TestHTTP::Hold(release);
    h.ContinueDownload = true;
    h.Succeeded = true;
    h.MemorySink("x");
  };
  ASSERT_TRUE(http_->Read(10, 20, false));
  EXPECT_TRUE(http_->Busy() || http_->Reading.load());
  EXPECT_FALSE(http_->Read(30, 40, false));
  EXPECT_FALSE(http_->Read(true));
  EXPECT_EQ(http_->StartPosition, 10u);
  EXPECT_EQ(http_->EndPosition, 20u);
  release = true;
  ASSERT_TRUE(PumpUntil([&] { return !Logged().empty() && !http_->Busy(); }));
  EXPECT_EQ(Logged(), Events{"OnDone  10 memory 'x'"});  // 0 bytes + StartPosition
  EXPECT_EQ(http_->runs.load(), 1);
}

TEST_F(TransferTest, ReadWithWaitDeliversEveryEventInsideTheCall) {
  struct Case {
    bool wait_argument;
    bool wait_thread;
  };
  for (const Case& c : {Case{true, false}, Case{false, true}, Case{true, true}}) {
    SCOPED_TRACE(std::to_string(c.wait_argument) + std::to_string(c.wait_thread));
    log_.Clear();
    http_->SetWaitThread(c.wait_thread);
    std::atomic<float> rate_at_start{0.0f};
    http_->body = [&rate_at_start](TestHTTP& h) {
      rate_at_start = h.TransferRate;
      h.ContinueDownload = true;
      h.DataLength = 3;
      h.MemorySink("abc");
      for (std::uint32_t i = 1; i <= 3; ++i) {
        h.BytesTransferred = i;
        h.Progress();
      }
      h.Succeeded = true;
    };
    ASSERT_TRUE(http_->Read(0, 0, c.wait_argument));
    EXPECT_EQ(Logged(), (Events{"OnProgress 3 1", "OnProgress 3 2", "OnProgress 3 3",
                                "OnDone  3 memory 'abc'"}));
    EXPECT_EQ(http_->WaitThread(), c.wait_thread);  // put back after the wait
    EXPECT_EQ(rate_at_start.load(), -1.0f);         // Read's mark until the first progress
    EXPECT_GE(http_->TransferRate, 0.0f);
    EXPECT_FALSE(http_->Busy());
  }
}

TEST_F(TransferTest, AbortWhileIdleDoesNothing) {
  http_->Abort(true, true);
  http_->Abort(false, false);
  EXPECT_TRUE(Logged().empty());
  EXPECT_FALSE(http_->Busy());
}

// A download into the output file that reports progress and checks for a stop after each block.
void SlowFileDownload(TestHTTP& h) {
  h.ContinueDownload = true;
  h.FileSink("partial");
  for (std::uint32_t i = 1; i <= 1000; ++i) {
    h.BytesTransferred = i;
    h.Progress();
    h.Stop();
    TestHTTP::Nap(1);
  }
  h.Succeeded = true;
}

TEST_F(TransferTest, AbortByRequestStopsAtTheNextStopCheckAndDeletesTheFile) {
  http_->body = SlowFileDownload;
  bool aborted = false;
  http_->OnProgress =
      TWinHTTPProgressEvent([&](vcl::TObject*, const std::string&, std::int32_t, std::int32_t,
                                std::int32_t, std::int32_t, std::uint8_t, float, vcl::TStream*) {
        log_.Add("OnProgress");
        if (aborted) return;
        aborted = true;
        http_->Abort(true, false);
        log_.Add("requested");
      });
  ASSERT_TRUE(http_->Read(true));
  EXPECT_EQ(Logged(), (Events{"OnProgress", "requested", "OnAborted"}));
  EXPECT_EQ(FileAttributes(), kernel::INVALID_FILE_ATTRIBUTES);  // deleted
  EXPECT_FALSE(http_->Reading.load());
  EXPECT_TRUE(http_->Busy());  // the worker ended itself: busy until the next Read

  log_.Clear();
  http_->body = [](TestHTTP& h) {
    h.ContinueDownload = true;
    h.Succeeded = true;
    h.BytesTransferred = 5;
    h.MemorySink("again");
  };
  ASSERT_TRUE(http_->Read(true));
  EXPECT_EQ(Logged(), Events{"OnDone  5 memory 'again'"});
  EXPECT_FALSE(http_->Busy());
}

TEST_F(TransferTest, AbortAtOnceEndsTheWorkerAndFiresOnAbortedWithinTheCall) {
  http_->body = SlowFileDownload;
  ASSERT_TRUE(http_->Read(false));
  ASSERT_TRUE(PumpUntil([&] { return log_.Count("OnProgress") >= 2; }));
  log_.Add("before");
  http_->Abort(false, true);
  log_.Add("after");
  const Events events = Logged();
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ((Events{events.end() - 3, events.end()}), (Events{"before", "OnAborted", "after"}));
  EXPECT_FALSE(http_->Busy());
  EXPECT_FALSE(http_->Reading.load());
  EXPECT_EQ(http_->DataStream, nullptr);
  EXPECT_EQ(FileAttributes(), 0x120u);  // kept, marked incomplete
  EXPECT_EQ(testsupport::ReadFile(http_->OutputFileName), "partial");
  PumpFor(50ms);
  EXPECT_EQ(Logged().size(), events.size());  // nothing of the ended run follows
}

TEST_F(TransferTest, AbortAtOnceFromInsideOnProgressReleasesTheTransfer) {
  http_->body = SlowFileDownload;
  http_->OnProgress = TWinHTTPProgressEvent([&](vcl::TObject*, const std::string&, std::int32_t,
                                                std::int32_t, std::int32_t, std::int32_t,
                                                std::uint8_t, float, vcl::TStream* stream) {
    log_.Add("OnProgress " + std::string(stream != nullptr ? "stream" : "none"));
    http_->Abort(true, true);  // the stream is gone after this call
    log_.Add("returned");
  });
  ASSERT_TRUE(http_->Read(true));
  EXPECT_EQ(Logged(), (Events{"OnProgress stream", "OnAborted", "returned"}));
  EXPECT_EQ(FileAttributes(), kernel::INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(http_->Busy());
  EXPECT_FALSE(http_->Reading.load());
}

TEST_F(TransferTest, TheWaitLimitEndsTheWorkerUnlessTheHandlerKeepsIt) {
  struct Case {
    const char* name;
    bool handler;
    bool keep_running;
  };
  for (const Case& c : {Case{"handler ends it", true, false}, Case{"no handler", false, false},
                        Case{"handler keeps it", true, true}}) {
    SCOPED_TRACE(c.name);
    log_.Clear();
    http_->SetWaitTimeout(100);
    http_->OnWaitTimeoutExpired.Clear();
    if (c.handler) {
      http_->OnWaitTimeoutExpired = winhttp::TWinThreadWaitTimeoutExpired(
          [&, c](vcl::TObject* sender, bool& terminate_thread) {
            EXPECT_EQ(sender, http_);
            EXPECT_TRUE(terminate_thread);
            log_.Add("OnWaitTimeoutExpired");
            terminate_thread = !c.keep_running;
          });
    }
    std::atomic<bool> release{false};
    http_->body = [&release](TestHTTP& h) {
      h.ContinueDownload = true;
      h.MemorySink("late");
      TestHTTP::Hold(release);
      h.Succeeded = true;
    };
    const auto start = std::chrono::steady_clock::now();
    const bool result = http_->Read(true);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 100ms);
    EXPECT_LT(waited, 3s);
    EXPECT_EQ(result, c.keep_running);
    EXPECT_EQ(Logged(), c.handler ? Events{"OnWaitTimeoutExpired"} : Events{});
    if (c.keep_running) {
      EXPECT_TRUE(http_->Busy());
      release = true;
      ASSERT_TRUE(PumpUntil([&] { return log_.Count("OnDone") == 1 && !http_->Busy(); }));
      EXPECT_EQ(Logged(), (Events{"OnWaitTimeoutExpired", "OnDone  0 memory 'late'"}));
    } else {
      EXPECT_FALSE(http_->Busy());
      EXPECT_FALSE(http_->Reading.load());
      EXPECT_EQ(http_->DataStream, nullptr);
      PumpFor(30ms);
      EXPECT_EQ(Logged().size(), c.handler ? 1u : 0u);  // no end event follows
    }
  }
}

TEST_F(TransferTest, AnExceptionOfTheRunIsReportedThenTheStateIsFinished) {
  http_->body = [](TestHTTP& h) {
    h.ContinueDownload = true;
    h.Succeeded = false;
    h.HttpStatus = -1;
    throw std::runtime_error("out of memory");
  };
  ASSERT_TRUE(http_->Read(true));
  EXPECT_EQ(Logged(), (Events{"OnAnyError", "OnHostUnreachable", "OnAnyError"}));
}

TEST_F(TransferTest, AnExceptionOfAnEndEventStillReleasesTheTransfer) {
  http_->OnHTTPError = TWinHTTPErrorEvent([&](vcl::TObject*, std::int32_t, vcl::TStream*) {
    log_.Add("OnHTTPError");
    throw std::runtime_error("handler failed");
  });
  http_->body = [](TestHTTP& h) {
    h.ContinueDownload = true;
    h.HttpStatus = 500;
    h.FileSink("error page");
  };
  ASSERT_TRUE(http_->Read(true));
  // The worker thread component reports the handler's exception through OnAnyError.
  EXPECT_EQ(Logged(), (Events{"OnHTTPError", "OnAnyError"}));
  EXPECT_FALSE(http_->Reading.load());
  EXPECT_EQ(http_->DataStream, nullptr);
  EXPECT_EQ(FileAttributes(), 0x120u);  // closed and marked incomplete
}

// ---- a new transfer started from OnDone

struct Restart {
  const char* name;
  bool outer_wait;
  bool inner_wait;
  Events events;
};

void PrintTo(const Restart& r, std::ostream* os) {
  *os << r.name;
}

class ReadFromOnDoneTest : public TransferFixture, public testing::WithParamInterface<Restart> {};

TEST_P(ReadFromOnDoneTest, TheNewTransferIsAcceptedAndLeftAlone) {
  const Restart& r = GetParam();
  std::atomic<bool> release_second{false};
  http_->body = [](TestHTTP& h) {
    h.ContinueDownload = true;
    h.Succeeded = true;
    h.BytesTransferred = 5;
    h.FileSink("first");
  };
  http_->OnDone = winhttp::TWinHTTPDoneEvent(
      [&](vcl::TObject*, const std::string&, std::int32_t size, vcl::TStream* s) {
        log_.Add("OnDone " + std::to_string(size) + " " + Describe(s));
        if (http_->runs.load() != 1) return;
        http_->body = [&](TestHTTP& h) {
          if (!r.inner_wait && !r.outer_wait) TestHTTP::Hold(release_second);
          h.ContinueDownload = true;
          h.Succeeded = true;
          h.BytesTransferred = 6;
          h.TransferBuffer = std::make_unique<std::uint8_t[]>(8);
          h.MemorySink("second");
          h.Progress();
        };
        log_.Add(http_->Read(r.inner_wait) ? "accepted" : "refused");
      });
  ASSERT_TRUE(http_->Read(r.outer_wait));
  if (!r.inner_wait && !r.outer_wait) {
    // The first transfer's FinishTransfer has returned while the second one is held: it must
    // have left the second transfer alone.
    ASSERT_TRUE(PumpUntil([&] { return log_.Count("accepted") == 1; }));
    PumpFor(20ms);
    EXPECT_TRUE(http_->Reading.load());
    EXPECT_FALSE(http_->Read(false));
    release_second = true;
  }
  ASSERT_TRUE(PumpUntil([&] { return log_.Count("OnDone") == 2 && !http_->Busy(); }));
  EXPECT_EQ(Logged(), r.events);
  EXPECT_EQ(http_->runs.load(), 2);
  EXPECT_FALSE(http_->Reading.load());
  EXPECT_FALSE(http_->WaitThread());
  EXPECT_EQ(FileAttributes(), 0x20u);  // the first transfer's file is complete
  EXPECT_EQ(testsupport::ReadFile(http_->OutputFileName), "first");
}

// While the outer Read waits, WaitThread is set, so the inner Read waits as well.
const Events kInnerRunInsideRead = {"OnDone 5 none", "OnProgress 0 6", "OnDone 6 memory 'second'",
                                    "accepted"};
const Events kInnerRunAfterRead = {"OnDone 5 none", "accepted", "OnProgress 0 6",
                                   "OnDone 6 memory 'second'"};

INSTANTIATE_TEST_SUITE_P(TransferTest, ReadFromOnDoneTest,
                         testing::Values(Restart{"NeitherWaits", false, false, kInnerRunAfterRead},
                                         Restart{"InnerWaits", false, true, kInnerRunInsideRead},
                                         Restart{"OuterWaits", true, false, kInnerRunInsideRead},
                                         Restart{"BothWait", true, true, kInnerRunInsideRead}),
                         [](const testing::TestParamInfo<Restart>& info) {
                           return std::string(info.param.name);
                         });

// ---- destruction during a run

TEST_F(TransferTest, DestroyingTheComponentMidRunIsCleanAndSilent) {
  http_->body = SlowFileDownload;
  ASSERT_TRUE(http_->Read(false));
  ASSERT_TRUE(PumpUntil([&] { return log_.Count("OnProgress") >= 1; }));
  const std::string file = http_->OutputFileName;
  owner_.reset();
  const std::size_t events = Logged().size();
  PumpFor(30ms);
  EXPECT_EQ(Logged().size(), events);  // no OnAborted, no end event
  EXPECT_EQ(log_.Count("OnAborted"), 0);
  EXPECT_EQ(kernel::GetFileAttributesA(file.c_str()), 0x120u);  // closed, marked incomplete
  EXPECT_EQ(testsupport::ReadFile(file), "partial");
}

TEST_F(TransferTest, DestroyingAtAnyMomentOfARunIsClean) {
  for (int i = 0; i < 20; ++i) {
    SCOPED_TRACE(i);
    auto owner = vcl::MakeComponent<vcl::TComponent>();
    auto* http = new TestHTTP(owner.get());
    RecordEvents(*http);
    http->body = [](TestHTTP& h) {
      h.ContinueDownload = true;
      h.MemorySink("data");
      for (std::uint32_t n = 1; n <= 3; ++n) {
        h.BytesTransferred = n;
        h.Progress();
      }
      h.Succeeded = true;
    };
    ASSERT_TRUE(http->Read(false));
    PumpFor(std::chrono::milliseconds(i % 4));
    owner.reset();
  }
}

TEST_F(TransferTest, DestroyingTheComponentFromItsOwnOnDone) {
  http_->body = [](TestHTTP& h) {
    h.ContinueDownload = true;
    h.Succeeded = true;
    h.MemorySink("bye");
  };
  http_->OnDone = winhttp::TWinHTTPDoneEvent(
      [this](vcl::TObject*, const std::string&, std::int32_t, vcl::TStream* s) {
        log_.Add("OnDone " + Describe(s));
        owner_.reset();  // frees the component; nothing of it may be touched afterwards
      });
  http_->Read(true);
  EXPECT_EQ(Logged(), Events{"OnDone memory 'bye'"});
  EXPECT_EQ(owner_, nullptr);
}

// The real transfer procedure ends every run in exactly one outcome, delivered by FinishTransfer.
TEST(PlainComponentTest, ARunEndsInEndEventsAndReleasesTheTransfer) {
  auto http = vcl::MakeComponent<winhttp::TWinHTTP>();
  http->URL = "127.0.0.1:1/nothing";
  int end_events = 0;
  const winhttp::TNotifyEvent count([&](vcl::TObject*) { ++end_events; });
  http->OnDoneInterrupted = count;
  http->OnHostUnreachable = count;
  http->OnOutputFileError = count;
  http->OnHTTPError =
      TWinHTTPErrorEvent([&](vcl::TObject*, std::int32_t, vcl::TStream*) { ++end_events; });
  ASSERT_TRUE(http->Read(true));
  EXPECT_EQ(end_events, 1);
  EXPECT_FALSE(http->Busy());
  ASSERT_TRUE(http->Read(true));  // released: accepted again
  EXPECT_EQ(end_events, 2);
}

}  // namespace
}  // namespace transfer_test
