#include "kernel/thread.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "kernel/interrupt.h"
#include "kernel/poll_wait.h"
#include "kernel/ticks.h"

namespace {

using namespace std::chrono_literals;

// Polls `condition` until it holds or 5 s have passed.
bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// A thread procedure given as a std::function; the Probe outlives the thread in every test.
struct Probe {
  std::function<std::uint32_t()> body;
  std::atomic<int> steps{0};
  std::atomic<bool> finished{false};
  std::atomic<std::uint32_t> thread_id{0};

  static std::uint32_t Proc(void* parameter) {
    auto* probe = static_cast<Probe*>(parameter);
    probe->thread_id = kernel::GetCurrentThreadId();
    const std::uint32_t code = probe->body ? probe->body() : 0;
    probe->finished = true;
    return code;
  }
};

// An interruptible condition-variable wait that never ends by itself (a stand-in for a
// synchronised call or a network wait).
class Gate {
 public:
  void WaitForever() {
    for (;;) {
      {
        kernel::InterruptibleWait guard(&Wake, this);
        std::unique_lock lock(mutex_);
        ++waiting_;
        cv_.wait(lock, [] { return kernel::InterruptPending(); });
        --waiting_;
      }
      kernel::CheckPoint();
    }
  }
  int Waiting() {
    std::lock_guard lock(mutex_);
    return waiting_;
  }

 private:
  static void Wake(void* context) noexcept {
    auto* gate = static_cast<Gate*>(context);
    std::lock_guard lock(gate->mutex_);
    gate->cv_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable cv_;
  int waiting_ = 0;
};

std::uint32_t WaitExit(const kernel::ThreadHandle& thread) {
  EXPECT_EQ(kernel::WaitForSingleObject(thread, 5000), kernel::kWaitObject0);
  std::uint32_t code = 0;
  EXPECT_TRUE(kernel::GetExitCodeThread(thread, &code));
  return code;
}

TEST(KernelThread, CreatedSuspendedRunsOnlyAfterTheLastResume) {
  struct Case {
    int extra_suspends;
    std::vector<std::int32_t> resume_results;  // returned by each ResumeThread in turn
  };
  const Case cases[] = {
      {0, {1}},
      {1, {2, 1}},
      {2, {3, 2, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extra_suspends);
    Probe probe;
    probe.body = [] { return 7u; };
    kernel::ThreadHandle thread = kernel::CreateThread(&Probe::Proc, &probe, true);
    ASSERT_TRUE(thread);
    for (int i = 0; i < c.extra_suspends; ++i) EXPECT_EQ(kernel::SuspendThread(thread), i + 1);
    for (size_t i = 0; i < c.resume_results.size(); ++i) {
      EXPECT_EQ(kernel::WaitForSingleObject(thread, 10), kernel::kWaitTimeout);
      EXPECT_FALSE(probe.finished);
      EXPECT_EQ(kernel::ResumeThread(thread), c.resume_results[i]);
    }
    EXPECT_EQ(WaitExit(thread), 7u);
    EXPECT_TRUE(probe.finished);
    EXPECT_EQ(kernel::ResumeThread(thread), 0);
    EXPECT_EQ(kernel::GetThreadId(thread), probe.thread_id.load());
    EXPECT_NE(probe.thread_id.load(), kernel::GetCurrentThreadId());
  }
}

TEST(KernelThread, ExitCodeIsStillActiveUntilTheEnd) {
  std::atomic<bool> release{false};
  Probe probe;
  probe.body = [&] {
    while (!release) std::this_thread::sleep_for(1ms);
    return 42u;
  };
  kernel::ThreadHandle thread = kernel::CreateThread(&Probe::Proc, &probe, false);
  std::uint32_t code = 0;
  EXPECT_TRUE(kernel::GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, kernel::kStillActive);
  EXPECT_EQ(kernel::WaitForSingleObject(thread, 0), kernel::kWaitTimeout);
  release = true;
  EXPECT_EQ(WaitExit(thread), 42u);
}

TEST(KernelThread, NullHandleFailsEveryCall) {
  const kernel::ThreadHandle null;
  std::uint32_t code = 0;
  EXPECT_EQ(kernel::ResumeThread(null), -1);
  EXPECT_EQ(kernel::SuspendThread(null), -1);
  EXPECT_FALSE(kernel::TerminateThread(null, 0));
  EXPECT_EQ(kernel::GetThreadPriority(null), kernel::kThreadPriorityErrorReturn);
  EXPECT_FALSE(kernel::SetThreadPriority(null, 0));
  EXPECT_FALSE(kernel::GetExitCodeThread(null, &code));
  EXPECT_EQ(kernel::WaitForSingleObject(null, 0), kernel::kWaitFailed);
  EXPECT_EQ(kernel::ThreadEndFd(null), -1);
}

TEST(KernelThread, UnhandledExceptionEndsOnlyTheThread) {
  Probe probe;
  probe.body = []() -> std::uint32_t { throw std::runtime_error("boom"); };
  kernel::ThreadHandle thread = kernel::CreateThread(&Probe::Proc, &probe, false);
  EXPECT_EQ(WaitExit(thread), kernel::kExitCodeUnhandledException);
  EXPECT_FALSE(probe.finished);
}

// Where the victim is when it is killed; each must end promptly with the kill code and without
// running the code after that point.
enum class KilledWhere { kBeforeStart, kInInterruptibleWait, kInThreadWait, kParkedSuspended };

class KernelKill : public testing::TestWithParam<KilledWhere> {};

TEST_P(KernelKill, ThreadEndsPromptlyWithTheKillCode) {
  Gate gate;
  kernel::ThreadHandle forever;  // a thread that never ends, for kInThreadWait
  Probe sleeper;
  std::atomic<bool> after_wait{false};
  Probe probe;
  probe.body = [&] {
    probe.steps++;
    switch (GetParam()) {
      case KilledWhere::kBeforeStart:
        break;
      case KilledWhere::kInInterruptibleWait:
        gate.WaitForever();
        break;
      case KilledWhere::kInThreadWait:
        kernel::WaitForSingleObject(forever, kernel::kInfinite);
        break;
      case KilledWhere::kParkedSuspended:
        for (;;) {
          probe.steps++;
          kernel::CheckPoint();
          std::this_thread::sleep_for(100us);
        }
    }
    after_wait = true;
    return 1u;
  };
  forever = kernel::CreateThread(&Probe::Proc, &sleeper, true);
  kernel::ThreadHandle thread =
      kernel::CreateThread(&Probe::Proc, &probe, GetParam() == KilledWhere::kBeforeStart);
  switch (GetParam()) {
    case KilledWhere::kBeforeStart:
      break;
    case KilledWhere::kInInterruptibleWait:
      ASSERT_TRUE(Eventually([&] { return gate.Waiting() == 1; }));
      break;
    case KilledWhere::kInThreadWait:
      ASSERT_TRUE(Eventually([&] { return probe.steps == 1; }));
      break;
    case KilledWhere::kParkedSuspended:
      ASSERT_TRUE(Eventually([&] { return probe.steps > 2; }));
      EXPECT_EQ(kernel::SuspendThread(thread), 0);
      break;
  }
  EXPECT_TRUE(kernel::TerminateThread(thread, 99));
  EXPECT_EQ(WaitExit(thread), 99u);
  EXPECT_FALSE(after_wait);
  EXPECT_FALSE(probe.finished);
  if (GetParam() == KilledWhere::kBeforeStart) {
    EXPECT_EQ(probe.steps, 0);
  }
  // A second kill of an ended thread changes nothing.
  EXPECT_TRUE(kernel::TerminateThread(thread, 5));
  EXPECT_EQ(WaitExit(thread), 99u);
  kernel::TerminateThread(forever, 0);
  WaitExit(forever);
}

INSTANTIATE_TEST_SUITE_P(Where, KernelKill,
                         testing::Values(KilledWhere::kBeforeStart,
                                         KilledWhere::kInInterruptibleWait,
                                         KilledWhere::kInThreadWait,
                                         KilledWhere::kParkedSuspended));

TEST(KernelThread, KillingTheCallingThreadThrowsAtOnce) {
  struct Self {
    kernel::ThreadHandle handle;
    std::atomic<bool> after{false};
    std::atomic<bool> unwound{false};
  } self;
  struct Unwind {
    std::atomic<bool>* flag;
    ~Unwind() { *flag = true; }
  };
  auto proc = [](void* parameter) -> std::uint32_t {
    auto* s = static_cast<Self*>(parameter);
    Unwind unwind{&s->unwound};
    kernel::TerminateThread(s->handle, 13);
    s->after = true;
    return 0;
  };
  self.handle = kernel::CreateThread(proc, &self, true);
  kernel::ThreadHandle thread = self.handle;
  kernel::ResumeThread(thread);
  EXPECT_EQ(WaitExit(thread), 13u);
  EXPECT_FALSE(self.after);
  EXPECT_TRUE(self.unwound);  // the stack unwinds: destructors run
}

TEST(KernelThread, SuspendStopsARunningThreadAtItsNextCheckPoint) {
  Probe probe;
  probe.body = [&] {
    for (;;) {
      probe.steps++;
      kernel::CheckPoint();
    }
    return 0u;
  };
  kernel::ThreadHandle thread = kernel::CreateThread(&Probe::Proc, &probe, false);
  ASSERT_TRUE(Eventually([&] { return probe.steps > 10; }));
  EXPECT_EQ(kernel::SuspendThread(thread), 0);
  EXPECT_EQ(kernel::SuspendThread(thread), 1);
  const int stopped_at = probe.steps;
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(probe.steps, stopped_at);
  EXPECT_EQ(kernel::ResumeThread(thread), 2);
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(probe.steps, stopped_at);  // still suspended once
  EXPECT_EQ(kernel::ResumeThread(thread), 1);
  EXPECT_TRUE(Eventually([&] { return probe.steps > stopped_at; }));
  kernel::TerminateThread(thread, 0);
  WaitExit(thread);
}

TEST(KernelThread, SuspendCountsAThreadInAnInterruptibleWaitAsStopped) {
  // The victim polls a pipe; a suspension interrupts the wait, parks the thread, and after the
  // resume the poll reports EINTR so that the caller simply waits again.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::atomic<int> eintr{0};
  Probe probe;
  probe.body = [&] {
    for (;;) {
      pollfd p{fds[0], POLLIN, 0};
      const int ready = kernel::InterruptiblePoll(&p, 1, -1);
      if (ready < 0 && errno == EINTR) {
        eintr++;
        continue;
      }
      return static_cast<std::uint32_t>(ready);
    }
  };
  kernel::ThreadHandle thread = kernel::CreateThread(&Probe::Proc, &probe, false);
  ASSERT_TRUE(Eventually([&] { return probe.thread_id != 0; }));
  std::this_thread::sleep_for(5ms);  // let it block in poll (either way it must stop)
  EXPECT_EQ(kernel::SuspendThread(thread), 0);
  EXPECT_EQ(kernel::ResumeThread(thread), 1);
  EXPECT_TRUE(Eventually([&] { return eintr >= 1; }));
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  EXPECT_EQ(WaitExit(thread), 1u);
  close(fds[0]);
  close(fds[1]);
}

TEST(KernelThread, ThreadSuspendingItselfParksUntilResumed) {
  struct Self {
    kernel::ThreadHandle handle;
    std::atomic<int> stage{0};
    std::atomic<std::int32_t> previous{-5};
  } self;
  auto proc = [](void* parameter) -> std::uint32_t {
    auto* s = static_cast<Self*>(parameter);
    s->stage = 1;
    s->previous = kernel::SuspendThread(s->handle);
    s->stage = 2;
    return 3;
  };
  self.handle = kernel::CreateThread(proc, &self, true);
  kernel::ThreadHandle thread = self.handle;
  EXPECT_EQ(kernel::ResumeThread(thread), 1);
  ASSERT_TRUE(Eventually([&] { return self.stage == 1; }));
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(self.stage, 1);
  EXPECT_EQ(kernel::ResumeThread(thread), 1);
  EXPECT_EQ(WaitExit(thread), 3u);
  EXPECT_EQ(self.previous, 0);
}

TEST(KernelThread, PriorityReadsBackAsLastSet) {
  Probe probe;
  kernel::ThreadHandle thread = kernel::CreateThread(&Probe::Proc, &probe, true);
  EXPECT_EQ(kernel::GetThreadPriority(thread), 0);
  for (std::int32_t value : {kernel::kThreadPriorityIdle, kernel::kThreadPriorityBelowNormal,
                             kernel::kThreadPriorityTimeCritical, 5, 0}) {
    EXPECT_TRUE(kernel::SetThreadPriority(thread, value));
    EXPECT_EQ(kernel::GetThreadPriority(thread), value);
  }
  EXPECT_FALSE(kernel::SetThreadPriority(thread, 16));
  EXPECT_FALSE(kernel::SetThreadPriority(thread, -16));
  EXPECT_EQ(kernel::GetThreadPriority(thread), 0);
  kernel::SetThreadPriority(thread, kernel::kThreadPriorityLowest);
  kernel::ResumeThread(thread);
  WaitExit(thread);
  EXPECT_EQ(kernel::GetThreadPriority(thread), kernel::kThreadPriorityLowest);
}

TEST(KernelThread, ClosingTheLastHandleLeavesASuspendedThreadAlone) {
  auto* probe = new Probe;  // leaks with the parked thread, on purpose: it may never run
  kernel::ThreadHandle thread = kernel::CreateThread(&Probe::Proc, probe, true);
  kernel::SuspendThread(thread);
  thread.Close();
  EXPECT_FALSE(thread);
  std::this_thread::sleep_for(5ms);
  EXPECT_FALSE(probe->finished);
}

TEST(KernelThread, IdsAndTicks) {
  EXPECT_EQ(kernel::GetCurrentThreadId(), kernel::MainThreadId());
  const std::uint32_t before = kernel::GetTickCount();
  std::this_thread::sleep_for(20ms);
  const std::uint32_t elapsed = kernel::GetTickCount() - before;
  EXPECT_GE(elapsed, 19u);
  EXPECT_LT(elapsed, 2000u);
}

}  // namespace
