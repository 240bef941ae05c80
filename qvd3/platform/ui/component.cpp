#include "qvd3/platform/ui/component.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "qvd3/platform/sys/text_case.h"

namespace qv {

namespace {

bool IsIdentifier(const std::string& name) {
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (name.empty() || !alpha(name[0])) return false;
  return std::all_of(name.begin(), name.end(), [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

}  // namespace

std::string TObject::ClassName() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                    std::free);
  std::string name = (status == 0 && demangled) ? demangled.get() : mangled;
  auto colon = name.rfind("::");
  return colon == std::string::npos ? name : name.substr(colon + 2);
}

// The bookkeeping of one ReadComponent call: the components created while
// it runs, in creation order.
struct TComponent::Reading {
  std::vector<TComponent*> created;
  bool open = true;  // components created now join the reading
};

TComponent::TComponent(TComponent* owner) {
  if (owner == nullptr) return;
  owner->InsertComponent(this);
  if (owner->Designing()) state_.Include(csDesigning);
  if (Reading* reading = owner->ActiveReading()) {
    state_.Include(csLoading);
    reading->created.push_back(this);
  }
}

TComponent::~TComponent() {
  state_.Include(csDestroying);
  if (peer_ != nullptr) peer_->Destroying(*this);
  DestroyComponents();
  // Tell everyone who asked; each side forgets the other.
  while (!free_notifies_.empty()) {
    TComponent* other = free_notifies_.back();
    free_notifies_.pop_back();
    auto& theirs = other->free_notifies_;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
    other->Notification(this, opRemove);
  }
  if (owner_ != nullptr) owner_->RemoveComponent(this);
  // A component destroyed while a reading is under way must not be visited
  // by that reading's Loaded calls.
  for (TComponent* c = owner_; c != nullptr; c = c->owner_) {
    if (c->reading_ != nullptr) {
      auto& list = c->reading_->created;
      list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
  }
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* last = components_.back();
    delete last;  // removes itself from components_
  }
}

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  if (!name.empty()) {
    if (!IsIdentifier(name)) throw EComponentError("'" + name + "' is not a valid component name");
    if (owner_ != nullptr) {
      TComponent* same = owner_->FindComponent(name);
      if (same != nullptr && same != this)
        throw EComponentError("A component named " + name + " already exists");
    }
  }
  name_ = name;
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount())
    throw ERangeError("List index out of bounds (" + std::to_string(index) + ")");
  return components_[static_cast<std::size_t>(index)];
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, name)) return c;
  return nullptr;
}

void TComponent::SetDesigning(bool value, bool withOwned) {
  if (value) state_.Include(csDesigning); else state_.Exclude(csDesigning);
  if (withOwned)
    for (TComponent* c : components_) c->SetDesigning(value, true);
}

void TComponent::FreeNotification(TComponent* other) {
  if (other == nullptr || other == this) return;
  if (std::find(free_notifies_.begin(), free_notifies_.end(), other) == free_notifies_.end()) {
    free_notifies_.push_back(other);
    other->free_notifies_.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (other == nullptr) return;
  free_notifies_.erase(std::remove(free_notifies_.begin(), free_notifies_.end(), other), free_notifies_.end());
  auto& theirs = other->free_notifies_;
  theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
}

void TComponent::Notification(TComponent* component, TOperation operation) {
  (void)component;
  (void)operation;
}

void TComponent::NotifyPeer(TChange what) {
  if (peer_ != nullptr && !Destroying()) peer_->Changed(*this, what);
}

TComponent::Reading* TComponent::ActiveReading() const {
  for (const TComponent* c = this; c != nullptr; c = c->owner_)
    if (c->reading_ != nullptr) return c->reading_->open ? c->reading_ : nullptr;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  component->owner_ = this;
  components_.push_back(component);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  components_.erase(std::remove(components_.begin(), components_.end(), component), components_.end());
  component->owner_ = nullptr;
  if (!Destroying()) Notification(component, opRemove);
}

void ReadComponent(TComponent& root, const std::function<void()>& build) {
  if (root.reading_ != nullptr) throw EInvalidOperation("Component " + root.Name() + " is already being read");
  TComponent::Reading reading;
  root.reading_ = &reading;
  root.state_.Include(csLoading);
  // Whatever happens, nothing stays in the loading state and the root
  // forgets the finished reading.
  struct Finish {
    TComponent& root;
    TComponent::Reading& reading;
    ~Finish() {
      root.reading_ = nullptr;
      root.state_.Exclude(csLoading);
      for (TComponent* c : reading.created) c->state_.Exclude(csLoading);
    }
  } finish{root, reading};

  build();
  reading.open = false;  // components created by Loaded handlers are run-time ones

  root.state_.Exclude(csLoading);
  root.Loaded();
  // Loaded handlers may destroy components; the destructor prunes the list,
  // so walk it by index.
  for (std::size_t i = 0; i < reading.created.size(); ++i) {
    TComponent* c = reading.created[i];
    c->state_.Exclude(csLoading);
    c->Loaded();
  }
}

}  // namespace qv
