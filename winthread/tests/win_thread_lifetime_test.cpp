// Suspension, priorities, the shared hidden window, destruction and FreeOwnerOnFinish.
#include <poll.h>
#include <unistd.h>

#include "kernel/poll_wait.h"
#include "win_thread_test_support.h"

namespace winthread_test {
namespace {

using Entries = std::vector<std::string>;

bool PollReadable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1;
}

TEST_F(WinThreadFixture, SuspendTwiceNeedsTwoResumes) {
  std::atomic<int> steps{0};
  SetOnExecute([&] {
    while (!thread_->Terminated()) {
      steps++;
      std::this_thread::sleep_for(100us);
    }
  });
  SetOnFinish();
  thread_->Execute();
  ASSERT_TRUE(PumpUntil([&] { return steps > 3; }));
  thread_->Suspend();
  thread_->Suspend();
  EXPECT_TRUE(thread_->Suspended());
  const int stopped_at = steps;
  PumpFor(10ms);
  EXPECT_EQ(steps, stopped_at);  // stopped where it was
  thread_->SetSuspended(false);
  EXPECT_TRUE(thread_->Suspended());
  PumpFor(5ms);
  EXPECT_EQ(steps, stopped_at);
  thread_->SetSuspended(false);
  EXPECT_FALSE(thread_->Suspended());
  ASSERT_TRUE(PumpUntil([&] { return steps > stopped_at; }));
  thread_->Terminate(false);
  EXPECT_TRUE(PumpUntil([&] { return Finished(); }));
}

TEST_F(WinThreadFixture, PriorityMapsToTheTableAndUnknownValuesReadAsNormal) {
  const kernel::ThreadHandle handle = thread_->EventThread()->Handle();
  for (int p = winthread::tpIdle; p <= winthread::tpTimeCritical; ++p) {
    const auto priority = static_cast<winthread::TThreadPriority>(p);
    thread_->SetPriority(priority);
    EXPECT_EQ(kernel::GetThreadPriority(handle), winthread::kThreadPriorities[p]);
    EXPECT_EQ(thread_->Priority(), priority);
  }
  ASSERT_TRUE(kernel::SetThreadPriority(handle, 5));
  EXPECT_EQ(thread_->Priority(), winthread::tpNormal);
}

TEST_F(WinThreadFixture, ComponentsShareOneHiddenWindowUntilTheLastThreadObjectGoes) {
  const user::HWND window = winthread::ThreadWindow();
  auto* second = new TCustomWinThread(owner_.get());
  EXPECT_EQ(winthread::ThreadWindowCount(), 2);
  EXPECT_EQ(winthread::ThreadWindow(), window);
  second->SetWaitThread(true);
  EXPECT_TRUE(second->Execute());  // the renewal keeps the window
  EXPECT_EQ(winthread::ThreadWindow(), window);
  vcl::Free(second);
  EXPECT_EQ(winthread::ThreadWindowCount(), 1);
  EXPECT_TRUE(user::IsWindow(window));

  owner_.reset();
  EXPECT_EQ(winthread::ThreadWindowCount(), 0);
  EXPECT_FALSE(user::IsWindow(window));
  // The class is unregistered too: registering it again succeeds.
  EXPECT_TRUE(user::RegisterClass(winthread::kThreadWindowClassName, &winthread::ThreadWindowProc));
  EXPECT_TRUE(user::UnregisterClass(winthread::kThreadWindowClassName));
}

TEST_F(WinThreadFixture, SynchronizeWhileTheOwnerIsBeingDestroyedRunsNothing) {
  std::atomic<bool> go{false};
  std::atomic<bool> returned{false};
  int ran = 0;
  SetOnExecute([&] {
    while (!go) std::this_thread::sleep_for(1ms);
    thread_->Synchronize(TThreadMethod([&] { ++ran; }));
    returned = true;
  });
  SetOnFinish();
  thread_->Execute();
  ASSERT_TRUE(PumpUntil([&] { return log_.Count("execute@worker") == 1; }));
  const kernel::ThreadHandle worker = thread_->EventThread()->Handle();
  owner_->Destroying();
  thread_->Synchronize(TThreadMethod([&] { ++ran; }));  // on the main thread as well
  go = true;
  ASSERT_TRUE(PumpUntil([&] { return kernel::WaitForSingleObject(worker, 0) == 0; }));
  EXPECT_TRUE(returned);
  EXPECT_EQ(ran, 0);
  EXPECT_FALSE(Finished());  // the finish step is skipped as well
}

// Destroying the owner while the run is somewhere: it ends at once, with no handler.
enum class WorkerIn { kSynchronize, kPollingTerminated, kSuspended, kNetworkStyleWait };

class DestroyDuringRun : public WinThreadFixture, public testing::WithParamInterface<WorkerIn> {};

TEST_P(DestroyDuringRun, EndsTheRunAtOnceWithoutHandlers) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::atomic<bool> ran_sync{false};
  SetOnExecute([&] {
    switch (GetParam()) {
      case WorkerIn::kSynchronize:
        thread_->Synchronize(TThreadMethod([&] { ran_sync = true; }));
        break;
      case WorkerIn::kPollingTerminated:
      case WorkerIn::kSuspended:
        BlockUntilReleased();
        break;
      case WorkerIn::kNetworkStyleWait: {
        pollfd p{fds[0], POLLIN, 0};
        while (kernel::InterruptiblePoll(&p, 1, -1) < 0) {
        }
        break;
      }
    }
    log_.Add("run went on");
  });
  SetOnFinish();
  SetOnException();
  thread_->Execute();  // no wait: the main thread does not service the synchronised call
  ASSERT_TRUE(WaitUntil([&] { return log_.Count("execute@worker") == 1; }));
  if (GetParam() == WorkerIn::kSynchronize) {
    // Let the worker queue its call (it counts as stopped either way).
    ASSERT_TRUE(WaitUntil([] { return PollReadable(user::MessageQueueFd()); }));
  }
  const kernel::ThreadHandle worker = thread_->EventThread()->Handle();
  if (GetParam() == WorkerIn::kSuspended) thread_->Suspend();  // as the transfer's destructor
  const auto start = std::chrono::steady_clock::now();
  owner_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(kernel::WaitForSingleObject(worker, 0), kernel::kWaitObject0);
  EXPECT_EQ(log_.Entries(), (Entries{"execute@worker"}));
  EXPECT_FALSE(ran_sync);
  close(fds[0]);
  close(fds[1]);
}

INSTANTIATE_TEST_SUITE_P(Where, DestroyDuringRun,
                         testing::Values(WorkerIn::kSynchronize, WorkerIn::kPollingTerminated,
                                         WorkerIn::kSuspended, WorkerIn::kNetworkStyleWait));

TEST_F(WinThreadFixture, SuspendedBeforeAnyRunThenDestroyedLeavesTheThreadSuspended) {
  SetOnExecute();
  thread_->Suspend();  // created suspended, so now suspended twice
  const kernel::ThreadHandle handle = thread_->EventThread()->Handle();
  owner_.reset();
  EXPECT_EQ(kernel::WaitForSingleObject(handle, 20), kernel::kWaitTimeout);
  EXPECT_TRUE(log_.Entries().empty());
}

TEST_F(WinThreadFixture, SuspendedIsStoredAtDesignTimeAndAppliedWhenLoaded) {
  SetOnExecute();
  SetOnFinish();
  winthread::TEventWinThread* const object = thread_->EventThread();
  owner_->SetDesigning(true);
  thread_->SetSuspended(false);
  EXPECT_FALSE(thread_->Suspended());  // the stored value
  EXPECT_TRUE(object->Suspended());    // nothing started
  owner_->SetDesigning(false);
  EXPECT_TRUE(thread_->Suspended());
  PumpFor(5ms);
  EXPECT_TRUE(log_.Entries().empty());

  thread_->Loaded();  // Suspended := stored false: the fresh object starts a run, no renewal
  EXPECT_FALSE(thread_->Suspended());
  EXPECT_EQ(thread_->EventThread(), object);
  ASSERT_TRUE(PumpUntil([&] { return Finished(); }));
  EXPECT_EQ(log_.Entries(), (Entries{"execute@worker", "finish@main[executing]"}));
}

// FreeOwnerOnFinish: an owner freed by the finish step, and the refused settings.
class Marker : public vcl::TComponent {
 public:
  Marker(vcl::TComponent* owner, std::atomic<bool>* destroyed)
      : TComponent(owner), destroyed_(destroyed) {}
  ~Marker() override { *destroyed_ = true; }

 private:
  std::atomic<bool>* destroyed_;
};

TEST(FreeOwnerOnFinish, TheFinishStepFreesTheOwnerAndTheThreadObjectFreesItself) {
  std::atomic<bool> owner_gone{false};
  auto* owner = new vcl::TComponent(nullptr);  // freed by the finish step
  new Marker(owner, &owner_gone);
  auto* thread = new TCustomWinThread(owner);
  std::atomic<int> finished{0};
  thread->SetOnExecute(vcl::TNotifyEvent([](vcl::TObject*) {}));
  thread->SetOnFinish(vcl::TNotifyEvent([&](vcl::TObject*) { finished++; }));
  thread->SetFreeOwnerOnFinish(true);
  thread->SetWaitThread(true);
  EXPECT_TRUE(thread->Execute());
  EXPECT_EQ(finished, 1);
  EXPECT_TRUE(owner_gone);
  // The run's thread object frees itself on its worker right after the finish step.
  EXPECT_TRUE(PumpUntil([] { return winthread::ThreadWindowCount() == 0; }));
}

TEST(FreeOwnerOnFinish, SettingsWithoutAUsableSuccessorAreRefused) {
  struct Case {
    bool with_owner;
    bool with_on_finish;
  };
  for (const Case& c : {Case{true, false}, Case{false, true}}) {
    SCOPED_TRACE(c.with_owner);
    auto owner = vcl::MakeComponent<vcl::TComponent>();
    vcl::ComponentPtr<TCustomWinThread> unowned;
    TCustomWinThread* thread = nullptr;
    if (c.with_owner) {
      thread = new TCustomWinThread(owner.get());
    } else {
      unowned = vcl::MakeComponent<TCustomWinThread>();
      thread = unowned.get();
    }
    if (c.with_on_finish) thread->SetOnFinish(vcl::TNotifyEvent([](vcl::TObject*) {}));
    thread->SetFreeOwnerOnFinish(true);
    const winthread::TEventWinThread* before = thread->EventThread();
    EXPECT_THROW(thread->Execute(), winthread::EWinThreadError);
    EXPECT_EQ(thread->EventThread(), before);  // nothing happened
    EXPECT_TRUE(thread->Suspended());
  }
  EXPECT_EQ(winthread::ThreadWindowCount(), 0);
}

}  // namespace
}  // namespace winthread_test
