// Pieces every benchmark program here shares: the curl command-line reference run, the default way
// of running (interleaved repetitions, aggregates only), the test file and the resident memory.
// Header-only; main thread unless said.
#pragma once

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

// One benchmark body: `curl -s -o <output> url` per iteration, the reference the others are
// compared with in the same run. An output other than /dev/null is deleted after each iteration,
// outside the timing. Fails the benchmark when curl cannot start or fails.
inline void RunCurlTool(benchmark::State& state, const std::string& url, std::uint64_t bytes,
                        const std::string& output = "/dev/null") {
  for (auto _ : state) {
    std::vector<std::string> args = {"curl", "-s", "-o", output, url};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) {
      state.SkipWithError("cannot start curl");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("curl failed");
      break;
    }
    if (output != "/dev/null") {
      state.PauseTiming();
      std::remove(output.c_str());
      state.ResumeTiming();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// The resident memory of this process, in bytes.
inline std::size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t total = 0, resident = 0;
  statm >> total >> resident;
  return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// Writes a real file of `bytes` bytes (not a sparse one: nginx would zero-fill every page it
// sends). Written once, it stays in the page cache, so the disk is not in the way of reading it.
// Throws std::runtime_error when it cannot be written.
inline void WriteFilledFile(const std::string& path, std::uint64_t bytes) {
  std::ofstream file(path, std::ios::binary);
  const std::string block(1 << 20, 'z');
  for (std::uint64_t written = 0; written < bytes; written += block.size()) file << block;
  if (!file.flush()) throw std::runtime_error("cannot write the test file " + path);
}

// Runs the registered benchmarks. Unless the command line sets --benchmark_repetitions itself,
// runs `repetitions` interleaved repetitions and reports their aggregates only.
inline void RunBenchmarks(int argc, char** argv, int repetitions) {
  std::vector<char*> args(argv, argv + argc);
  bool configured = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0) configured = true;
  }
  std::string repeat = "--benchmark_repetitions=" + std::to_string(repetitions);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::string aggregates = "--benchmark_report_aggregates_only=true";
  if (!configured) {
    args.push_back(repeat.data());
    args.push_back(interleave.data());
    args.push_back(aggregates.data());
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}

}  // namespace bench
