// Ownership and removal notifications for components.
#include "component.h"

#include <algorithm>

namespace platform {

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  destroying_ = true;
  // Tell everyone who watches us, then our owner, that we are going.
  std::vector<TComponent*> watchers;
  watchers.swap(watchers_);
  for (TComponent* w : watchers) {
    auto& back = w->watchers_;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    w->Notification(this, TOperation::opRemove);
  }
  // Owned components die with us, last created first.
  while (!components_.empty()) {
    TComponent* child = components_.back();
    delete child;  // its destructor removes it from components_
  }
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

void TComponent::InsertComponent(TComponent* component) {
  components_.push_back(component);
  component->owner_ = this;
  Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it == components_.end()) return;
  components_.erase(it);
  component->owner_ = nullptr;
  Notification(component, TOperation::opRemove);
}

void TComponent::FreeNotification(TComponent* other) {
  if (other == nullptr || other == this) return;
  if (std::find(watchers_.begin(), watchers_.end(), other) == watchers_.end())
    watchers_.push_back(other);
  if (std::find(other->watchers_.begin(), other->watchers_.end(), this) == other->watchers_.end())
    other->watchers_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  watchers_.erase(std::remove(watchers_.begin(), watchers_.end(), other), watchers_.end());
  if (other != nullptr)
    other->watchers_.erase(std::remove(other->watchers_.begin(), other->watchers_.end(), this),
                           other->watchers_.end());
}

void TComponent::Notification(TComponent*, TOperation) {}

}  // namespace platform
