#include "handle_object.h"

#include <utility>

namespace inet::detail {

HandleObject::HandleObject(HandleKind kind, std::shared_ptr<HandleObject> parent,
                           std::uintptr_t context)
    : kind_(kind), parent_(std::move(parent)), context_(context) {
  if (parent_) {
    settings_ = parent_->GetSettings();
    callback_.store(parent_->callback(), std::memory_order_release);
  }
}

HandleObject::~HandleObject() = default;

bool HandleObject::MarkClosed() noexcept {
  if (closed_.exchange(true, std::memory_order_acq_rel)) return false;
  WakeBlockedCall();
  return true;
}

Settings HandleObject::GetSettings() const {
  std::lock_guard lock(settings_lock_);
  return settings_;
}

void HandleObject::AddChild(const std::shared_ptr<HandleObject>& child) {
  std::lock_guard lock(children_lock_);
  // Drop entries of children that are gone, so a long-lived session does not grow without bound.
  std::erase_if(children_, [](const std::weak_ptr<HandleObject>& c) { return c.expired(); });
  children_.push_back(child);
}

std::vector<std::shared_ptr<HandleObject>> HandleObject::Children() const {
  std::lock_guard lock(children_lock_);
  std::vector<std::shared_ptr<HandleObject>> alive;
  for (const auto& child : children_) {
    if (auto strong = child.lock()) alive.push_back(std::move(strong));
  }
  return alive;
}

}  // namespace inet::detail
