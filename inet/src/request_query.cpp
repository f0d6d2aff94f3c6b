// HttpQueryInfoA on a request: status line pieces, raw header blocks and single headers of the
// final response (or of the request), copied into the caller's buffer.
#include <charconv>
#include <cstring>
#include <optional>
#include <string>

#include "fail.h"
#include "query_levels.h"
#include "request.h"

namespace inet::detail {
namespace {

constexpr std::uint32_t kModifierMask = 0xF0000000;
constexpr std::uint32_t kLevelMask = 0x0000FFFF;

bool CopyText(const std::string& text, void* buffer, std::uint32_t* length) {
  const std::size_t needed = text.size() + 1;
  if (buffer == nullptr || *length < needed) {
    *length = static_cast<std::uint32_t>(needed);
    return Fail(kernel::ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(buffer, text.data(), text.size());
  static_cast<char*>(buffer)[text.size()] = '\0';
  *length = static_cast<std::uint32_t>(text.size());
  return true;
}

bool CopyNumber(const std::string& text, void* buffer, std::uint32_t* length) {
  if (buffer == nullptr || *length < sizeof(std::uint32_t)) {
    *length = sizeof(std::uint32_t);
    return Fail(kernel::ERROR_INSUFFICIENT_BUFFER);
  }
  std::uint32_t value = 0;
  const char* first = text.data();
  while (first < text.data() + text.size() && (*first == ' ' || *first == '\t')) ++first;
  auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
  if (error != std::errc() || end == first) return Fail(ERROR_HTTP_INVALID_HEADER);
  std::memcpy(buffer, &value, sizeof value);
  *length = sizeof value;
  return true;
}

}  // namespace

bool Request::Query(std::uint32_t info_level, void* buffer, std::uint32_t* length,
                    std::uint32_t* index) {
  const std::uint32_t modifiers = info_level & kModifierMask;
  const std::uint32_t level = info_level & kLevelMask;
  if ((info_level & ~(kModifierMask | kLevelMask)) != 0 ||
      (modifiers & HTTP_QUERY_FLAG_SYSTEMTIME) != 0) {
    return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
  }

  // Which header block: the request's (as sent, or as it would be sent) or the final response's.
  HeaderBlock pending_request;
  const HeaderBlock* block = &head_;
  const bool of_request = (modifiers & HTTP_QUERY_FLAG_REQUEST_HEADERS) != 0;
  if (of_request) {
    if (request_sent_) {
      block = &sent_head_;
    } else {
      pending_request.AddLine(params_.verb + " " + params_.object_name +
                              (params_.http10 ? " HTTP/1.0" : " HTTP/1.1"));
      for (const auto& [name, value] : headers_.entries()) {
        pending_request.AddLine(name + ": " + value);
      }
      block = &pending_request;
    }
  } else if (head_state_ != HeadState::kFinal) {
    return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
  }

  std::optional<std::string> text;
  bool indexed = false;
  const std::size_t wanted = index != nullptr ? *index : 0;
  switch (level) {
    case HTTP_QUERY_STATUS_CODE:
      if (!of_request && block->status() != 0) text = std::to_string(block->status());
      break;
    case HTTP_QUERY_STATUS_TEXT:
      if (!of_request) text = std::string(block->reason());
      break;
    case HTTP_QUERY_VERSION:
      if (!of_request) text = std::string(block->version());
      break;
    case HTTP_QUERY_REQUEST_METHOD:
      text = params_.verb;
      break;
    case HTTP_QUERY_RAW_HEADERS:
      text = block->RawNul();
      break;
    case HTTP_QUERY_RAW_HEADERS_CRLF:
      text = block->RawCrLf();
      break;
    default: {
      std::string name;
      if (level == HTTP_QUERY_CUSTOM) {
        if (buffer == nullptr || *length == 0) return Fail(kernel::ERROR_INVALID_PARAMETER);
        const auto* chars = static_cast<const char*>(buffer);
        name.assign(chars, strnlen(chars, *length));
      } else {
        name = std::string(HeaderNameOfLevel(level));
        if (name.empty()) return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
      }
      if ((modifiers & HTTP_QUERY_FLAG_COALESCE) != 0) {
        text = block->Coalesced(name);
      } else {
        text = block->Find(name, wanted);
        indexed = true;
      }
      break;
    }
  }
  if (!text) return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
  const bool copied = (modifiers & HTTP_QUERY_FLAG_NUMBER) != 0 ? CopyNumber(*text, buffer, length)
                                                                : CopyText(*text, buffer, length);
  if (copied && indexed && index != nullptr) ++*index;
  return copied;
}

}  // namespace inet::detail
