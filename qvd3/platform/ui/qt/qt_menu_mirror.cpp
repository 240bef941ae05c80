#include "qvd3/platform/ui/qt/qt_menu_mirror.h"

#include <QAction>
#include <QActionEvent>
#include <QActionGroup>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>
#include <QWidgetAction>
#include <QtDebug>
#include <vector>

#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/ui/application.h"
#include "qvd3/platform/ui/menus.h"

namespace qv {

namespace {

// The widgets holding `action`, copied: moving the action changes the list.
std::vector<QWidget*> HoldersOf(const QAction& action) {
  std::vector<QWidget*> holders;
  for (QObject* object : action.associatedObjects())
    if (auto* widget = qobject_cast<QWidget*>(object)) holders.push_back(widget);
  return holders;
}

// Puts `to` in every place of `from`: in each widget holding `from` at its
// position, and as the default action of a tool button of its own. The
// buttons a toolbar made for `from` are replaced by the toolbar itself
// (which hides the old ones at once), so they are left alone.
void Replace(QAction& from, QAction& to) {
  const std::vector<QWidget*> holders = HoldersOf(from);
  for (QWidget* widget : holders) {
    if (qobject_cast<QToolButton*>(widget) != nullptr) continue;
    widget->insertAction(&from, &to);
    widget->removeAction(&from);
  }
  for (QWidget* widget : holders) {
    auto* button = qobject_cast<QToolButton*>(widget);
    if (button == nullptr || button->isHidden() || button->defaultAction() != &from) continue;
    button->setDefaultAction(&to);
    button->removeAction(&from);
  }
}

// The sub-menu an action opens, or nullptr.
QMenu* MenuOf(const QAction& action) { return action.menu<QMenu*>(); }

// An action the person runs: not a sub-menu, a separator or an action that
// shows a widget of its own (a stand-in would lose the widget).
bool IsCommand(QAction& action) {
  return !action.isSeparator() && MenuOf(action) == nullptr && qobject_cast<QWidgetAction*>(&action) == nullptr;
}

// Whether trigger() would run the action's slots: Qt ignores a disabled
// action and an action of a disabled group.
bool Triggerable(const QAction& action) {
  return action.isEnabled() && (action.actionGroup() == nullptr || action.actionGroup()->isEnabled());
}

// Counts the mirror's own moves of actions while alive.
class Rearranging {
 public:
  explicit Rearranging(int& depth) : depth_(depth) { ++depth_; }
  ~Rearranging() { --depth_; }
  Rearranging(const Rearranging&) = delete;
  Rearranging& operator=(const Rearranging&) = delete;

 private:
  int& depth_;
};

}  // namespace

// The parent of the stand-ins, the context of the mirror's connections and
// the application-wide watch of actions added to widgets.
class TQtMirrorWatch : public QObject {
 public:
  explicit TQtMirrorWatch(TQtMenuMirror& mirror) : mirror_(mirror) {
    QCoreApplication::instance()->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::ActionAdded && type != QEvent::ActionRemoved) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    auto* change = static_cast<QActionEvent*>(event);
    if (widget == nullptr) return false;
    // The removal of a host action the widget never saw added.
    if (type == QEvent::ActionRemoved) return change->action() == mirror_.swapping_;
    return mirror_.ActionAdded(*widget, change->action(), change->before());
  }

 private:
  TQtMenuMirror& mirror_;
};

TQtMenuMirror::TQtMenuMirror(QMenuBar& bar, TMainMenu& menu)
    : bar_(&bar), menu_(menu), context_(std::make_unique<TQtMirrorWatch>(*this)) {}

// A stand-in whose command runs now (the command destroys the mirror) is
// still used by Qt when the command returns: it is taken from context_,
// which would delete it at once, and left to the later deletion Withdraw
// asked for.
TQtMenuMirror::~TQtMenuMirror() {
  Rearranging rearranging(rearranging_);
  for (auto& [action, entry] : entries_) {
    if (entry.item != nullptr) entry.item->SetPeer(nullptr);
    Withdraw(entry);
  }
  if (busy_ > 0)
    for (QAction* standIn : context_->findChildren<QAction*>(Qt::FindDirectChildrenOnly)) standIn->setParent(nullptr);
}

void TQtMenuMirror::Sync() {
  if (!bar_) return;
  Rearranging rearranging(rearranging_);
  made_.clear();
  std::unordered_set<QAction*> seen;
  int index = 0;
  try {
    Place(bar_->actions(), *menu_.Items(), index, seen);
  } catch (...) {
    // What was made before the failure is handed over all the same.
    HandOverNewItems();
    throw;
  }

  // Items of actions no longer in the bar (or renamed) go, each subtree
  // once: whatever is still mirrored was moved out of it above.
  std::vector<QAction*> stale;
  std::unordered_set<const TMenuItem*> staleItems;
  for (auto& [action, entry] : entries_) {
    if (seen.count(action) != 0) continue;
    stale.push_back(action);
    if (entry.item != nullptr) staleItems.insert(entry.item);
  }
  std::vector<TMenuItem*> doomed;
  for (QAction* action : stale) {
    Mirrored& entry = entries_[action];
    Withdraw(entry);
    TMenuItem* item = entry.item;
    if (item == nullptr) continue;
    item->SetPeer(nullptr);
    by_item_.erase(item);
    if (staleItems.count(item->Parent()) == 0) doomed.push_back(item);
  }
  for (QAction* action : stale) entries_.erase(action);
  for (TMenuItem* item : doomed) delete item;

  HandOverNewItems();
}

// Gives OnNewItem the items of actions that appeared since the first Sync.
void TQtMenuMirror::HandOverNewItems() {
  std::vector<TMenuItem*> made;
  made.swap(made_);
  const bool first = !synced_;
  synced_ = true;
  if (first || !OnNewItem) return;
  for (TMenuItem* item : made)
    if (ItemOf(ActionOf(*item)) == item) OnNewItem(*item);
}

// Mirrors `actions` into `parent` from position `index` on. An action met
// twice (the same QAction in two menus) is mirrored at its first place
// only: its state is the same in both.
void TQtMenuMirror::Place(const QList<QAction*>& actions, TMenuItem& parent, int& index,
                          std::unordered_set<QAction*>& seen) {
  for (QAction* shown : actions) {
    const auto standIn = host_of_.find(shown);
    QAction* action = standIn == host_of_.end() ? shown : standIn->second;
    if (action == nullptr || !seen.insert(action).second) continue;
    QMenu* sub = MenuOf(*action);
    QString name = action->objectName();
    if (name.isEmpty() && sub != nullptr) name = sub->objectName();
    if (name.isEmpty() && !action->isSeparator()) {
      WarnUnnamed(*action);
      if (sub != nullptr) Place(sub->actions(), parent, index, seen);
      continue;
    }
    TMenuItem& item = ItemFor(*action, name.toStdString());
    parent.Insert(index++, &item);
    item.SetCaption(action->isSeparator() ? std::string("-") : action->text().toStdString());
    if (sub != nullptr) {
      // Items left after the sub-menu's actions are stale; Sync removes them.
      int subIndex = 0;
      Place(sub->actions(), item, subIndex, seen);
    }
  }
}

// The item of `action`: the one it has when its name is unchanged,
// otherwise a new one. An entry left by a destroyed action whose address
// Qt has given to this one is not this action's.
TMenuItem& TQtMenuMirror::ItemFor(QAction& action, const std::string& name) {
  auto found = entries_.find(&action);
  if (found != entries_.end() && found->second.host == &action && found->second.item != nullptr &&
      found->second.item->Name() == name) {
    // A command the host has put into another widget since is shown there
    // by its stand-in too.
    if (found->second.standIn) Replace(action, *found->second.standIn);
    return *found->second.item;
  }
  if (found != entries_.end()) {
    // Renamed, or another action: a new item in its own right. The old one goes.
    Mirrored old = found->second;
    Withdraw(found->second);
    if (old.item != nullptr) {
      old.item->SetPeer(nullptr);
      by_item_.erase(old.item);
      delete old.item;
    }
    entries_.erase(found);
  }
  auto item = std::make_unique<TMenuItem>(&menu_);
  try {
    item->SetName(name);
  } catch (const EComponentError& error) {
    throw EComponentError("The action \"" + action.text().toStdString() + "\" cannot be guarded: " + error.Message());
  }
  item->SetEnabled(action.isEnabled());
  item->SetVisible(action.isVisible());
  Mirrored entry;
  entry.host = &action;
  entry.item = item.get();
  entry.savedEnabled = action.isEnabled();
  entry.savedVisible = action.isVisible();
  if (IsCommand(action)) {
    QPointer<QAction> host(&action);
    item->OnClick = [host](TObject&) {
      // Nothing would run: no command is recorded as run either.
      if (!host || !Triggerable(*host)) Abort();
      host->trigger();
    };
  }
  item->SetPeer(this);
  TMenuItem* raw = item.release();
  made_.push_back(raw);
  by_item_[raw] = &action;
  Mirrored& stored = entries_[&action] = entry;
  if (raw->OnClick) Present(stored);
  QObject::connect(&action, &QObject::destroyed, context_.get(), [this, key = &action] { Forget(key); });
  return *raw;
}

void TQtMenuMirror::WarnUnnamed(QAction& action) {
  if (!warned_.insert(&action).second) return;
  qWarning().noquote() << QString("qvd3: the action \"%1\" has no objectName; it is left out of the security "
                                  "catalogue and stays enabled for every user")
                              .arg(action.text());
}

// Puts a stand-in in every place of the host action and keeps it in step.
void TQtMenuMirror::Present(Mirrored& entry) {
  QAction* host = entry.host;
  if (host == nullptr || entry.standIn) return;
  auto* standIn = new QAction(context_.get());
  entry.standIn = standIn;
  host_of_[standIn] = host;
  Follow(entry);
  Replace(*host, *standIn);
  QObject::connect(standIn, &QAction::triggered, context_.get(), [this, host] { Choose(host); });
  QObject::connect(standIn, &QAction::hovered, host, [host] { host->hover(); });
  QObject::connect(host, &QAction::changed, standIn, [this, host] {
    auto found = entries_.find(host);
    if (found != entries_.end()) Follow(found->second);
  });
}

// Gives the host action its places back and drops the stand-in, which
// neither follows the host action nor chooses anything from then on.
void TQtMenuMirror::Withdraw(Mirrored& entry) {
  if (!entry.standIn) return;
  Rearranging rearranging(rearranging_);
  QAction* standIn = entry.standIn;
  entry.standIn = nullptr;
  host_of_.erase(standIn);
  if (entry.host) {
    Replace(*standIn, *entry.host);
    QObject::disconnect(entry.host, nullptr, standIn, nullptr);
  }
  QObject::disconnect(standIn, nullptr, context_.get(), nullptr);
  // Later: the stand-in may be the one whose triggered signal runs now.
  standIn->deleteLater();
}

// The stand-in takes the host action's look and state, gated by the item.
void TQtMenuMirror::Follow(const Mirrored& entry) {
  QAction* host = entry.host;
  QAction* standIn = entry.standIn;
  if (host == nullptr || standIn == nullptr) return;
  standIn->setObjectName(host->objectName());
  standIn->setText(host->text());
  standIn->setIconText(host->iconText());
  standIn->setIcon(host->icon());
  standIn->setToolTip(host->toolTip());
  standIn->setStatusTip(host->statusTip());
  standIn->setWhatsThis(host->whatsThis());
  standIn->setFont(host->font());
  standIn->setShortcuts(host->shortcuts());
  standIn->setShortcutContext(host->shortcutContext());
  standIn->setAutoRepeat(host->autoRepeat());
  standIn->setMenuRole(host->menuRole());
  standIn->setPriority(host->priority());
  standIn->setIconVisibleInMenu(host->isIconVisibleInMenu());
  standIn->setShortcutVisibleInContextMenu(host->isShortcutVisibleInContextMenu());
  standIn->setData(host->data());
  standIn->setCheckable(host->isCheckable());
  standIn->setChecked(host->isChecked());
  const bool itemEnabled = entry.item == nullptr || entry.item->Enabled();
  const bool itemVisible = entry.item == nullptr || entry.item->Visible();
  standIn->setEnabled(host->isEnabled() && itemEnabled);
  standIn->setVisible(host->isVisible() && itemVisible);
}

// The person chose a stand-in: the model decides. An error of the command
// goes to the error display; it must not cross Qt's event delivery. The
// command may destroy the mirror: then nothing of it is touched again.
void TQtMenuMirror::Choose(QAction* host) {
  auto found = entries_.find(host);
  if (found == entries_.end() || found->second.item == nullptr) return;
  const std::weak_ptr<bool> alive = alive_;
  ++busy_;
  try {
    found->second.item->ChooseByPerson();
  } catch (const std::exception& error) {
    if (alive.expired()) {
      try {
        Application.HandleException(error);
      } catch (const std::exception& failure) {
        qWarning().noquote() << "qvd3:" << failure.what();
      }
      return;
    }
    Report(error);
  }
  if (alive.expired()) return;
  --busy_;
  // The command may have re-synchronised the mirror.
  found = entries_.find(host);
  if (found != entries_.end()) Follow(found->second);
}

void TQtMenuMirror::Report(const std::exception& error) {
  try {
    if (OnError) OnError(error);
    else Application.HandleException(error);
  } catch (const std::exception& failure) {
    qWarning().noquote() << "qvd3:" << failure.what();
  }
}

// An action was added to `widget`, anywhere in the application. A host
// action that has a stand-in gets its stand-in there instead, in the same
// place, before the widget makes anything of it (the addition is
// swallowed). An action the mirror does not know, added to a menu or a
// menu bar, may be a new one of the bar: a Sync follows.
bool TQtMenuMirror::ActionAdded(QWidget& widget, QAction* action, QAction* before) {
  if (rearranging_ > 0 || action == nullptr) return false;
  const auto found = entries_.find(action);
  if (found == entries_.end() || found->second.host != action) {
    if (host_of_.count(action) == 0 && (qobject_cast<QMenu*>(&widget) || qobject_cast<QMenuBar*>(&widget)))
      SyncLater();
    return false;
  }
  QAction* standIn = found->second.standIn;
  if (standIn == nullptr) return false;
  Rearranging rearranging(rearranging_);
  swapping_ = action;
  widget.removeAction(action);
  swapping_ = nullptr;
  auto* button = qobject_cast<QToolButton*>(&widget);
  if (button != nullptr && button->defaultAction() == action) {
    button->setDefaultAction(standIn);
    // setDefaultAction(action) goes on to copy the host action's state
    // into the button; the stand-in's (gated by the model) follows.
    QMetaObject::invokeMethod(
        button, [button, standIn = QPointer<QAction>(standIn)] {
          if (standIn && button->defaultAction() == standIn) button->setEnabled(standIn->isEnabled());
        },
        Qt::QueuedConnection);
  } else {
    widget.insertAction(before, standIn);
  }
  return true;
}

// Once per turn of the event loop, however many actions were added.
void TQtMenuMirror::SyncLater() {
  if (syncPending_) return;
  syncPending_ = true;
  QMetaObject::invokeMethod(
      context_.get(),
      [this] {
        syncPending_ = false;
        try {
          Sync();
        } catch (const std::exception& error) {
          Report(error);
        }
      },
      Qt::QueuedConnection);
}

void TQtMenuMirror::Forget(QAction* host) {
  auto found = entries_.find(host);
  if (found == entries_.end()) return;
  if (QAction* standIn = found->second.standIn) {
    Rearranging rearranging(rearranging_);
    // Out of the widgets now, so that no walk takes it for a host action;
    // deleted later, since it may be the action whose command ran.
    host_of_.erase(standIn);
    for (QWidget* widget : HoldersOf(*standIn)) widget->removeAction(standIn);
    standIn->deleteLater();
  }
  found->second.standIn = nullptr;
  found->second.host = nullptr;
}

void TQtMenuMirror::RestoreStates() {
  for (auto& [action, entry] : entries_) {
    if (!entry.host) continue;
    entry.host->setEnabled(entry.savedEnabled);
    entry.host->setVisible(entry.savedVisible);
  }
}

QAction* TQtMenuMirror::ActionOf(const TMenuItem& item) const {
  auto found = by_item_.find(&item);
  return found == by_item_.end() ? nullptr : found->second;
}

TMenuItem* TQtMenuMirror::ItemOf(const QAction* action) const {
  auto found = entries_.find(const_cast<QAction*>(action));
  return found == entries_.end() ? nullptr : found->second.item;
}

// What the model does to an item reaches the host action; the stand-in
// follows through the action's changed signal, and is gated again here for
// a state the action already had.
void TQtMenuMirror::Changed(TComponent& component, TChange what) {
  if (what != chEnabled && what != chVisible) return;
  auto found = by_item_.find(&component);
  if (found == by_item_.end()) return;
  Mirrored& entry = entries_[found->second];
  if (!entry.host) return;
  if (what == chEnabled) entry.host->setEnabled(entry.item->Enabled());
  else entry.host->setVisible(entry.item->Visible());
  Follow(entry);
}

void TQtMenuMirror::Destroying(TComponent& component) {
  auto found = by_item_.find(&component);
  if (found == by_item_.end()) return;
  auto entry = entries_.find(found->second);
  if (entry != entries_.end()) entry->second.item = nullptr;
  by_item_.erase(found);
}

}  // namespace qv
