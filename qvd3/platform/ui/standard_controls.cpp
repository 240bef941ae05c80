#include "qvd3/platform/ui/standard_controls.h"

#include <algorithm>

#include "qvd3/platform/ui/code_points.h"
#include "qvd3/platform/ui/form.h"

namespace qv {

using ui_detail::ToCodePoints;
using ui_detail::ToUtf8;

// ---- TStrings ----

void TStrings::Check(int index) const {
  if (index < 0 || index >= Count())
    throw ERangeError("List index out of bounds (" + std::to_string(index) + ")");
}

const std::string& TStrings::operator[](int index) const {
  Check(index);
  return items_[static_cast<std::size_t>(index)];
}

int TStrings::Add(const std::string& text) {
  items_.push_back(text);
  if (changed_) changed_();
  return Count() - 1;
}

void TStrings::Insert(int index, const std::string& text) {
  if (index < 0 || index > Count())
    throw ERangeError("List index out of bounds (" + std::to_string(index) + ")");
  items_.insert(items_.begin() + index, text);
  if (changed_) changed_();
}

void TStrings::Delete(int index) {
  Check(index);
  items_.erase(items_.begin() + index);
  if (changed_) changed_();
}

void TStrings::Clear() {
  if (items_.empty()) return;
  items_.clear();
  if (changed_) changed_();
}

int TStrings::IndexOf(const std::string& text) const {
  auto it = std::find(items_.begin(), items_.end(), text);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TStrings::Assign(const std::vector<std::string>& texts) {
  items_ = texts;
  if (changed_) changed_();
}

// ---- TPanel ----

TPanel::TPanel(TComponent* owner) : TWinControl(owner) {}

int TPanel::FrameWidth() const {
  return (bevel_outer_ != bvNone ? bevel_width_ : 0) + (bevel_inner_ != bvNone ? bevel_width_ : 0);
}

// ---- TLabel ----

void TLabel::SetFocusControl(TControl* control) {
  if (control == focus_control_) return;
  if (focus_control_ != nullptr) RemoveFreeNotification(focus_control_);
  focus_control_ = control;
  if (focus_control_ != nullptr) FreeNotification(focus_control_);
}

void TLabel::Notification(TComponent* component, TOperation operation) {
  TControl::Notification(component, operation);
  if (operation == opRemove && component == focus_control_) focus_control_ = nullptr;
}

bool TLabel::DoAccelerator(char32_t upper) {
  if (!show_accel_char_ || focus_control_ == nullptr || GetHotkey(Caption()) != upper) return false;
  if (!focus_control_->CanFocus()) return false;
  focus_control_->SetFocus();
  return true;
}

// ---- TEdit ----

TEdit::TEdit(TComponent* owner) : TControl(owner) { SetTabStop(true); }

void TEdit::SetText(const std::string& text) {
  if (text == Text()) return;
  StoreText(text);
  sel_start_ = static_cast<int>(ToCodePoints(text).size());
  sel_length_ = 0;
  NotifyPeer(chSelection);
  TextChanged();
}

void TEdit::StoreText(const std::string& text) { TControl::SetText(text); }

void TEdit::TextChanged() {
  if (OnChange && !Loading()) OnChange(*this);
}

void TEdit::SetSelStart(int start) {
  int length = static_cast<int>(ToCodePoints(Text()).size());
  sel_start_ = std::clamp(start, 0, length);
  sel_length_ = 0;
  NotifyPeer(chSelection);
}

void TEdit::SetSelLength(int length) {
  int total = static_cast<int>(ToCodePoints(Text()).size());
  sel_length_ = std::clamp(length, 0, total - sel_start_);
  NotifyPeer(chSelection);
}

void TEdit::SelectAll() {
  sel_start_ = 0;
  sel_length_ = static_cast<int>(ToCodePoints(Text()).size());
  NotifyPeer(chSelection);
}

std::string TEdit::SelText() const {
  std::u32string chars = ToCodePoints(Text());
  return ToUtf8(std::u32string_view(chars).substr(static_cast<std::size_t>(sel_start_),
                                                  static_cast<std::size_t>(sel_length_)));
}

void TEdit::SetSelText(const std::string& text) { ReplaceSelection(ToCodePoints(text), false); }

bool TEdit::BeginPersonEdit() { return !read_only_; }

// Puts `with` in place of the selection. With `limited` (typing), what
// would pass the length limit is refused: as much of `with` as fits goes
// in, the rest is dropped.
void TEdit::ReplaceSelection(const std::u32string& with, bool limited) {
  std::u32string chars = ToCodePoints(Text());
  std::u32string insert = with;
  int limit = EffectiveMaxLength();
  if (limited && limit > 0) {
    int room = limit - (static_cast<int>(chars.size()) - sel_length_);
    if (room <= 0) return;
    if (static_cast<int>(insert.size()) > room) insert.resize(static_cast<std::size_t>(room));
  }
  chars.replace(static_cast<std::size_t>(sel_start_), static_cast<std::size_t>(sel_length_), insert);
  sel_start_ += static_cast<int>(insert.size());
  sel_length_ = 0;
  StoreText(ToUtf8(chars));
  NotifyPeer(chSelection);
  TextChanged();
}

void TEdit::DoKeyPress(char32_t ch) {
  if (ch < 32 || !BeginPersonEdit()) return;
  ReplaceSelection(std::u32string(1, ch), true);
}

void TEdit::DoKeyDown(Word& key, TShiftState shift) {
  (void)shift;
  const int length = static_cast<int>(ToCodePoints(Text()).size());
  switch (key) {
    case VK_LEFT:
      SetSelStart(sel_length_ > 0 ? sel_start_ : sel_start_ - 1);
      break;
    case VK_RIGHT:
      SetSelStart(sel_length_ > 0 ? sel_start_ + sel_length_ : sel_start_ + 1);
      break;
    case VK_HOME:
      SetSelStart(0);
      break;
    case VK_END:
      SetSelStart(length);
      break;
    case VK_BACK:
    case VK_DELETE:
      if (!BeginPersonEdit()) break;
      if (sel_length_ == 0) {
        if (key == VK_BACK && sel_start_ > 0) {
          --sel_start_;
          sel_length_ = 1;
        } else if (key == VK_DELETE && sel_start_ < length) {
          sel_length_ = 1;
        }
      }
      if (sel_length_ > 0) ReplaceSelection(U"", false);
      break;
    default:
      return;
  }
  key = 0;
}

// ---- TButton ----

TButton::TButton(TComponent* owner) : TControl(owner) { SetTabStop(true); }

void TButton::Click() {
  TControl::Click();
  if (modal_result_ == mrNone) return;
  if (TForm* form = ParentForm()) form->SetModalResult(modal_result_);
}

void TButton::DoKeyDown(Word& key, TShiftState shift) {
  if ((key == VK_RETURN || key == VK_SPACE) && shift.Empty()) {
    key = 0;
    Click();
  }
}

bool TButton::DoAccelerator(char32_t upper) {
  if (GetHotkey(Caption()) != upper || !CanFocus()) return false;
  Click();
  return true;
}

// ---- TSpeedButton, TToolBar ----

void TSpeedButton::ClickByPerson() {
  if (Usable()) Click();
}

TToolBar::TToolBar(TComponent* owner) : TWinControl(owner) {}

// ---- TCheckBox ----

TCheckBox::TCheckBox(TComponent* owner) : TControl(owner) { SetTabStop(true); }

void TCheckBox::SetChecked(bool value) {
  if (value == checked_) return;
  StoreChecked(value);
  StateChanged();
}

void TCheckBox::StateChanged() {
  if (!Loading()) Click();
}

void TCheckBox::ClickByPerson() {
  if (FocusForPerson()) SetChecked(!checked_);
}

void TCheckBox::DoKeyDown(Word& key, TShiftState shift) {
  if (key == VK_SPACE && shift.Empty()) {
    key = 0;
    SetChecked(!checked_);
  }
}

bool TCheckBox::DoAccelerator(char32_t upper) {
  if (GetHotkey(Caption()) != upper || !CanFocus()) return false;
  if (FocusForPerson()) SetChecked(!checked_);
  return true;
}

// ---- TRadioGroup ----

TRadioGroup::TRadioGroup(TComponent* owner)
    : TControl(owner), items_([this] {
        if (item_index_ >= items_.Count()) item_index_ = -1;
        NotifyPeer(chItems);
        ItemsChanged();
      }) {
  SetTabStop(true);
}

void TRadioGroup::SetItemIndex(int index) {
  if (index < -1 || index >= items_.Count())
    throw ERangeError("Radio item index out of bounds (" + std::to_string(index) + ")");
  if (index == item_index_) return;
  StoreItemIndex(index);
  IndexChanged();
}

void TRadioGroup::IndexChanged() {
  if (!Loading()) Click();
}

void TRadioGroup::ChooseByPerson(int index) {
  if (index < 0 || index >= items_.Count())
    throw ERangeError("Radio item index out of bounds (" + std::to_string(index) + ")");
  if (FocusForPerson()) SetItemIndex(index);
}

void TRadioGroup::DoKeyDown(Word& key, TShiftState shift) {
  (void)shift;
  if (items_.Count() == 0) return;
  if (key == VK_DOWN || key == VK_RIGHT) {
    SetItemIndex(std::min(item_index_ + 1, items_.Count() - 1));
    key = 0;
  } else if (key == VK_UP || key == VK_LEFT) {
    SetItemIndex(std::max(item_index_ - 1, 0));
    key = 0;
  }
}

}  // namespace qv
