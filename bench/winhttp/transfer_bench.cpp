// Downloads of a 1 GiB file from a local nginx (sendfile on) through TWinHTTP, the way a program
// uses it: Read with a wait, the main thread in its message loop, OnDone at the end.
//
//   BM_Component/memory/4096         into a memory stream, default blocks, no OnProgress
//   BM_Component/file/4096, /65536   into an output file, no OnProgress
//   BM_Component/memory+progress/4096 with an (empty) OnProgress: one synchronised call per block
//   BM_CurlTool                      `curl -s -o /dev/null` on the same URL: the reference
//   BM_CurlToolToFile                `curl -s -o <file>`: what the file system costs anyone
//   BM_FillFreshMemory               1 GiB of fresh memory filled in 4 KiB blocks, no network:
//                                    what keeping a body in memory costs anyone
//   BM_LayerOnly                     the internet layer alone, 4 KiB reads kept nowhere
//   BM_SyncRoundTrip                 the synchronised call's own round trip, measured the way the
//                                    winthread benchmark does (worker and main thread unpinned,
//                                    like the transfer's), so the per-block cost of OnProgress,
//                                    (time with - time without) / blocks, compares with it
//
// Every transfer run reports rss_growth_MiB: how far the resident memory rose above where it was
// before the run (sampled every 5 ms and in OnDone). Into a file it must not depend on the file
// size; into memory it is about the body size.
//
//   cmake --preset release -B build/release
//   cmake --build build/release --target winhttp_transfer_bench
//   build/release/bench/winhttp/winhttp_transfer_bench
//
// Defaults: 5 repetitions, randomly interleaved (so machine noise hits every case alike),
// aggregates only; any --benchmark_repetitions flag replaces these defaults.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "inet/wininet.h"
#include "kernel/files.h"
#include "kernel/zeroed_memory.h"
#include "testsupport/nginx_server.h"
#include "vcl/component.h"
#include "winhttp/win_http.h"
#include "winthread/win_thread.h"

namespace {

constexpr std::uint64_t kFileSize = 1ull << 30;

testsupport::NginxServer& Server() {
  static testsupport::NginxServer* server = [] {
    auto* started = new testsupport::NginxServer();
    bench::WriteFilledFile(started->docroot() + "/big.bin", kFileSize);
    return started;
  }();
  return *server;
}

testsupport::TempDir& OutputDir() {
  static testsupport::TempDir* dir = new testsupport::TempDir("winhttp-bench");
  return *dir;
}

// Samples the resident memory on a thread of its own while it lives; Peak() is the highest rise.
class RssSampler {
 public:
  RssSampler() : base_(bench::ResidentBytes()), thread_([this] { Run(); }) {}
  ~RssSampler() {
    stop_ = true;
    thread_.join();
  }
  std::size_t Peak() const { return peak_.load(); }
  // One more sample, from any thread: at the moment the memory is known to be at its height.
  void Sample() {
    const std::size_t now = bench::ResidentBytes();
    std::size_t peak = peak_.load();
    while (now > base_ && now - base_ > peak && !peak_.compare_exchange_weak(peak, now - base_)) {
    }
  }

 private:
  void Run() {
    while (!stop_) {
      Sample();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  std::size_t base_;
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> peak_{0};
  std::thread thread_;
};

enum Sink : std::int64_t { kMemory = 0, kFile = 1, kMemoryWithProgress = 2 };

void BM_Component(benchmark::State& state) {
  const auto sink = static_cast<Sink>(state.range(0));
  const auto block = static_cast<std::int32_t>(state.range(1));
  std::int64_t received = -1;
  std::uint64_t blocks = 0;
  std::size_t peak = 0;
  for (auto _ : state) {
    // A component per transfer, made and freed outside the timing: handing a gigabyte back to
    // the system is the caller's business, not the transfer's, and each run's memory then starts
    // from the same point.
    state.PauseTiming();
    auto owner = vcl::MakeComponent<vcl::TComponent>();
    auto* http = new winhttp::TWinHTTP(owner.get());
    http->Proxy()->AccessType = winhttp::atDirect;
    http->URL = Server().Url("/big.bin");
    http->TransferBufferSize = block;
    if (sink == kFile) http->OutputFileName = OutputDir().File("out.bin");
    RssSampler* sampler = nullptr;
    // The body is freed after OnDone: that is where the memory stands highest.
    http->OnDone = winhttp::TWinHTTPDoneEvent(
        [&](vcl::TObject*, const std::string&, std::int32_t size, vcl::TStream*) {
          received = size;
          if (sampler != nullptr) sampler->Sample();
        });
    if (sink == kMemoryWithProgress) {
      http->OnProgress = winhttp::TWinHTTPProgressEvent(
          [&](vcl::TObject*, const std::string&, std::int32_t, std::int32_t, std::int32_t,
              std::int32_t, std::uint8_t, float, vcl::TStream*) { ++blocks; });
    }
    received = -1;
    state.ResumeTiming();
    {
      RssSampler running;
      sampler = &running;
      http->Read(true);
      peak = std::max(peak, running.Peak());
    }
    state.PauseTiming();
    const std::string output = http->OutputFileName;
    owner.reset();
    // Dropping a 1 GiB file's cached pages is the file system's work, not the transfer's.
    if (!output.empty()) kernel::DeleteFileA(output.c_str());
    state.ResumeTiming();
    if (received != static_cast<std::int64_t>(kFileSize)) {
      state.SkipWithError("the transfer did not end with OnDone and the whole body");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
  state.counters["rss_growth_MiB"] = static_cast<double>(peak >> 20);
  if (sink == kMemoryWithProgress)
    state.counters["blocks"] =
        static_cast<double>(blocks / std::max<std::uint64_t>(1, state.iterations()));
}

void BM_CurlTool(benchmark::State& state) {
  bench::RunCurlTool(state, Server().Url("/big.bin"), kFileSize);
}

// curl writing the same file the component writes: what the file system costs a transfer into a
// file, whoever makes it.
void BM_CurlToolToFile(benchmark::State& state) {
  bench::RunCurlTool(state, Server().Url("/big.bin"), kFileSize, OutputDir().File("curl.bin"));
}

// Filling a gigabyte of fresh memory in 4 KiB blocks, the way a memory stream is filled, without
// any network: what keeping a body in memory costs before a single byte is received.
void BM_FillFreshMemory(benchmark::State& state) {
  const std::vector<std::uint8_t> block(4096, 0x5a);
  for (auto _ : state) {
    kernel::ZeroedMemory memory;
    memory.Grow(kFileSize, 0);
    for (std::uint64_t at = 0; at < kFileSize; at += block.size())
      std::memcpy(memory.Data() + at, block.data(), block.size());
    benchmark::DoNotOptimize(memory.Data());
    state.PauseTiming();  // handing the memory back is not part of filling it
    memory.Reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

// The internet layer alone, reading 4 KiB blocks and keeping nothing: what the component adds on
// top of it (and the sink's own cost) is the difference to BM_Component.
void BM_LayerOnly(benchmark::State& state) {
  testsupport::NginxServer& server = Server();
  std::vector<char> buffer(4096);
  for (auto _ : state) {
    inet::HINTERNET session =
        inet::InternetOpenA("bench", inet::INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    inet::HINTERNET connection = inet::InternetConnectA(
        session, "127.0.0.1", server.port(), nullptr, nullptr, inet::INTERNET_SERVICE_HTTP, 0, 0);
    inet::HINTERNET request =
        inet::HttpOpenRequestA(connection, "GET", "/big.bin", nullptr, nullptr, nullptr, 0, 0);
    std::uint64_t total = 0;
    std::uint32_t read = 0;
    if (inet::HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
      while (inet::InternetReadFile(request, buffer.data(), 4096, &read) && read > 0) total += read;
    }
    inet::InternetCloseHandle(session);
    if (total != kFileSize) {
      state.SkipWithError("short body");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

// The round trip of one synchronised call while the main thread waits in Execute, as the
// foundation's benchmark measures it, without pinning either thread (the transfer pins nothing).
void BM_SyncRoundTrip(benchmark::State& state) {
  struct Target {
    long calls = 0;
    void Run() { ++calls; }
  } target;
  auto owner = vcl::MakeComponent<vcl::TComponent>();
  auto* thread = new winthread::TCustomWinThread(owner.get());
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(state.max_iterations));
  thread->SetOnExecute(vcl::TNotifyEvent([&](vcl::TObject*) {
    thread->Synchronize(&target, &Target::Run);  // warm up the path
    for (auto _ : state) {
      const auto start = std::chrono::steady_clock::now();
      thread->Synchronize(&target, &Target::Run);
      micros.push_back(
          std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
              .count());
    }
  }));
  thread->SetWaitThread(true);
  thread->Execute();
  if (!micros.empty()) {
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p90_us"] = micros[micros.size() * 9 / 10];
  }
  benchmark::DoNotOptimize(target.calls);
}

BENCHMARK(BM_Component)
    ->ArgNames({"sink", "block"})
    ->Args({kMemory, 4096})
    ->Args({kFile, 4096})
    ->Args({kFile, 65536})
    ->Args({kMemoryWithProgress, 4096})

    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayerOnly)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlTool)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlToolToFile)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillFreshMemory)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SyncRoundTrip)->Iterations(200000)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  bench::RunBenchmarks(argc, argv, 5);
  return 0;
}
