// Pieces every benchmark program here shares: the curl command-line reference run and the
// default way of running (interleaved repetitions, aggregates only). Header-only; main thread.
#pragma once

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
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
