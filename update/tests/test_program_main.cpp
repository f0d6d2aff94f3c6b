// A test build of Online Update: the real program start, with the download host taken from
// $OU_TEST_DOWNLOAD_HOST (tests start their nginx on a port chosen at run time) and a line
// "transfer running" on standard error at the first progress event, so that a test driving the
// program from outside knows when a transfer is under way. Nothing else differs.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "forms/testing.h"
#include "update/iupdate.h"
#include "update/program.h"

int main() {
  const char* host = std::getenv("OU_TEST_DOWNLOAD_HOST");
  forms::testing::ScopedFormShownHook hook([host](forms::TForm& form) {
    auto* dialog = dynamic_cast<update::TfOnlineDownload*>(&form);
    if (dialog == nullptr || dialog->WinHTTP1 == nullptr) return;
    if (host != nullptr) dialog->DownloadHost = host;
    const winhttp::TWinHTTPProgressEvent original = dialog->WinHTTP1->OnProgress;
    dialog->WinHTTP1->OnProgress = winhttp::TWinHTTPProgressEvent(
        [original, told = false](vcl::TObject* sender, const std::string& type, std::int32_t size,
                                 std::int32_t read, std::int32_t elapsed, std::int32_t left,
                                 std::uint8_t percent, float rate, vcl::TStream* stream) mutable {
          original(sender, type, size, read, elapsed, left, percent, rate, stream);
          if (!told) {
            std::fputs("transfer running\n", stderr);
            told = true;
          }
        });
  });
  return update::ProgramMain();
}
