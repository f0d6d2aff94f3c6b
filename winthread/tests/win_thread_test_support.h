// Shared fixture of the worker thread component's tests: an owner with one component, an event
// log that records on which thread each handler ran, and bounded waits.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kernel/thread.h"
#include "testsupport/message_pump.h"
#include "user/message_wait.h"
#include "vcl/application.h"
#include "vcl/component.h"
#include "winthread/thread_window.h"
#include "winthread/win_thread.h"

namespace winthread_test {

using namespace std::chrono_literals;
using testsupport::PumpFor;
using testsupport::PumpUntil;
using winthread::TCustomWinThread;
using winthread::TThreadMethod;

inline bool OnMainThread() {
  return kernel::GetCurrentThreadId() == kernel::MainThreadId();
}

// Polls `condition` for up to 5 s WITHOUT handling messages (a worker's synchronised call waits).
inline bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

class Log {
 public:
  void Add(const std::string& entry) {
    std::lock_guard guard(mutex_);
    entries_.push_back(entry);
  }
  std::vector<std::string> Entries() const {
    std::lock_guard guard(mutex_);
    return entries_;
  }
  int Count(const std::string& entry) const {
    std::lock_guard guard(mutex_);
    int n = 0;
    for (const std::string& e : entries_) n += e == entry ? 1 : 0;
    return n;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> entries_;
};

class WinThreadFixture : public testing::Test {
 protected:
  void SetUp() override {
    owner_ = vcl::MakeComponent<vcl::TComponent>();
    thread_ = new TCustomWinThread(owner_.get());
  }
  void TearDown() override {
    release_ = true;
    owner_.reset();
    EXPECT_EQ(winthread::ThreadWindowCount(), 0);
  }

  // "name@main" or "name@worker", plus the component's Executing for main-thread handlers.
  std::string Tag(const std::string& name) const {
    if (!OnMainThread()) return name + "@worker";
    return name + "@main" + (thread_->Executing() ? "[executing]" : "[idle]");
  }

  // Installs handlers that log and then run `body` (which may throw).
  void SetOnExecute(std::function<void()> body = {}) {
    thread_->SetOnExecute(vcl::TNotifyEvent([this, body](vcl::TObject* sender) {
      EXPECT_EQ(sender, thread_);
      worker_id_ = kernel::GetCurrentThreadId();
      log_.Add(Tag("execute"));
      if (body) body();
    }));
  }
  void SetOnFinish(std::function<void()> body = {}) {
    thread_->SetOnFinish(vcl::TNotifyEvent([this, body](vcl::TObject* sender) {
      EXPECT_EQ(sender, thread_);
      log_.Add(Tag("finish"));
      if (body) body();
    }));
  }
  void SetOnException(std::function<void()> body = {}) {
    thread_->SetOnException(vcl::TNotifyEvent([this, body](vcl::TObject* sender) {
      EXPECT_EQ(sender, thread_);
      log_.Add(Tag("exception"));
      if (body) body();
    }));
  }

  // On the worker: waits until release_ or a stop request; Terminated() is where a forced end or
  // a suspension takes hold.
  void BlockUntilReleased() {
    while (!release_ && !thread_->Terminated()) std::this_thread::sleep_for(1ms);
  }

  bool Finished() const { return log_.Count("finish@main[executing]") > 0; }

  vcl::ComponentPtr<vcl::TComponent> owner_;
  TCustomWinThread* thread_ = nullptr;
  Log log_;
  std::atomic<bool> release_{false};
  std::atomic<std::uint32_t> worker_id_{0};
};

}  // namespace winthread_test
