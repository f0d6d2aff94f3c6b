#include "notices.h"

namespace inet::detail {

void DeliverNotice(INTERNET_STATUS_CALLBACK callback, HINTERNET handle, std::uintptr_t context,
                   Notice& notice) {
  if (callback == nullptr || callback == INTERNET_INVALID_STATUS_CALLBACK) return;
  switch (notice.info) {
    case Notice::Info::kNone:
      callback(handle, context, notice.status, nullptr, 0);
      break;
    case Notice::Info::kText:
      // The length counts the terminating NUL, which std::string keeps after its characters.
      callback(handle, context, notice.status, notice.text.data(),
               static_cast<std::uint32_t>(notice.text.size() + 1));
      break;
    case Notice::Info::kNumber:
      callback(handle, context, notice.status, &notice.number, sizeof notice.number);
      break;
    case Notice::Info::kHandle:
      callback(handle, context, notice.status, &notice.handle, sizeof notice.handle);
      break;
  }
}

}  // namespace inet::detail
