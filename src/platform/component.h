// Owned, non-visual components: an owner destroys what it owns, and anyone that
// asked to be told hears of a component's removal before it is gone, so no one
// keeps a dangling reference.
#pragma once

#include <string>
#include <vector>

namespace platform {

enum class TOperation { opInsert, opRemove };

class TComponent {
public:
  explicit TComponent(TComponent* owner);
  virtual ~TComponent();

  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::vector<TComponent*>& Components() const { return components_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  // Asks that `other` be told (through Notification) when this component is
  // removed, also when `other` is not its owner. The link is dropped on both
  // sides when either goes away.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

protected:
  // Told when `component` is inserted into or removed from this owner, or when
  // a component this one watches is being destroyed.
  virtual void Notification(TComponent* component, TOperation operation);

private:
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  TComponent* owner_ = nullptr;
  std::string name_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> watchers_;
  bool destroying_ = false;
};

}  // namespace platform
