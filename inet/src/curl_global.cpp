#include "curl_global.h"

namespace inet::detail {

bool EnsureCurlInitialised() noexcept {
  // A function-local static is initialised exactly once even when threads race here.
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return initialised;
}

}  // namespace inet::detail
