#include "winhttp/status_text.h"

#include <array>

#include "inet/wininet.h"

namespace winhttp {
namespace {

struct StatusEntry {
  std::uint32_t status;
  std::string_view text;
};

constexpr std::array<StatusEntry, 18> kStatusTexts = {{
    {inet::INTERNET_STATUS_RESOLVING_NAME, "Resolving name"},
    {inet::INTERNET_STATUS_NAME_RESOLVED, "Name resolved"},
    {inet::INTERNET_STATUS_CONNECTING_TO_SERVER, "Connecting to server"},
    {inet::INTERNET_STATUS_CONNECTED_TO_SERVER, "Connected"},
    {inet::INTERNET_STATUS_SENDING_REQUEST, "Sending Request"},
    {inet::INTERNET_STATUS_REQUEST_SENT, "Request sent"},
    {inet::INTERNET_STATUS_RECEIVING_RESPONSE, "Receiving response"},
    {inet::INTERNET_STATUS_RESPONSE_RECEIVED, "Response received"},
    {inet::INTERNET_STATUS_CTL_RESPONSE_RECEIVED, "CTL Response received"},
    {inet::INTERNET_STATUS_PREFETCH, "Prefetch"},
    {inet::INTERNET_STATUS_CLOSING_CONNECTION, "Closing connection"},
    {inet::INTERNET_STATUS_CONNECTION_CLOSED, "Connection closed"},
    {inet::INTERNET_STATUS_HANDLE_CREATED, "Handle created"},
    {inet::INTERNET_STATUS_HANDLE_CLOSING, "Handle closing"},
    {inet::INTERNET_STATUS_REQUEST_COMPLETE, "Request complete"},
    {inet::INTERNET_STATUS_REDIRECT, "Redirect"},
    {inet::INTERNET_STATUS_INTERMEDIATE_RESPONSE, "Intermediate response"},
    {inet::INTERNET_STATUS_STATE_CHANGE, "State change"},
}};

}  // namespace

std::string_view StatusText(std::uint32_t status) noexcept {
  for (const StatusEntry& entry : kStatusTexts) {
    if (entry.status == status) return entry.text;
  }
  return "Unknown status";
}

std::string RedirectNewURL(const void* info, std::uint32_t length) {
  if (info == nullptr || length <= 1) return {};
  return std::string(static_cast<const char*>(info), length - 1);
}

}  // namespace winhttp
