// A Qt application's own menu bar seen as the window model's main menu.
//
// Every QMenu and QAction of the bar becomes a TMenuItem of `menu`, in the
// same order and nesting: named by the action's objectName (a sub-menu by
// its QMenu's objectName), captioned by its text, separators captioned "-".
// Every other action (not a sub-menu, separator or widget action) is a
// command: its item gets a click handler that triggers the action, so
// whatever the host connects to it, before or after Sync, runs through the
// model and through whatever the model's handler has become (the security
// component's interceptor). A disabled action runs nothing: its handler
// raises the silent EAbort instead, so that no command is recorded as run.
//
// What the model does to an item reaches the QAction: Enabled and Visible.
// What the person does reaches the model: a command action is shown in the
// bar, the toolbars and every other widget holding it by a stand-in action
// that follows the host action's text, icon, shortcuts, check state,
// enabled and visible state. Choosing the stand-in (menu, toolbar button or
// shortcut) chooses the model item (TMenuItem::ChooseByPerson), whose click
// handler triggers the host action, so the host's slots run exactly once
// and see their own action as sender(). A stand-in shows enabled and
// visible only while both the host action and the model item are, so
// neither the host's code nor a stale state makes a denied command usable.
//
// The mirror watches the whole application: a command action the host puts
// into any widget later (a toolbar made after start-up, a context menu, a
// tool button's default action) is replaced there by its stand-in at once,
// and an action added to a menu or menu bar makes the mirror Sync as soon as
// the event loop runs, once the host's code has named and connected it.
//
// An action without an objectName cannot be told apart from the others; it
// is reported once (a warning naming its text), left out of the model and
// left as it is. An unnamed sub-menu is left out too; its actions take its
// place in the model.
//
// A command may destroy the mirror (the host deleting the guard that owns
// it): nothing of the mirror is touched once the command returns, and the
// stand-in it was chosen by is deleted only when the event loop runs again.
// Destroying the mirror puts every host action back in its place.
#pragma once

#include <QList>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "qvd3/platform/ui/peer.h"

class QAction;
class QMenuBar;
class QObject;
class QWidget;

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
  // component name or two actions share one (letter case ignored).
  void Sync();

  // Gives every mirrored action the enabled and visible state it had when
  // first mirrored (undoing what the model did to it).
  void RestoreStates();

  // The host action an item mirrors, or nullptr.
  QAction* ActionOf(const TMenuItem& item) const;
  // The item mirroring a host action, or nullptr.
  TMenuItem* ItemOf(const QAction* action) const;

  // Where an error raised by a chosen command, or by a Sync the mirror ran
  // by itself, goes; by default the Application's error display.
  std::function<void(const std::exception&)> OnError;
  // Called, after the Sync that made them, for the items of actions that
  // appeared after the first Sync (each new item, sub-menus included).
  std::function<void(TMenuItem&)> OnNewItem;

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
  friend class TQtMirrorWatch;
  bool ActionAdded(QWidget& widget, QAction* action, QAction* before);
  void SyncLater();
  void HandOverNewItems();
  void Report(const std::exception& error);

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
  // Items made by the Sync under way, for OnNewItem; and whether a Sync ran.
  std::vector<TMenuItem*> made_;
  bool synced_ = false;
  bool syncPending_ = false;
  // While the mirror moves actions itself, the application watch stands by.
  int rearranging_ = 0;
  // The host action whose addition is being turned into its stand-in's.
  const QAction* swapping_ = nullptr;
  // Commands running now, and a token that expires with the mirror: a
  // command may destroy it.
  int busy_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qv
