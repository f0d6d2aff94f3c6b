#include "vcl/component.h"

#include <algorithm>

#include "vcl/exceptions.h"

namespace vcl {

namespace {
bool SameTextAscii(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}
}  // namespace

void TPersistent::Assign(const TPersistent* source) {
  if (source != nullptr) {
    source->AssignTo(this);
    return;
  }
  throw EConvertError("Cannot assign a nil to a " + ClassName());
}

void TPersistent::DefineProperties(TFiler& /*filer*/) {}

void TPersistent::AssignTo(TPersistent* dest) const {
  throw EConvertError("Cannot assign a " + ClassName() + " to a " + dest->ClassName());
}

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_ != nullptr) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  Destroying();
  while (!components_.empty()) {
    TComponent* child = components_.back();
    components_.pop_back();
    child->owner_ = nullptr;
    delete child;
  }
  if (owner_ != nullptr) owner_->Remove(this);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* child : components_)
    if (SameTextAscii(child->name_, name)) return child;
  return nullptr;
}

void TComponent::SetStateBit(ComponentState state, bool on) noexcept {
  const auto bit = static_cast<std::uint32_t>(state);
  if (on)
    state_.fetch_or(bit, std::memory_order_acq_rel);
  else
    state_.fetch_and(~bit, std::memory_order_acq_rel);
}

void TComponent::SetDesigning(bool designing) {
  SetStateBit(ComponentState::csDesigning, designing);
  for (TComponent* child : components_) child->SetDesigning(designing);
}

void TComponent::SetLoading(bool loading) noexcept {
  SetStateBit(ComponentState::csLoading, loading);
}

void TComponent::Destroying() noexcept {
  if (IsDestroying()) return;
  SetStateBit(ComponentState::csDestroying, true);
  for (TComponent* child : components_) child->Destroying();
}

void TComponent::Loaded() {
  SetStateBit(ComponentState::csLoading, false);
}

void TComponent::Remove(TComponent* child) noexcept {
  auto it = std::find(components_.begin(), components_.end(), child);
  if (it != components_.end()) components_.erase(it);
}

void Free(TComponent* component) noexcept {
  if (component == nullptr) return;
  component->Destroying();
  delete component;
}

}  // namespace vcl
