// A 100 MiB download from a local nginx through the update dialog, the dialog on screen:
//
//   BM_Download/progress_text     the dialog's own OnProgress: the progress text set on every
//                                 event (one per 4 KiB block), its repaints coalesced by the
//                                 forms layer
//   BM_Download/progress_text_hidden  the same with the dialog not on screen: the cost of setting
//                                 the text without any repaint
//   BM_Download/progress_nothing  the reference: OnProgress assigned but doing nothing, so all
//                                 cases make the same synchronised call per block
//
// The progress text must cost no more than a few percent: compare the medians (the machine's
// other load makes single runs vary a lot). Counters, per download: events (progress events),
// repaints (window repaints) and main_cpu_ms (CPU time of the main thread, which runs every
// synchronised call, the handler and the repaints: the least noisy measure of what the text
// costs).
//
//   cmake --preset release -B build/release
//   cmake --build build/release --target update_progress_bench
//   forms/tests/run-with-xvfb.sh build/release/bench/update/update_progress_bench
//
// Defaults: 9 repetitions, randomly interleaved, aggregates only; any --benchmark_repetitions flag
// replaces these defaults. The done event only records the size (nothing is saved or run).
#include <benchmark/benchmark.h>

#include <time.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "forms/display.h"
#include "testsupport/nginx_server.h"
#include "update/iupdate.h"
#include "update/testing.h"
#include "vcl/application.h"
#include "vcl/component.h"

namespace {

constexpr std::int64_t kFileSize = std::int64_t{100} << 20;

testsupport::NginxServer& Server() {
  static testsupport::NginxServer* server = [] {
    auto* started = new testsupport::NginxServer();
    std::filesystem::create_directories(started->docroot() + "/downloads");
    std::ofstream file(started->docroot() + "/downloads/vpaywin7.exe", std::ios::binary);
    const std::string block(1 << 20, 'z');
    for (std::int64_t written = 0; written < kFileSize; written += 1 << 20) file << block;
    if (!file.flush()) throw std::runtime_error("cannot write the test file");
    return started;
  }();
  return *server;
}

// CPU time of the calling thread, in milliseconds.
double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

enum Handler { kProgressText, kProgressTextHidden, kProgressNothing };

void BM_Download(benchmark::State& state, Handler handler) {
  testsupport::TempDir folder("update-bench");
  update::testing::ScopedProgramFile program(folder.File("online_update"));
  forms::InitializeDisplay();
  auto dialog = vcl::MakeComponent<update::TfOnlineDownload>();
  dialog->DownloadHost = "127.0.0.1:" + std::to_string(Server().port());
  if (handler != kProgressTextHidden) {
    dialog->ShowForm();
    while (!dialog->Painted()) vcl::Application().HandleMessage();
  }

  winhttp::TWinHTTP& http = *dialog->WinHTTP1;
  std::int64_t received = -1;
  http.OnDone = winhttp::TWinHTTPDoneEvent([&](vcl::TObject*, const std::string&, std::int32_t size,
                                               vcl::TStream*) { received = size; });
  bool failed = false;  // instead of the dialog's message box, which would wait for a user
  http.OnAnyError = winhttp::TNotifyEvent([&](vcl::TObject*) { failed = true; });
  std::int64_t events = 0;
  const winhttp::TWinHTTPProgressEvent text = http.OnProgress;
  http.OnProgress = winhttp::TWinHTTPProgressEvent(
      [&, text, handler](vcl::TObject* sender, const std::string& type, std::int32_t size,
                         std::int32_t read, std::int32_t elapsed, std::int32_t left,
                         std::uint8_t percent, float rate, vcl::TStream* s) {
        ++events;
        if (handler == kProgressText)
          text(sender, type, size, read, elapsed, left, percent, rate, s);
      });
  const int paints_before = dialog->PaintCount();
  const double cpu_before = ThreadCpuMs();
  for (auto _ : state) {
    received = -1;
    dialog->DownloadfromTavelosite1->Click();
    while (received < 0 && !failed) vcl::Application().HandleMessage();
    if (received != kFileSize) {
      state.SkipWithError("the download did not end with the whole file");
      break;
    }
    dialog->EnableButtons(true);
  }
  const auto downloads = static_cast<double>(std::max<std::int64_t>(1, state.iterations()));
  state.SetBytesProcessed(state.iterations() * kFileSize);
  state.counters["events"] = static_cast<double>(events) / downloads;
  state.counters["repaints"] = (dialog->PaintCount() - paints_before) / downloads;
  state.counters["main_cpu_ms"] = (ThreadCpuMs() - cpu_before) / downloads;
  dialog->Close();
}

BENCHMARK_CAPTURE(BM_Download, progress_text, kProgressText)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Download, progress_text_hidden, kProgressTextHidden)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Download, progress_nothing, kProgressNothing)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  bench::RunBenchmarks(argc, argv, 9);
  return 0;
}
