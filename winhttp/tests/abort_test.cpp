// A stop is prompt in every phase: Abort(false, false) wakes the worker from the blocking internet
// call it waits in (a connect nobody answers, a response that never comes, an upload nobody
// reads), and the run ends with OnAborted alone instead of a network failure. Each case prints the
// time from Abort to OnAborted.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <thread>
#include <vector>

#include "e2e_support.h"

namespace e2e {
namespace {

// A loopback listener whose accept queue is full and never drained: the kernel drops further
// connection attempts, so a connect to it is never answered and waits out its time-out.
class UnansweredAddress {
 public:
  UnansweredAddress() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 0) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("cannot make the listener");
    port_ = ntohs(address.sin_port);
    // Fill the queue (a backlog of 0 still queues one connection).
    for (int i = 0; i < 2; ++i) {
      const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      connect(filler, reinterpret_cast<sockaddr*>(&address), length);
      fillers_.push_back(filler);
    }
    std::this_thread::sleep_for(50ms);
  }
  ~UnansweredAddress() {
    for (int filler : fillers_) close(filler);
    close(listener_);
  }
  std::uint16_t port() const { return port_; }

 private:
  int listener_ = -1;
  std::vector<int> fillers_;
  std::uint16_t port_ = 0;
};

class AbortTest : public TransferTest {
 protected:
  // Lets the worker settle into its wait, aborts, and returns the time until OnAborted.
  std::chrono::milliseconds AbortAfter(std::chrono::milliseconds settle, const char* phase) {
    PumpFor(settle);
    EXPECT_TRUE(http_->Busy());
    EXPECT_TRUE(recorder_.Entries().empty()) << "the run ended before the stop";
    const auto start = Clock::now();
    http_->Abort(false, false);
    EXPECT_TRUE(PumpUntil([&] { return recorder_.Has("OnAborted"); }, 10s));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    std::printf("[ figure ] Abort during %s: OnAborted after %lld ms\n", phase,
                static_cast<long long>(took.count()));
    RecordProperty(phase, std::to_string(took.count()) + " ms");
    // Nothing else follows: no network failure is reported for the cancelled call.
    PumpFor(200ms);
    EXPECT_EQ(recorder_.Entries(), (Events{"OnAborted"}));
    return took;
  }
  // Generous against a loaded machine and the sanitizers; the figure printed is the measure.
  static constexpr auto kPrompt = 3s;
};

TEST_F(AbortTest, DuringAConnectNobodyAnswers) {
  UnansweredAddress address;
  http_->URL = "http://127.0.0.1:" + std::to_string(address.port()) + "/";
  ASSERT_TRUE(http_->Read(false));
  EXPECT_LT(AbortAfter(500ms, "connect"), kPrompt);
}

TEST_F(AbortTest, DuringTheWaitForAResponse) {
  testsupport::ScriptedServer server({{.steps = {testsupport::Sleep(30s)}}});
  http_->URL = server.Url("/never");
  ASSERT_TRUE(http_->Read(false));
  ASSERT_TRUE(server.WaitForRequests(1, 10s));
  EXPECT_LT(AbortAfter(200ms, "response wait"), kPrompt);
}

TEST_F(AbortTest, DuringAnUploadNobodyReads) {
  testsupport::ScriptedServer server({{.steps = {testsupport::Sleep(30s)}, .read_body = false}});
  std::atomic<std::int32_t> sent{0};
  http_->OnUploadProgress = winhttp::TWinHTTPUploadProgressEvent(
      [&](vcl::TObject*, std::int32_t, std::int32_t bytes, std::int32_t, std::int32_t, std::uint8_t,
          float) { sent = bytes; });
  // Far more than the socket buffers hold, so the writes block.
  vcl::TMemoryStream body;
  body.SetSize(64 << 20);
  http_->URL = server.Url("/upload");
  ASSERT_TRUE(http_->Upload(body, "Content-Type: application/octet-stream", false));
  ASSERT_TRUE(server.WaitForRequests(1, 10s));
  // Blocked: the progress stands still for a while.
  std::int32_t before = -1;
  ASSERT_TRUE(PumpUntil([&] {
    const std::int32_t now = sent;
    if (now > 0 && now == before) return true;
    before = now;
    PumpFor(100ms);
    return false;
  }));
  EXPECT_LT(sent.load(), 64 << 20);
  EXPECT_LT(AbortAfter(0ms, "upload"), kPrompt);
}

// Abort while nothing runs does nothing, and the component stays usable.
TEST_F(AbortTest, StopRequestedAgainstAnIdleComponentDoesNothing) {
  http_->Abort(false, false);
  EXPECT_TRUE(recorder_.Entries().empty());
  testsupport::ScriptedServer server({{.steps = {testsupport::Respond(200, {}, "ok")}}});
  EXPECT_EQ(Fetch(server.Url("/ok")), (Events{"OnDone  2 memory(2)"}));
}

}  // namespace
}  // namespace e2e
