// TForm: a window. A form owns and parents its controls, keeps the keyboard
// focus among them, routes the person's keys, and can be shown modally.
//
// Showing modally (ShowModal):
//   1. the modal result is reset to 0 and the form becomes visible and the
//      active form of the screen;
//   2. the focus goes to ActiveControl when it can take it, else to the
//      first control in tab order (with OnExit/OnEnter as for any move);
//   3. OnActivate runs;
//   4. the backend delivers the person's actions until a non-zero modal
//      result is accepted by OnCloseQuery (a refusal resets it to 0);
//   5. the form hides, OnDeactivate runs, and ShowModal returns the result.
// While a dialog or message box opened from the form is shown, the form
// stays the one that will be activated again: when the nested window
// closes, OnActivate runs again. OnDeactivate runs only when the form's
// showing ends, so settings taken back there stay in force while nested
// dialogs are up.
//
// Keys (KeyDown), in this order:
//   - with KeyPreview (or when no control is focused), OnKeyDown sees every
//     key first, Enter on a button included; setting key to 0 consumes it;
//   - the focused control's OnKeyDown, then its own handling (an edit
//     moves the caret, a check box toggles on Space...);
//   - Tab / Shift+Tab move to the next / previous control in tab order,
//     wrapping; Enter presses the focused button, or else the Default
//     button; Esc presses the Cancel button; Alt+letter runs the
//     accelerator: a label focuses its FocusControl, a button is pressed, a
//     check box is focused and toggled, a page control shows the page.
// A button is pressed by Click(): its OnClick runs, then its ModalResult (if
// non-zero) is given to the form, which ends a modal showing.
#pragma once

#include <functional>
#include <string>

#include "qvd3/platform/ui/controls.h"

namespace qv {

class TMainMenu;
class TButton;

enum TPosition { poDesigned, poDefault, poScreenCenter, poDesktopCenter, poMainFormCenter, poOwnerFormCenter };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSet<TBorderIcon>;

struct TFont {
  std::string Name = "Arial";
  // Negative: character height in pixels; positive: cell height.
  int Height = -11;
  bool Bold = false;
  friend bool operator==(const TFont&, const TFont&) = default;
};

using TCloseQueryEvent = std::function<void(TObject& sender, bool& canClose)>;

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* owner);
  // Runs OnDestroy (unless Destroying() ran already), then destroys the
  // owned components and child controls.
  ~TForm() override;

  // Width() and Height() of a form are its client size: the model draws no
  // frame.
  int ClientWidth() const { return Width(); }
  int ClientHeight() const { return Height(); }
  void SetClientWidth(int v) { SetWidth(v); }
  void SetClientHeight(int v) { SetHeight(v); }

  TPosition Position() const { return position_; }
  void SetPosition(TPosition v) { position_ = v; NotifyPeer(chBounds); }
  TFormBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TFormBorderStyle v) { border_style_ = v; NotifyPeer(chAppearance); }
  TBorderIcons BorderIcons() const { return border_icons_; }
  void SetBorderIcons(TBorderIcons v) { border_icons_ = v; NotifyPeer(chAppearance); }
  const TFont& Font() const { return font_; }
  void SetFont(const TFont& font) { font_ = font; NotifyPeer(chAppearance); }
  bool KeyPreview() const { return key_preview_; }
  void SetKeyPreview(bool v) { key_preview_ = v; }

  // The main menu shown in the form's menu bar, or nullptr. Not owned.
  TMainMenu* Menu() const { return menu_; }
  void SetMenu(TMainMenu* menu);

  // The control that has (or, while the form is hidden, will get) the
  // focus. Setting it is SetFocus on the control; nullptr clears it.
  TControl* ActiveControl() const { return focused_; }
  void SetActiveControl(TControl* control);

  // Moves the focus from `current` (nullptr: from before the first / after
  // the last) to the next (forward) or previous focusable control in tab
  // order, wrapping around; with checkTabStop, controls whose TabStop is
  // false are skipped. Returns the control chosen (the focus may have been
  // moved elsewhere by its handlers), or nullptr when none can be focused.
  TControl* SelectNext(TControl* current, bool forward, bool checkTabStop);
  // The control SelectNext would choose, without moving the focus.
  TControl* FindNextControl(TControl* current, bool forward, bool checkTabStop) const;

  // Setting a non-zero result during a modal showing ends it (once the
  // backend returns to its loop and OnCloseQuery agrees).
  TModalResult ModalResult() const { return modal_result_; }
  void SetModalResult(TModalResult result);

  // Shows the form modally through the Application's backend and returns
  // the modal result (see the top of this file). Raises EInvalidOperation
  // when the form is already showing or no backend is installed. An error
  // raised by a handler or the backend ends the showing and propagates.
  TModalResult ShowModal();
  // Requests closing: a modal form gets the result mrCancel; the main form
  // asks OnCloseQuery, hides and ends the application's run.
  void Close();
  // The form is being shown (modally or as the main form).
  bool Showing() const { return showing_; }
  bool Modal() const { return modal_; }

  // Runs OnDestroy now, once. A derived form whose OnDestroy handler uses
  // the derived class's own members calls this in its destructor.
  void Destroying();

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TCloseQueryEvent OnCloseQuery;
  // Sees keys before the focused control when KeyPreview is set.
  TKeyEvent OnKeyDown;
  // Sees typed characters before the focused control when KeyPreview is set.
  TKeyPressEvent OnKeyPress;

  // ---- What the person does, reported by a backend ----

  // A key went down while the form was active (see the top of this file).
  // Returns true when the model used the key (a handler or the focused
  // control consumed it, or it moved the focus, pressed a button or ran an
  // accelerator); a backend may then leave it out of its own widget.
  bool KeyDown(Word key, TShiftState shift = {});
  // A character was typed (after its KeyDown). Control characters are not
  // typed: use KeyDown for them.
  void KeyPress(char32_t ch);
  // Types each character of the UTF-8 `text` in turn into the focused
  // control. Raises EInvalidOperation for control characters in `text`.
  void TypeText(const std::string& text);
  // The close box or the system menu's close command.
  void CloseByPerson() { Close(); }

  // ---- Showing protocol, for backends ----

  // Called by a backend's modal loop after each delivered action: true when
  // the showing is over. A non-zero result is put to OnCloseQuery once; a
  // refusal resets the result to 0 and the showing goes on.
  bool ModalEnded();
  // The form becomes the active window again (a nested window closed):
  // runs OnActivate.
  void Reactivate();
  // Shows the form as the application's main form (used by
  // TApplication::Run): visible, focus, OnActivate.
  void ShowAsMainForm();
  // Hides a form shown by ShowAsMainForm and runs OnDeactivate.
  void HideMainForm();

  bool AcceptsFocus() const override { return false; }

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TControl;
  // Moves the focus to `target`, running OnExit for the controls left and
  // OnEnter for the controls entered, in the framework's order.
  void ChangeFocus(TControl* target);
  void ControlDestroyed(TControl* control);
  void BeginShowing(bool modal);
  void EndShowing(bool runDeactivate);
  void GiveInitialFocus();
  bool PressButtonFor(Word key);
  bool RunAccelerator(char32_t upper);

  TPosition position_ = poDesigned;
  TFormBorderStyle border_style_ = bsSizeable;
  TBorderIcons border_icons_{biSystemMenu, biMinimize, biMaximize};
  TFont font_;
  bool key_preview_ = false;
  TMainMenu* menu_ = nullptr;
  TControl* focused_ = nullptr;
  // The innermost control whose OnEnter has run and whose OnExit has not.
  TControl* entered_ = nullptr;
  unsigned focus_changes_ = 0;
  TModalResult modal_result_ = mrNone;
  bool close_accepted_ = false;
  bool showing_ = false;
  bool modal_ = false;
  bool destroy_event_done_ = false;
};

// Reads a form as ReadComponent does (see component.h), then runs its
// OnCreate, which `build` may have set.
void ReadForm(TForm& form, const std::function<void()>& build);

}  // namespace qv
