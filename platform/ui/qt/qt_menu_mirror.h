// A Qt application's own menu bar seen as the window model's main menu.
//
// Every QMenu and QAction of the bar becomes a TMenuItem of `menu`, in the
// same order and nesting: named by the action's objectName (a sub-menu by
// its QMenu's objectName), captioned by its text, separators captioned "-".
// An action that something is connected to (its triggered signal) gets a
// click handler in the model that runs the host's slots.
//
// What the model does to an item reaches the QAction: Enabled and Visible.
// What the person does reaches the model: a command action is shown in the
// bar, the toolbars and every other widget holding it by a stand-in action
// that follows the host action's text, icon, shortcuts, check state,
// enabled and visible state. Choosing the stand-in (menu, toolbar button or
// shortcut) chooses the model item (TMenuItem::ChooseByPerson), whose click
// handler triggers the host action, so the host's slots run exactly once,
// see their own action as sender(), and run through whatever the model's
// handler has become (the security component's interceptor). A stand-in
// shows enabled and visible only while both the host action and the model
// item are, so neither the host's code nor a stale state makes a denied
// command usable.
//
// An action without an objectName cannot be told apart from the others; it
// is reported once (a warning naming its text), left out of the model and
// left as it is. An unnamed sub-menu is left out too; its actions take its
// place in the model.
//
// Works on the widgets as they are at Sync(); Sync() again after the host
// changed its menus. Destroying the mirror puts every host action back in
// its place.
#pragma once

#include <QList>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "qvd3/platform/ui/peer.h"

class QAction;
class QMenuBar;
class QObject;

namespace qv {

class TMainMenu;
class TMenuItem;

class TQtMenuMirror : public TComponentPeer {
 public:
  // Items are created owned by `menu`. Nothing is mirrored before Sync().
  TQtMenuMirror(QMenuBar& bar, TMainMenu& menu);
  // Puts every host action back where its stand-in is; leaves the host
  // actions' state as it is then.
  ~TQtMenuMirror() override;
  TQtMenuMirror(const TQtMenuMirror&) = delete;
  TQtMenuMirror& operator=(const TQtMenuMirror&) = delete;

  // Brings the model in step with the bar as it is now: new actions become
  // items (and stand-ins where they are commands), removed ones lose their
  // items, the others keep theirs (so a hooked click handler stays), moved
  // to their present place and caption. An item whose action was renamed
  // is a new item. Raises EComponentError when an objectName is not a valid
  // component name or two actions share one.
  void Sync();

  // Gives every mirrored action the enabled and visible state it had when
  // first mirrored (undoing what the model did to it).
  void RestoreStates();

  // The host action an item mirrors, or nullptr.
  QAction* ActionOf(const TMenuItem& item) const;
  // The item mirroring a host action, or nullptr.
  TMenuItem* ItemOf(const QAction* action) const;

  // True when something besides Qt's own menus, tool buttons and action
  // group is connected to the action's triggered signal.
  static bool HasCommand(QAction& action);

  // Where an error raised by a chosen command goes; by default the
  // Application's error display.
  std::function<void(const std::exception&)> OnError;

  // TComponentPeer
  void Changed(TComponent& component, TChange what) override;
  void Destroying(TComponent& component) override;

 private:
  struct Mirrored {
    QPointer<QAction> host;
    QPointer<QAction> standIn;  // only for commands
    TMenuItem* item = nullptr;
    bool savedEnabled = true;
    bool savedVisible = true;
  };

  void Place(const QList<QAction*>& actions, TMenuItem& parent, int& index,
             std::unordered_set<QAction*>& seen);
  TMenuItem& ItemFor(QAction& action, const std::string& name);
  void WarnUnnamed(QAction& action);
  void Present(Mirrored& entry);
  void Withdraw(Mirrored& entry);
  void Follow(const Mirrored& entry);
  void Choose(QAction* host);
  void Forget(QAction* host);

  QPointer<QMenuBar> bar_;
  TMainMenu& menu_;
  // Parent of the stand-ins and context of every connection made here.
  std::unique_ptr<QObject> context_;
  std::unordered_map<QAction*, Mirrored> entries_;
  // Keyed by the item's address as a component: Destroying only has that.
  std::unordered_map<const TComponent*, QAction*> by_item_;
  // Each stand-in's host action: the bar shows stand-ins, the model knows
  // the host actions.
  std::unordered_map<const QAction*, QAction*> host_of_;
  std::unordered_set<const QAction*> warned_;
};

}  // namespace qv
