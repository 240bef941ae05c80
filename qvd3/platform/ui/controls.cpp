#include "qvd3/platform/ui/controls.h"

#include <algorithm>

#include "qvd3/platform/ui/code_points.h"
#include "qvd3/platform/ui/form.h"

namespace qv {

using ui_detail::ToCodePoints;
using ui_detail::UpperCase;

TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::~TControl() {
  // Leaving the parent also makes the form forget the control if it held
  // the focus.
  if (parent_ != nullptr) SetParent(nullptr);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent != nullptr && (parent == this || ContainsControl(parent)))
    throw EInvalidOperation("A control cannot be its own parent");
  if (parent_ != nullptr) {
    if (TForm* form = ParentForm()) form->ControlDestroyed(this);
    TWinControl* old = parent_;
    auto& list = old->controls_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    parent_ = nullptr;
    old->NotifyPeer(chChildren);
    if (align_ != alNone) old->Realign();
  }
  if (parent != nullptr) {
    if (!tab_order_set_) tab_order_ = parent->ControlCount();
    parent->controls_.push_back(this);
    parent_ = parent;
    parent->NotifyPeer(chChildren);
    if (align_ != alNone) parent->Realign();
  }
}

TForm* TControl::ParentForm() {
  for (TControl* c = this; c != nullptr; c = c->parent_)
    if (auto* form = dynamic_cast<TForm*>(c)) return form;
  return nullptr;
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  bool resized = width != width_ || height != height_;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  NotifyPeer(chBounds);
  if (resized)
    if (auto* self = dynamic_cast<TWinControl*>(this)) self->Realign();
  if (align_ != alNone && parent_ != nullptr) parent_->Realign();
}

void TControl::SetAlign(TAlign align) {
  if (align == align_) return;
  align_ = align;
  NotifyPeer(chBounds);
  if (parent_ != nullptr) parent_->Realign();
}

void TControl::SetText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  NotifyPeer(chCaption);
}

void TControl::SetHint(const std::string& hint) {
  if (hint == hint_) return;
  hint_ = hint;
  NotifyPeer(chHint);
}

// A control that stops being usable while it (or something inside it) has
// the focus gives the focus up, as the framework does: the form is left
// without a focused control until the person or the code picks one.
static void DropFocusIfUnusable(TControl& control) {
  TForm* form = control.ParentForm();
  if (form == nullptr || form == &control || !form->Showing()) return;
  TControl* focused = form->ActiveControl();
  if (focused != nullptr && control.ContainsControl(focused) && !focused->CanFocus())
    form->SetActiveControl(nullptr);
}

void TControl::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  NotifyPeer(chEnabled);
  if (!value) DropFocusIfUnusable(*this);
}

void TControl::SetVisible(bool value) {
  if (value == visible_) return;
  visible_ = value;
  NotifyPeer(chVisible);
  if (parent_ != nullptr && align_ != alNone) parent_->Realign();
  if (!value) DropFocusIfUnusable(*this);
}

void TControl::SetTabOrder(int value) {
  tab_order_ = value;
  tab_order_set_ = true;
}

bool TControl::Usable() const {
  for (const TControl* c = this; c != nullptr; c = c->parent_) {
    if (dynamic_cast<const TForm*>(c) != nullptr) return true;
    if (!c->visible_ || !c->enabled_) return false;
  }
  return false;
}

bool TControl::CanFocus() const { return AcceptsFocus() && Usable(); }

void TControl::SetFocus() {
  TForm* form = ParentForm();
  if (form == nullptr || form == this || !CanFocus())
    throw EInvalidOperation("Cannot focus a disabled or invisible window");
  if (form->Showing()) {
    form->ChangeFocus(this);
  } else {
    form->focused_ = this;
    form->NotifyPeer(chFocus);
  }
}

bool TControl::Focused() const {
  auto* self = const_cast<TControl*>(this);
  TForm* form = self->ParentForm();
  return form != nullptr && form != this && form->ActiveControl() == this;
}

bool TControl::ContainsControl(const TControl* control) const {
  for (const TControl* c = control; c != nullptr; c = c->parent_)
    if (c == this) return true;
  return false;
}

void TControl::Click() {
  if (OnClick) OnClick(*this);
}

bool TControl::FocusForPerson() {
  if (!Usable()) return false;
  if (!AcceptsFocus()) return true;
  TForm* form = ParentForm();
  if (form == nullptr || !form->Showing()) return true;
  SetFocus();
  if (form->Modal() && form->ModalResult() != mrNone) return false;
  return Focused();
}

void TControl::ClickByPerson() {
  if (FocusForPerson()) Click();
}

// ---- TWinControl ----

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  while (!controls_.empty()) delete controls_.back();
}

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount())
    throw ERangeError("List index out of bounds (" + std::to_string(index) + ")");
  return controls_[static_cast<std::size_t>(index)];
}

void TWinControl::Realign() {
  if (realigning_ || Destroying()) return;
  realigning_ = true;
  int inset = BorderWidth() + FrameWidth();
  int left = inset, top = inset + TopInset(), right = Width() - inset, bottom = Height() - inset;
  auto place = [&](TAlign which) {
    for (TControl* c : controls_) {
      if (c->Align() != which || !c->Visible()) continue;
      switch (which) {
        case alTop:
          c->SetBounds(left, top, std::max(0, right - left), c->Height());
          top += c->Height();
          break;
        case alBottom:
          c->SetBounds(left, bottom - c->Height(), std::max(0, right - left), c->Height());
          bottom -= c->Height();
          break;
        case alLeft:
          c->SetBounds(left, top, c->Width(), std::max(0, bottom - top));
          left += c->Width();
          break;
        case alRight:
          c->SetBounds(right - c->Width(), top, c->Width(), std::max(0, bottom - top));
          right -= c->Width();
          break;
        case alClient:
          c->SetBounds(left, top, std::max(0, right - left), std::max(0, bottom - top));
          break;
        case alNone:
          break;
      }
    }
  };
  place(alTop);
  place(alBottom);
  place(alLeft);
  place(alRight);
  place(alClient);
  realigning_ = false;
}

std::vector<TControl*> TWinControl::TabOrderList() const {
  std::vector<TControl*> ordered(controls_.begin(), controls_.end());
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const TControl* a, const TControl* b) { return a->TabOrder() < b->TabOrder(); });
  std::vector<TControl*> out;
  for (TControl* c : ordered) {
    if (c->AcceptsFocus()) out.push_back(c);
    if (auto* container = dynamic_cast<TWinControl*>(c)) {
      auto inner = container->TabOrderList();
      out.insert(out.end(), inner.begin(), inner.end());
    }
  }
  return out;
}

// ---- accelerators ----

char32_t GetHotkey(const std::string& caption) {
  std::u32string text = ToCodePoints(caption);
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != U'&') continue;
    if (text[i + 1] == U'&') {
      ++i;
      continue;
    }
    return UpperCase(text[i + 1]);
  }
  return 0;
}

std::string StripHotkey(const std::string& caption) {
  std::string out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        out.push_back('&');
        ++i;
      }
      continue;
    }
    out.push_back(caption[i]);
  }
  return out;
}

}  // namespace qv
