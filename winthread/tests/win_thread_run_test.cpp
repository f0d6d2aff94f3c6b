// Runs, waits and exceptions of the worker thread component.
#include <stdexcept>

#include "win_thread_test_support.h"

namespace winthread_test {
namespace {

using Entries = std::vector<std::string>;

TEST_F(WinThreadFixture, NewComponentDefaults) {
  EXPECT_TRUE(thread_->Suspended());
  EXPECT_FALSE(thread_->Executing());
  EXPECT_FALSE(thread_->Terminated());
  EXPECT_EQ(thread_->Priority(), winthread::tpNormal);
  EXPECT_TRUE(thread_->CatchExceptions());
  EXPECT_FALSE(thread_->FreeOwnerOnFinish());
  EXPECT_FALSE(thread_->WaitThread());
  EXPECT_EQ(thread_->WaitTimeout(), 0);
  EXPECT_EQ(thread_->ClassName(), "TCustomWinThread");
  EXPECT_EQ(winthread::ThreadWindowCount(), 1);
  EXPECT_TRUE(user::IsWindow(winthread::ThreadWindow()));
}

class FirstExecute : public WinThreadFixture, public testing::WithParamInterface<bool> {};

TEST_P(FirstExecute, RunsOnTheSuccessorWhileTheFirstThreadEndsWithoutAHandler) {
  const bool wait = GetParam();
  SetOnExecute();
  SetOnFinish();
  thread_->SetWaitThread(wait);
  const winthread::TEventWinThread* first = thread_->EventThread();
  const kernel::ThreadHandle first_handle = first->Handle();

  EXPECT_TRUE(thread_->Execute());
  EXPECT_NE(thread_->EventThread(), first);
  if (!wait) {
    ASSERT_TRUE(PumpUntil([&] { return Finished(); }));
  }
  ASSERT_TRUE(PumpUntil([&] { return !thread_->Executing(); }));
  EXPECT_EQ(log_.Entries(), (Entries{"execute@worker", "finish@main[executing]"}));
  EXPECT_FALSE(thread_->Suspended());

  // The first thread object's thread was started by the renewal only to end at once.
  EXPECT_EQ(kernel::WaitForSingleObject(first_handle, 0), kernel::kWaitObject0);
  EXPECT_NE(kernel::GetThreadId(first_handle), worker_id_.load());
  EXPECT_NE(worker_id_.load(), kernel::MainThreadId());
}

INSTANTIATE_TEST_SUITE_P(WaitThread, FirstExecute, testing::Bool());

// The three exception routes, each with CatchExceptions on and off.
enum class Raiser { kOnExecute, kOnFinish, kSyncProcedure, kOnExceptionThroughSync };

struct ExceptionCase {
  Raiser raiser;
  bool catch_exceptions;
  Entries expected;
};

class ExceptionRoutes : public WinThreadFixture,
                        public testing::WithParamInterface<ExceptionCase> {};

TEST_P(ExceptionRoutes, ReachTheHandlersTheyShould) {
  const ExceptionCase& c = GetParam();
  thread_->SetCatchExceptions(c.catch_exceptions);
  thread_->SetWaitThread(true);
  auto boom = [] { throw std::runtime_error("boom"); };
  SetOnException(c.raiser == Raiser::kOnExceptionThroughSync ? std::function<void()>(boom)
                                                             : std::function<void()>());
  SetOnFinish(c.raiser == Raiser::kOnFinish ? std::function<void()>(boom)
                                            : std::function<void()>());
  SetOnExecute([&] {
    switch (c.raiser) {
      case Raiser::kOnExecute:
        boom();
        break;
      case Raiser::kOnFinish:
        break;
      case Raiser::kSyncProcedure:
      case Raiser::kOnExceptionThroughSync:
        try {
          if (c.raiser == Raiser::kSyncProcedure) {
            thread_->Synchronize(TThreadMethod(boom));
          } else {
            thread_->Synchronize(TThreadMethod([this] { thread_->OnException()(thread_); }));
          }
          log_.Add("sync returned");
        } catch (const std::runtime_error&) {
          log_.Add("sync raised");
        }
        break;
    }
  });
  EXPECT_TRUE(thread_->Execute());
  EXPECT_EQ(log_.Entries(), c.expected);
  EXPECT_FALSE(thread_->Executing());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExceptionRoutes,
    testing::Values(
        ExceptionCase{Raiser::kOnExecute,
                      true,
                      {"execute@worker", "exception@main[executing]", "finish@main[executing]"}},
        ExceptionCase{Raiser::kOnExecute, false, {"execute@worker", "finish@main[executing]"}},
        ExceptionCase{Raiser::kOnFinish,
                      true,
                      {"execute@worker", "finish@main[executing]", "exception@main[executing]"}},
        ExceptionCase{Raiser::kOnFinish, false, {"execute@worker", "finish@main[executing]"}},
        ExceptionCase{Raiser::kSyncProcedure,
                      true,
                      {"execute@worker", "sync returned", "finish@main[executing]"}},
        ExceptionCase{Raiser::kSyncProcedure,
                      false,
                      {"execute@worker", "sync raised", "finish@main[executing]"}},
        ExceptionCase{Raiser::kOnExceptionThroughSync,
                      true,
                      {"execute@worker", "exception@main[executing]", "sync returned",
                       "finish@main[executing]"}}));

// Execute with WaitThread: the wait, its limit and OnWaitTimeoutExpired.
enum class Handler { kNone, kLeavesTrue, kSetsFalse };

struct WaitCase {
  const char* name;
  std::int32_t limit_ms;
  int sync_calls;      // the run makes this many synchronised calls...
  int sync_period_ms;  // ...this far apart, then ends; 0 calls: it blocks until released
  Handler handler;
  bool expected_result;
  bool expect_timeout_event;
};

class WaitModes : public WinThreadFixture, public testing::WithParamInterface<WaitCase> {};

TEST_P(WaitModes, WaitEndsAsItShould) {
  const WaitCase& c = GetParam();
  std::atomic<int> synced{0};
  SetOnExecute([&] {
    if (c.sync_calls == 0) {
      BlockUntilReleased();
      return;
    }
    for (int i = 0; i < c.sync_calls; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(c.sync_period_ms));
      thread_->Synchronize(TThreadMethod([&] { synced++; }));
    }
  });
  SetOnFinish();
  int timeout_events = 0;
  if (c.handler != Handler::kNone) {
    thread_->OnWaitTimeoutExpired =
        winthread::TWinThreadWaitTimeoutExpired([&](vcl::TObject* sender, bool& terminate_thread) {
          EXPECT_EQ(sender, thread_);
          EXPECT_TRUE(terminate_thread);
          EXPECT_TRUE(OnMainThread());
          ++timeout_events;
          if (c.handler == Handler::kSetsFalse) terminate_thread = false;
        });
  }
  thread_->SetWaitThread(true);
  thread_->SetWaitTimeout(c.limit_ms);
  const auto start = std::chrono::steady_clock::now();
  const bool result = thread_->Execute();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(result, c.expected_result);
  if (c.expect_timeout_event) {
    EXPECT_GE(elapsed, std::chrono::milliseconds(c.limit_ms - 1));
    if (c.handler != Handler::kNone) {
      EXPECT_EQ(timeout_events, 1);
    }
  } else {
    EXPECT_EQ(timeout_events, 0);
    EXPECT_EQ(synced, c.sync_calls);
  }
  if (!c.expected_result) {
    // Ended forcibly: a fresh thread object, no finish step ever.
    EXPECT_TRUE(thread_->Suspended());
    EXPECT_FALSE(thread_->Executing());
    PumpFor(20ms);
    EXPECT_FALSE(Finished());
  } else {
    if (c.handler == Handler::kSetsFalse) {
      EXPECT_TRUE(thread_->Executing());  // the run goes on
    }
    release_ = true;
    EXPECT_TRUE(PumpUntil([&] { return Finished() && !thread_->Executing(); }));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WaitModes,
    testing::Values(
        WaitCase{"NoLimit", 0, 3, 5, Handler::kNone, true, false},
        WaitCase{"LimitNoHandler", 100, 0, 0, Handler::kNone, false, true},
        WaitCase{"LimitHandlerLeavesTrue", 100, 0, 0, Handler::kLeavesTrue, false, true},
        WaitCase{"LimitHandlerSetsFalse", 100, 0, 0, Handler::kSetsFalse, true, true},
        WaitCase{"EveryMessageRestartsTheLimit", 150, 8, 30, Handler::kLeavesTrue, true, false}),
    [](const testing::TestParamInfo<WaitCase>& info) { return info.param.name; });

TEST_F(WinThreadFixture, ExecuteDuringARunEndsItWithoutFinishAndKeepsPriorityAndHandlers) {
  std::atomic<int> runs{0};
  SetOnExecute([&] {
    if (++runs == 1) BlockUntilReleased();
  });
  SetOnFinish();
  thread_->SetPriority(winthread::tpLower);
  EXPECT_TRUE(thread_->Execute());
  ASSERT_TRUE(PumpUntil([&] { return runs == 1; }));
  const kernel::ThreadHandle first_run = thread_->EventThread()->Handle();
  const std::uint32_t first_worker = worker_id_;

  thread_->SetWaitThread(true);
  EXPECT_TRUE(thread_->Execute());
  std::uint32_t code = 1;
  EXPECT_EQ(kernel::WaitForSingleObject(first_run, 0), kernel::kWaitObject0);
  EXPECT_TRUE(kernel::GetExitCodeThread(first_run, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(runs, 2);
  EXPECT_NE(worker_id_.load(), first_worker);
  EXPECT_EQ(log_.Entries(),
            (Entries{"execute@worker", "execute@worker", "finish@main[executing]"}));
  EXPECT_EQ(thread_->Priority(), winthread::tpLower);
  EXPECT_EQ(kernel::GetThreadPriority(thread_->EventThread()->Handle()),
            kernel::kThreadPriorityBelowNormal);
}

TEST_F(WinThreadFixture, TerminateFalseOnlyRequestsAStop) {
  std::atomic<bool> saw_stop{false};
  SetOnExecute([&] {
    while (!thread_->Terminated()) std::this_thread::sleep_for(1ms);
    saw_stop = true;
  });
  SetOnFinish();
  thread_->Execute();
  ASSERT_TRUE(PumpUntil([&] { return log_.Count("execute@worker") == 1; }));
  EXPECT_FALSE(thread_->Terminated());
  thread_->Terminate(false);
  EXPECT_TRUE(thread_->Terminated());
  ASSERT_TRUE(PumpUntil([&] { return Finished() && !thread_->Executing(); }));
  EXPECT_TRUE(saw_stop);
  EXPECT_TRUE(thread_->Terminated());  // until the next Execute
  thread_->SetOnExecute({});
  thread_->Execute();
  EXPECT_FALSE(thread_->Terminated());
}

TEST_F(WinThreadFixture, TerminateTrueFromOnExecuteEndsTheWorkerThere) {
  std::atomic<int> runs{0};
  SetOnExecute([&] {
    if (++runs > 1) return;
    thread_->Terminate(true);
    log_.Add("after Terminate(true)");
  });
  SetOnFinish();
  thread_->SetWaitThread(true);
  EXPECT_TRUE(thread_->Execute());
  const winthread::TEventWinThread* killed = thread_->EventThread();
  EXPECT_EQ(log_.Entries(), (Entries{"execute@worker"}));
  EXPECT_TRUE(thread_->Executing());  // the object of the ended run goes on reporting it
  EXPECT_FALSE(thread_->Terminated());
  EXPECT_EQ(kernel::WaitForSingleObject(killed->Handle(), 0), kernel::kWaitObject0);

  EXPECT_TRUE(thread_->Execute());  // proceeds normally
  EXPECT_NE(thread_->EventThread(), killed);
  EXPECT_EQ(log_.Entries(),
            (Entries{"execute@worker", "execute@worker", "finish@main[executing]"}));
  EXPECT_FALSE(thread_->Executing());
}

TEST_F(WinThreadFixture, ASynchronisedProcedureThatEndsTheRunAtOnce) {
  // As a stop button handled inside a progress event would: the worker is killed while its own
  // synchronised call runs.
  SetOnExecute([&] {
    thread_->Synchronize(TThreadMethod([&] {
      thread_->Terminate(true);
      log_.Add("ended the run");
    }));
    log_.Add("after the synchronised call");
  });
  SetOnFinish();
  thread_->SetWaitThread(true);
  EXPECT_TRUE(thread_->Execute());
  EXPECT_EQ(log_.Entries(), (Entries{"execute@worker", "ended the run"}));
  EXPECT_TRUE(thread_->Suspended());  // a fresh thread object
  EXPECT_FALSE(thread_->Executing());
}

TEST_F(WinThreadFixture, OnFinishMayStartTheNextRun) {
  std::atomic<int> runs{0};
  SetOnExecute([&] { log_.Add("run " + std::to_string(++runs)); });
  SetOnFinish([&] {
    if (runs == 1) {
      EXPECT_TRUE(thread_->Execute());  // renews the object running this very handler
    }
  });
  thread_->SetWaitThread(true);
  EXPECT_TRUE(thread_->Execute());
  EXPECT_EQ(log_.Entries(), (Entries{"execute@worker", "run 1", "finish@main[executing]",
                                     "execute@worker", "run 2", "finish@main[executing]"}));
  EXPECT_FALSE(thread_->Executing());
}

TEST_F(WinThreadFixture, SynchronizeOnTheMainThreadRunsDirectly) {
  int ran = 0;
  thread_->Synchronize(TThreadMethod([&] { ++ran; }));
  EXPECT_EQ(ran, 1);
  thread_->SetCatchExceptions(false);
  EXPECT_THROW(thread_->Synchronize(TThreadMethod([] { throw std::logic_error("x"); })),
               std::logic_error);
  thread_->SetCatchExceptions(true);
  thread_->Synchronize(TThreadMethod([] { throw std::logic_error("x"); }));
  EXPECT_TRUE(thread_->EventThread()->SyncException() != nullptr);
}

}  // namespace
}  // namespace winthread_test
