// The status callback of the internet functions: status notices to OnStatus, redirects to
// OnRedirected.
#include <string>

#include "winhttp/status_text.h"
#include "winhttp/win_http.h"

namespace winhttp {

void StatusCallback(inet::HINTERNET /*handle*/, std::uintptr_t context, std::uint32_t status,
                    void* information, std::uint32_t information_length) {
  auto* http = reinterpret_cast<TCustomWinHTTP*>(context);
  // Closing notices of a component being destroyed would reach a half-destroyed owner.
  if (http == nullptr || http->IsDestroying()) return;
  if (http->OnStatus.Assigned()) http->OnStatus(http, status, std::string(StatusText(status)));
  if (status == inet::INTERNET_STATUS_REDIRECT && http->OnRedirected.Assigned())
    http->OnRedirected(http, RedirectNewURL(information, information_length));
}

}  // namespace winhttp
