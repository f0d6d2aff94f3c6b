#include "session.h"

#include <new>
#include <utility>

namespace inet::detail {
namespace {
// Idle multi handles kept per session: enough for the few requests a session runs in parallel.
constexpr std::size_t kMaxIdleMultis = 4;
}  // namespace

Session::Session(const char* agent, ProxyConfig proxy, bool offline)
    : HandleObject(HandleKind::kSession, nullptr, 0),
      has_agent_(agent != nullptr),
      agent_(agent != nullptr ? agent : ""),
      proxy_(std::move(proxy)),
      offline_(offline) {}

std::shared_ptr<Session> Session::Create(const char* agent, ProxyConfig proxy, bool offline) {
  std::shared_ptr<Session> session(new Session(agent, std::move(proxy), offline));
  CURLSH* share = curl_share_init();
  if (share == nullptr) return nullptr;
  session->cookie_share_ = share;
  curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &Session::LockShare);
  curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &Session::UnlockShare);
  curl_share_setopt(share, CURLSHOPT_USERDATA, session.get());
  if (curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE) != CURLSHE_OK) {
    return nullptr;
  }
  return session;
}

Session::~Session() {
  for (CURLM* multi : idle_multis_) curl_multi_cleanup(multi);
  // Every easy handle using the share belonged to a request, and requests keep their session
  // alive, so none is attached any more.
  if (cookie_share_ != nullptr) curl_share_cleanup(cookie_share_);
}

void Session::LockShare(CURL*, curl_lock_data data, curl_lock_access, void* self) noexcept {
  auto* session = static_cast<Session*>(self);
  session->share_locks_[static_cast<std::size_t>(data) % CURL_LOCK_DATA_LAST].lock();
}

void Session::UnlockShare(CURL*, curl_lock_data data, void* self) noexcept {
  auto* session = static_cast<Session*>(self);
  session->share_locks_[static_cast<std::size_t>(data) % CURL_LOCK_DATA_LAST].unlock();
}

CURLM* Session::TakeMulti() {
  {
    std::lock_guard lock(pool_lock_);
    if (!idle_multis_.empty()) {
      CURLM* multi = idle_multis_.back();
      idle_multis_.pop_back();
      return multi;
    }
  }
  return curl_multi_init();
}

void Session::ReturnMulti(CURLM* multi) noexcept {
  if (multi == nullptr) return;
  if (!closed()) {
    std::lock_guard lock(pool_lock_);
    if (idle_multis_.size() < kMaxIdleMultis) {
      try {
        idle_multis_.push_back(multi);
        return;
      } catch (const std::bad_alloc&) {  // no room to remember it: clean it up below
      }
    }
  }
  curl_multi_cleanup(multi);
}

}  // namespace inet::detail
