#include "qvd3/platform/ui/menus.h"

#include <algorithm>

#include "qvd3/platform/sys/text_case.h"

namespace qv {

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TMenuItem::~TMenuItem() {
  // Sub-items go with their item, whoever owns them.
  while (!items_.empty()) delete items_.back();
  if (parent_ != nullptr) parent_->Remove(this);
}

void TMenuItem::Changed(TChange what) {
  NotifyPeer(what);
  // The menu's peer mirrors the whole bar; tell it too.
  if (TMainMenu* menu = Menu()) menu->NotifyPeer(chItems);
}

void TMenuItem::SetCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  Changed(chCaption);
}

void TMenuItem::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Changed(chEnabled);
}

void TMenuItem::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  Changed(chVisible);
}

void TMenuItem::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  Changed(chChecked);
}

TMenuItem* TMenuItem::Items(int index) const {
  if (index < 0 || index >= Count())
    throw ERangeError("Menu index out of bounds (" + std::to_string(index) + ")");
  return items_[static_cast<std::size_t>(index)];
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (item == nullptr) throw EInvalidOperation("Cannot insert an empty menu item");
  for (const TMenuItem* p = this; p != nullptr; p = p->parent_)
    if (p == item) throw EInvalidOperation("A menu item cannot be inserted into itself");
  if (item->parent_ != nullptr) item->parent_->Remove(item);
  if (index < 0 || index > Count())
    throw ERangeError("Menu index out of bounds (" + std::to_string(index) + ")");
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
  Changed(chItems);
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  items_.erase(it);
  item->parent_ = nullptr;
  Changed(chItems);
}

int TMenuItem::IndexOf(const TMenuItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

int TMenuItem::MenuIndex() const { return parent_ == nullptr ? -1 : parent_->IndexOf(this); }

TMainMenu* TMenuItem::Menu() const {
  const TMenuItem* root = this;
  while (root->parent_ != nullptr) root = root->parent_;
  return root->menu_;
}

void TMenuItem::Click() {
  if (enabled_ && OnClick) OnClick(*this);
}

bool TMenuItem::ChooseByPerson() {
  for (const TMenuItem* p = this; p != nullptr && p->menu_ == nullptr; p = p->parent_)
    if (!p->enabled_ || !p->visible_ || p->IsLine()) return false;
  Click();
  return true;
}

TMainMenu::TMainMenu(TComponent* owner) : TComponent(owner), root_(new TMenuItem(this)) { root_->menu_ = this; }

TMainMenu::~TMainMenu() {
  // The root is owned by this menu; destroy it (and with it every item
  // still attached) while the menu is whole.
  delete root_;
}

namespace {
TMenuItem* FindIn(TMenuItem* item, std::string_view name) {
  for (int i = 0; i < item->Count(); ++i) {
    TMenuItem* child = item->Items(i);
    if (SameText(child->Name(), name)) return child;
    if (TMenuItem* found = FindIn(child, name)) return found;
  }
  return nullptr;
}
}  // namespace

TMenuItem* TMainMenu::FindItem(std::string_view name) const {
  if (name.empty()) return nullptr;
  return FindIn(root_, name);
}

}  // namespace qv
