// Status notices collected while libcurl runs and delivered to the status callback afterwards,
// so that the caller's callback never runs inside a libcurl frame (and whatever it throws
// unwinds through our code only).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inet/wininet.h"

namespace inet::detail {

struct Notice {
  enum class Info { kNone, kText, kNumber, kHandle };
  std::uint32_t status = 0;
  Info info = Info::kNone;
  std::string text;
  std::uint32_t number = 0;
  HINTERNET handle = nullptr;
};

inline Notice TextNotice(std::uint32_t status, std::string text) {
  Notice notice;
  notice.status = status;
  notice.info = Notice::Info::kText;
  notice.text = std::move(text);
  return notice;
}

inline Notice NumberNotice(std::uint32_t status, std::uint32_t number) {
  Notice notice;
  notice.status = status;
  notice.info = Notice::Info::kNumber;
  notice.number = number;
  return notice;
}

inline Notice PlainNotice(std::uint32_t status) {
  Notice notice;
  notice.status = status;
  return notice;
}

inline Notice HandleNotice(std::uint32_t status, HINTERNET handle) {
  Notice notice;
  notice.status = status;
  notice.info = Notice::Info::kHandle;
  notice.handle = handle;
  return notice;
}

// Calls `callback` (when not null) with the notice's information laid out as documented in
// wininet.h. Whatever the callback throws passes through.
void DeliverNotice(INTERNET_STATUS_CALLBACK callback, HINTERNET handle, std::uintptr_t context,
                   Notice& notice);

}  // namespace inet::detail
