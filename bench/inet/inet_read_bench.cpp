// Throughput of the pull model: a 1 GiB file from a local nginx (sendfile on) read through the
// internet functions with 4 KiB and 64 KiB reads, against `curl -s -o /dev/null` on the same URL
// in the same run. The runs alternate (random interleaving of repetitions), so that machine noise
// hits all three alike. Each run also reports how much the resident memory grew during the
// transfer, which must not depend on the file size.
//
//   cmake --preset release -B build/release && cmake --build build/release --target inet_read_bench
//   build/release/bench/inet/inet_read_bench
//
// Defaults: 5 repetitions, interleaved, aggregates only; any --benchmark_... flag overrides them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "inet/wininet.h"
#include "testsupport/nginx_server.h"

namespace {

constexpr std::uint64_t kFileSize = 1ull << 30;

// Started on first use, stopped (and its folder with the file removed) at the end of main.
std::unique_ptr<testsupport::NginxServer> server;

testsupport::NginxServer& Server() {
  if (!server) {
    server = std::make_unique<testsupport::NginxServer>();
    bench::WriteFilledFile(server->docroot() + "/big.bin", kFileSize);
  }
  return *server;
}

void BM_InternetReadFile(benchmark::State& state) {
  const auto read_size = static_cast<std::uint32_t>(state.range(0));
  testsupport::NginxServer& server = Server();
  std::vector<char> buffer(read_size);
  std::size_t peak_growth = 0;
  for (auto _ : state) {
    inet::HINTERNET session =
        inet::InternetOpenA("bench", inet::INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    inet::HINTERNET connection = inet::InternetConnectA(
        session, "127.0.0.1", server.port(), nullptr, nullptr, inet::INTERNET_SERVICE_HTTP, 0, 0);
    inet::HINTERNET request =
        inet::HttpOpenRequestA(connection, "GET", "/big.bin", nullptr, nullptr, nullptr,
                               inet::INTERNET_FLAG_KEEP_CONNECTION, 0);
    const std::size_t before = bench::ResidentBytes();
    if (!inet::HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
      state.SkipWithError("send failed");
      break;
    }
    std::uint64_t total = 0;
    std::uint64_t next_sample = 0;
    std::uint32_t read = 0;
    while (inet::InternetReadFile(request, buffer.data(), read_size, &read) && read > 0) {
      total += read;
      if (total >= next_sample) {
        peak_growth = std::max(peak_growth,
                               bench::ResidentBytes() - std::min(bench::ResidentBytes(), before));
        next_sample += 64u << 20;
      }
    }
    inet::InternetCloseHandle(session);
    if (total != kFileSize) {
      state.SkipWithError("short body");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
  state.counters["rss_growth_KiB"] = static_cast<double>(peak_growth / 1024);
}

void BM_CurlTool(benchmark::State& state) {
  bench::RunCurlTool(state, Server().Url("/big.bin"), kFileSize);
}

BENCHMARK(BM_InternetReadFile)
    ->Arg(4096)
    ->Arg(65536)
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CurlTool)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  bench::RunBenchmarks(argc, argv, 5);
  server.reset();
  return 0;
}
