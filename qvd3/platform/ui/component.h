// The root classes of the window model: TObject (the sender of every event)
// and TComponent (a named object with an owner that frees it).
//
// Ownership: a component created with an owner belongs to it; the owner
// destroys its components in reverse creation order when it is destroyed.
// A component destroyed earlier removes itself from its owner. Components are
// therefore created with `new` and never deleted by hand unless they have no
// owner (a dialog created without owner is held in a std::unique_ptr).
//
// Reading: a form (or any root component) is "read" by ReadComponent, which
// runs the code creating its components and assigning their stored
// properties while every component involved is in the loading state, then
// calls Loaded on each. Property setters use Loading() to tell "stored value
// being read" from "run-time assignment".
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/ui/peer.h"
#include "qvd3/platform/ui/types.h"

namespace qv {

class TObject;

// The event type of most events: "something happened to sender". An event
// is "set" (has a handler) when the function is non-empty.
using TNotifyEvent = std::function<void(TObject& sender)>;

// An operation that is not allowed in the object's present state (focusing a
// hidden control, showing a visible form modally...).
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

// A component name that is not an identifier or is already used by another
// component of the same owner.
class EComponentError : public Exception {
 public:
  using Exception::Exception;
};

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  // The class name without namespace, e.g. "TLogin".
  std::string ClassName() const;
};

// `object` seen as a T; raises EInvalidCast ("Invalid class typecast") when
// it is not one.
template <class T>
T& As(TObject& object) {
  if (auto* p = dynamic_cast<T*>(&object)) return *p;
  throw EInvalidCast("Invalid class typecast");
}

enum TComponentStateFlag { csLoading, csDesigning, csDestroying };
using TComponentState = TSet<TComponentStateFlag>;

// Why Notification is called.
enum TOperation { opInsert, opRemove };

class TComponent : public TObject {
 public:
  // Creates the component and, when `owner` is given, hands it to the owner.
  // A component created while its owner is being read joins the reading
  // (it is loading too and gets its Loaded call).
  explicit TComponent(TComponent* owner);
  // Destroys the owned components (reverse creation order), tells every
  // component that asked for a free notification, and leaves the owner.
  ~TComponent() override;

  // The component's name: empty, or an identifier (letter or "_", then
  // letters, digits, "_") unique among the components of its owner, compared
  // without regard to letter case. Raises EComponentError otherwise.
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name);

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // The owned components in creation order.
  TComponent* Components(int index) const;
  // The owned component with this name (letter case ignored), or nullptr.
  // Only direct components are searched.
  TComponent* FindComponent(std::string_view name) const;

  // A plain integer for the program's own use.
  long Tag = 0;

  TComponentState ComponentState() const { return state_; }
  bool Loading() const { return state_.Contains(csLoading); }
  bool Designing() const { return state_.Contains(csDesigning); }
  bool Destroying() const { return state_.Contains(csDestroying); }
  // Marks the component, and with `withOwned` everything it owns, as being
  // edited in a designer. Components created later by a designing owner are
  // designing too.
  void SetDesigning(bool value, bool withOwned = true);

  // Called once after the component's stored properties have been read (see
  // ReadComponent). The loading flag is already clear when it runs.
  virtual void Loaded() {}

  // Asks to be told (through Notification with opRemove) when `other` is
  // destroyed, so that references to it can be dropped. The request is
  // removed again when either side is destroyed.
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

  // The observer that mirrors this component in a backend, or nullptr. Not
  // owned; the backend that sets a peer clears it before the peer dies.
  TComponentPeer* Peer() const { return peer_; }
  void SetPeer(TComponentPeer* peer) { peer_ = peer; }

 protected:
  // Tells the component that `component` is being inserted into or removed
  // from this owner, or, after FreeNotification, that it is being destroyed.
  virtual void Notification(TComponent* component, TOperation operation);
  // Destroys the owned components now, in reverse creation order. A derived
  // class whose components call back into it while they are destroyed calls
  // this first thing in its destructor.
  void DestroyComponents();
  // Tells the peer, if any, that the property `what` changed.
  void NotifyPeer(TChange what);

 private:
  friend void ReadComponent(TComponent& root, const std::function<void()>& build);
  struct Reading;
  Reading* ActiveReading() const;
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  std::string name_;
  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> free_notifies_;
  TComponentState state_;
  TComponentPeer* peer_ = nullptr;
  Reading* reading_ = nullptr;
};

// Reads `root`: sets the loading state on root, runs `build` (which creates
// the components owned by root or by them and assigns their stored
// properties), then clears the loading state of every component involved and
// calls Loaded on root and then on each created component in creation order.
// If `build` or a Loaded call raises, every loading flag is still cleared
// and the error propagates; the remaining Loaded calls are not made.
void ReadComponent(TComponent& root, const std::function<void()>& build);

}  // namespace qv
