#include "qvd3/platform/ui/form.h"

#include "qvd3/platform/ui/application.h"
#include "qvd3/platform/ui/code_points.h"
#include "qvd3/platform/ui/menus.h"
#include "qvd3/platform/ui/standard_controls.h"

namespace qv {

namespace {

// Visits `root`'s child controls depth first in placement order; stops and
// returns the first control for which `fn` returns true.
template <class Fn>
TControl* FindDeep(const TWinControl& root, Fn fn) {
  for (int i = 0; i < root.ControlCount(); ++i) {
    TControl* c = root.Controls(i);
    if (fn(c)) return c;
    if (auto* container = dynamic_cast<TWinControl*>(c))
      if (TControl* found = FindDeep(*container, fn)) return found;
  }
  return nullptr;
}

}  // namespace

TForm::TForm(TComponent* owner) : TWinControl(owner) {}

TForm::~TForm() {
  Destroying();
  if (showing_) EndShowing(false);
  if (Application.MainForm() == this) Application.main_form_ = nullptr;
  focused_ = nullptr;
  entered_ = nullptr;
  DestroyComponents();
  while (ControlCount() > 0) delete Controls(ControlCount() - 1);
}

void TForm::Destroying() {
  if (destroy_event_done_) return;
  destroy_event_done_ = true;
  if (OnDestroy) OnDestroy(*this);
}

void TForm::SetMenu(TMainMenu* menu) {
  if (menu == menu_) return;
  if (menu_ != nullptr) RemoveFreeNotification(menu_);
  menu_ = menu;
  if (menu_ != nullptr) FreeNotification(menu_);
  NotifyPeer(chAppearance);
}

void TForm::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation == opRemove && component == menu_) menu_ = nullptr;
}

void TForm::SetActiveControl(TControl* control) {
  if (control != nullptr) {
    control->SetFocus();
    return;
  }
  if (showing_) {
    ChangeFocus(nullptr);
  } else {
    focused_ = nullptr;
    NotifyPeer(chFocus);
  }
}

namespace {

// One step up the chain of containers that take part in focus events: the
// parent, or nullptr once the form is reached.
TControl* UpOne(const TControl* c) {
  TWinControl* parent = c->Parent();
  if (parent == nullptr || dynamic_cast<TForm*>(parent) != nullptr) return nullptr;
  return parent;
}

}  // namespace

// Moves the focus to `target`. ActiveControl names the target before any
// handler runs. First OnExit runs for `entered_` and each container around
// it that does not also contain the target (innermost first), then OnEnter
// for each container around the target that was not entered yet (outermost
// first) and the target itself. A handler that moves the focus elsewhere
// starts a new change; this one then stops at once, so an OnExit that puts
// the focus back on the control being left ends with the focus there (and
// its OnEnter run again), never on the abandoned target and never looping.
void TForm::ChangeFocus(TControl* target) {
  if (focused_ == target && entered_ == target) return;
  focused_ = target;
  const unsigned mark = ++focus_changes_;
  NotifyPeer(chFocus);
  while (entered_ != nullptr && !entered_->ContainsControl(target)) {
    TControl* leaving = entered_;
    entered_ = UpOne(leaving);
    leaving->FocusChanging(false);
    if (focus_changes_ != mark) return;
    if (leaving->OnExit) leaving->OnExit(*leaving);
    if (focus_changes_ != mark) return;
  }
  while (target != nullptr && entered_ != target) {
    TControl* next = target;
    while (UpOne(next) != entered_) next = UpOne(next);
    entered_ = next;
    next->FocusChanging(true);
    if (focus_changes_ != mark) return;
    if (next->OnEnter) next->OnEnter(*next);
    if (focus_changes_ != mark) return;
  }
}

// A control inside this form is leaving it (destroyed or re-parented): the
// focus pointers must not keep it.
void TForm::ControlDestroyed(TControl* control) {
  if (focused_ != nullptr && control->ContainsControl(focused_)) {
    focused_ = nullptr;
    NotifyPeer(chFocus);
  }
  if (entered_ != nullptr && control->ContainsControl(entered_)) entered_ = UpOne(control);
}

TControl* TForm::FindNextControl(TControl* current, bool forward, bool checkTabStop) const {
  std::vector<TControl*> list = TabOrderList();
  const int n = static_cast<int>(list.size());
  if (n == 0) return nullptr;
  int i = -1;
  for (int k = 0; k < n; ++k)
    if (list[static_cast<std::size_t>(k)] == current) i = k;
  if (i < 0) i = forward ? n - 1 : 0;
  for (int step = 0; step < n; ++step) {
    i = forward ? (i + 1) % n : (i + n - 1) % n;
    TControl* c = list[static_cast<std::size_t>(i)];
    if (c->CanFocus() && (!checkTabStop || c->TabStop())) return c;
  }
  return nullptr;
}

TControl* TForm::SelectNext(TControl* current, bool forward, bool checkTabStop) {
  TControl* next = FindNextControl(current, forward, checkTabStop);
  if (next != nullptr) next->SetFocus();
  return next;
}

void TForm::SetModalResult(TModalResult result) {
  modal_result_ = result;
  close_accepted_ = false;
  if (result != mrNone) NotifyPeer(chModalResult);
}

bool TForm::ModalEnded() {
  if (!showing_ || close_accepted_) return true;
  if (modal_result_ == mrNone) return false;
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(*this, canClose);
  if (!canClose) {
    modal_result_ = mrNone;
    return false;
  }
  close_accepted_ = true;
  return true;
}

void TForm::BeginShowing(bool modal) {
  modal_result_ = mrNone;
  close_accepted_ = false;
  showing_ = true;
  modal_ = modal;
  Screen.Push(this);
  NotifyPeer(chVisible);
}

void TForm::EndShowing(bool runDeactivate) {
  showing_ = false;
  modal_ = false;
  Screen.Pop(this);
  NotifyPeer(chVisible);
  if (runDeactivate && OnDeactivate) OnDeactivate(*this);
}

// The focus a showing starts with: the recorded ActiveControl when it can
// still take the focus, else the first control in tab order.
void TForm::GiveInitialFocus() {
  TControl* target = (focused_ != nullptr && focused_->CanFocus()) ? focused_ : FindNextControl(nullptr, true, true);
  ChangeFocus(target);
}

TModalResult TForm::ShowModal() {
  if (showing_) throw EInvalidOperation("Cannot make a visible window modal");
  TBackend& backend = Application.RequireBackend();
  TForm* previous = Screen.ActiveForm();
  BeginShowing(true);
  TModalResult result = mrNone;
  try {
    GiveInitialFocus();
    if (OnActivate) OnActivate(*this);
    if (!ModalEnded()) backend.RunModal(*this);
    if (!ModalEnded()) {
      // The backend gave up on the showing without a result: the window
      // was taken away, which counts as cancelling it.
      modal_result_ = mrCancel;
      close_accepted_ = true;
    }
    result = modal_result_;
  } catch (...) {
    if (showing_) EndShowing(false);
    throw;
  }
  EndShowing(true);
  if (previous != nullptr && previous->Showing() && previous != this) previous->Reactivate();
  return result;
}

void TForm::Reactivate() {
  if (showing_ && OnActivate) OnActivate(*this);
}

void TForm::ShowAsMainForm() {
  if (showing_) throw EInvalidOperation("The form is already showing");
  BeginShowing(false);
  GiveInitialFocus();
  if (OnActivate) OnActivate(*this);
}

void TForm::HideMainForm() {
  if (showing_ && !modal_) EndShowing(true);
}

void TForm::Close() {
  if (!showing_) return;
  if (modal_) {
    SetModalResult(mrCancel);
    return;
  }
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(*this, canClose);
  if (!canClose) return;
  HideMainForm();
  if (Application.MainForm() == this) Application.Terminate();
}

// ---- keys ----

bool TForm::KeyDown(Word key, TShiftState shift) {
  if ((key_preview_ || focused_ == nullptr) && OnKeyDown) {
    OnKeyDown(*this, key, shift);
    if (key == 0) return true;
  }
  if (TControl* target = focused_) {
    if (target->OnKeyDown) {
      target->OnKeyDown(*target, key, shift);
      if (key == 0) return true;
    }
    if (focused_ == target) {
      target->DoKeyDown(key, shift);
      if (key == 0) return true;
    }
  }
  const bool alt = shift.Contains(ssAlt), ctrl = shift.Contains(ssCtrl), shifted = shift.Contains(ssShift);
  if (key == VK_TAB && !alt && !ctrl) {
    SelectNext(focused_, !shifted, true);
    return true;
  }
  if ((key == VK_RETURN || key == VK_ESCAPE) && !alt && !ctrl && !shifted) return PressButtonFor(key);
  if (alt && !ctrl && ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))) return RunAccelerator(key);
  return false;
}

// Enter presses the Default button, Esc the Cancel button (a focused button
// has already taken Enter itself).
bool TForm::PressButtonFor(Word key) {
  TControl* found = FindDeep(*this, [key](TControl* c) {
    auto* button = dynamic_cast<TButton*>(c);
    return button != nullptr && (key == VK_ESCAPE ? button->Cancel() : button->Default()) && button->CanFocus();
  });
  if (found == nullptr) return false;
  found->Click();
  return true;
}

// The first usable control, depth first in placement order, that claims
// the accelerator acts on it.
bool TForm::RunAccelerator(char32_t upper) {
  TControl* found = FindDeep(*this, [upper](TControl* c) { return c->Usable() && c->DoAccelerator(upper); });
  return found != nullptr;
}

void TForm::KeyPress(char32_t ch) {
  if ((key_preview_ || focused_ == nullptr) && OnKeyPress) {
    OnKeyPress(*this, ch);
    if (ch == 0) return;
  }
  if (focused_ != nullptr) focused_->DoKeyPress(ch);
}

void TForm::TypeText(const std::string& text) {
  std::u32string chars = ui_detail::ToCodePoints(text);
  for (char32_t ch : chars)
    if (ch < 32 || ch == 127) throw EInvalidOperation("Control characters are keys, not text: use KeyDown");
  for (char32_t ch : chars) KeyPress(ch);
}

void ReadForm(TForm& form, const std::function<void()>& build) {
  ReadComponent(form, build);
  if (form.OnCreate) form.OnCreate(form);
}

}  // namespace qv
