// Menus: a form's main menu and its items. A menu item is known by its
// component Name (unique within its owner); its Caption may hold an "&"
// accelerator, and a Caption of "-" makes it a separator line.
//
// Items are components owned like any other (usually by the form) and
// linked into the menu tree with Add / Insert. Destroying an item destroys
// its sub-items and takes it out of its parent.
#pragma once

#include <string>
#include <vector>

#include "qvd3/platform/ui/component.h"

namespace qv {

class TMainMenu;

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  bool IsLine() const { return caption_ == "-"; }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  bool Checked() const { return checked_; }
  void SetChecked(bool v);
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint) { hint_ = hint; }

  // The sub-items in menu order.
  int Count() const { return static_cast<int>(items_.size()); }
  // Raises ERangeError outside 0..Count-1.
  TMenuItem* Items(int index) const;
  TMenuItem* operator[](int index) const { return Items(index); }
  // Appends `item` (taking it out of a previous parent). Raises
  // EInvalidOperation for an item inserted into itself or its own subtree.
  void Add(TMenuItem* item);
  // Inserts `item` at `index` (0..Count).
  void Insert(int index, TMenuItem* item);
  // Takes `item` out of the sub-items without destroying it.
  void Remove(TMenuItem* item);
  // Position of `item` among the sub-items, or -1.
  int IndexOf(const TMenuItem* item) const;
  // Position of this item in its parent, or -1.
  int MenuIndex() const;
  // The item this one is a sub-item of; the menu's root item for top-level
  // items; nullptr for a root or an unattached item.
  TMenuItem* Parent() const { return parent_; }
  // The main menu this item belongs to, or nullptr.
  TMainMenu* Menu() const;

  // The command; readable, storable and replaceable. "Has a click handler"
  // means this function is set.
  TNotifyEvent OnClick;
  // Runs OnClick with the item as sender, when it is set and the item is
  // enabled.
  void Click();
  // The person chose the item: it runs only when the item and all its
  // parents are enabled and visible. Returns whether the item could be chosen.
  bool ChooseByPerson();

 private:
  friend class TMainMenu;
  void Changed(TChange what);
  std::string caption_;
  std::string hint_;
  bool enabled_ = true;
  bool visible_ = true;
  bool checked_ = false;
  TMenuItem* parent_ = nullptr;
  TMainMenu* menu_ = nullptr;  // set on the root item only
  std::vector<TMenuItem*> items_;
};

class TMainMenu : public TComponent {
 public:
  explicit TMainMenu(TComponent* owner);
  ~TMainMenu() override;
  // The root item: its sub-items are the top-level items of the menu bar.
  TMenuItem* Items() const { return root_; }
  // The item with this Name anywhere in the menu (letter case ignored), or
  // nullptr.
  TMenuItem* FindItem(std::string_view name) const;

 private:
  friend class TMenuItem;
  TMenuItem* root_;
};

}  // namespace qv
