// Round trip of one synchronised call from a worker to the main thread and back while the main
// thread sits in its message wait (TCustomWinThread::Execute with WaitThread), beside a bare
// reference: a worker and a main thread handing a call over with a mutex, a condition variable
// and an eventfd the main thread polls. Both run with the two threads on one core (arg 0) and on
// two cores (arg 1). Counters: median and 90th percentile of the single round trips in
// microseconds, and allocations per call (operator new, both threads).
//
// BM_Execute: the cost of one Execute with WaitThread (a new thread per run), with an empty run,
// without (arg 0) and with (arg 1) an OnFinish handler (one synchronised call).
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "vcl/component.h"
#include "winthread/win_thread.h"

namespace {

std::atomic<long> allocations{0};

}  // namespace

// Counting allocator: every operator new of the process goes through these two.
void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// GCC pairs free() with the operator new it sees being replaced here and warns; the pairing is
// right, since the replacement allocates with malloc().
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
#pragma GCC diagnostic pop

namespace {

using Clock = std::chrono::steady_clock;

void PinCallingThread(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

void UnpinCallingThread() {
  cpu_set_t set;
  CPU_ZERO(&set);
  const int cpus = static_cast<int>(std::thread::hardware_concurrency());
  for (int i = 0; i < cpus; ++i) CPU_SET(i, &set);
  pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

int WorkerCpu(const benchmark::State& state) {
  return state.range(0) == 0 ? 0 : 1;
}

// Sets median, p90 (microseconds) and allocations per call from the recorded round trips.
void Report(benchmark::State& state, std::vector<double>& micros, long allocated) {
  if (micros.empty()) return;
  std::sort(micros.begin(), micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["p90_us"] = micros[micros.size() * 9 / 10];
  state.counters["allocs_per_call"] =
      static_cast<double>(allocated) / static_cast<double>(micros.size());
}

struct Target {
  long calls = 0;
  void Run() { ++calls; }
};

void BM_ChannelRoundTrip(benchmark::State& state) {
  auto owner = vcl::MakeComponent<vcl::TComponent>();
  auto* thread = new winthread::TCustomWinThread(owner.get());
  Target target;
  std::vector<double> micros;
  micros.reserve(static_cast<size_t>(state.max_iterations));
  long allocated = 0;
  thread->SetOnExecute(vcl::TNotifyEvent([&](vcl::TObject*) {
    PinCallingThread(WorkerCpu(state));
    thread->Synchronize(&target, &Target::Run);  // warm up the path
    const long before = allocations.load();
    for (auto _ : state) {
      const Clock::time_point start = Clock::now();
      thread->Synchronize(&target, &Target::Run);
      micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    allocated = allocations.load() - before;
  }));
  thread->SetWaitThread(true);
  PinCallingThread(0);
  thread->Execute();
  UnpinCallingThread();
  Report(state, micros, allocated);
  benchmark::DoNotOptimize(target.calls);
}

void BM_BareRoundTrip(benchmark::State& state) {
  std::mutex mutex;
  std::condition_variable answered;
  Target target;
  Target* request = nullptr;  // guarded by mutex
  bool done = false;          // guarded by mutex
  bool quit = false;          // guarded by mutex
  const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

  auto call = [&](Target* t) {
    {
      std::lock_guard guard(mutex);
      request = t;
      done = false;
    }
    const std::uint64_t one = 1;
    (void)!write(wake, &one, sizeof one);
    std::unique_lock guard(mutex);
    answered.wait(guard, [&] { return done; });
  };

  std::vector<double> micros;
  micros.reserve(static_cast<size_t>(state.max_iterations));
  long allocated = 0;
  std::thread worker([&] {
    PinCallingThread(WorkerCpu(state));
    call(&target);
    const long before = allocations.load();
    for (auto _ : state) {
      const Clock::time_point start = Clock::now();
      call(&target);
      micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    allocated = allocations.load() - before;
    std::lock_guard guard(mutex);
    quit = true;
    const std::uint64_t one = 1;
    (void)!write(wake, &one, sizeof one);
  });

  PinCallingThread(0);
  for (;;) {
    pollfd p{wake, POLLIN, 0};
    poll(&p, 1, -1);
    std::uint64_t count = 0;
    (void)!read(wake, &count, sizeof count);
    Target* t = nullptr;
    {
      std::lock_guard guard(mutex);
      if (quit) break;
      t = request;
      request = nullptr;
    }
    if (t == nullptr) continue;
    t->Run();
    std::lock_guard guard(mutex);
    done = true;
    answered.notify_one();
  }
  worker.join();
  UnpinCallingThread();
  close(wake);
  Report(state, micros, allocated);
  benchmark::DoNotOptimize(target.calls);
}

void BM_Execute(benchmark::State& state) {
  auto owner = vcl::MakeComponent<vcl::TComponent>();
  auto* thread = new winthread::TCustomWinThread(owner.get());
  thread->SetOnExecute(vcl::TNotifyEvent([](vcl::TObject*) {}));
  if (state.range(0) == 1) thread->SetOnFinish(vcl::TNotifyEvent([](vcl::TObject*) {}));
  thread->SetWaitThread(true);
  thread->Execute();  // the first renewal also ends the component's initial thread
  for (auto _ : state) thread->Execute();
}

BENCHMARK(BM_ChannelRoundTrip)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_BareRoundTrip)->Arg(0)->Arg(1)->UseRealTime();
BENCHMARK(BM_Execute)->Arg(0)->Arg(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
