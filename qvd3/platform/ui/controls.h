// Controls: the visible parts of a form. TControl carries what every control
// has (parent, bounds, caption, hint, enabled, visible, tab order, focus
// events); TWinControl is a control that can hold other controls.
//
// Focus is kept by the form (TForm::ActiveControl). Only controls whose kind
// accepts the keyboard (edits, buttons, check boxes, lists, page controls...)
// can be focused; labels, panels, group boxes, tab sheets and flat buttons
// never are. CanFocus also requires the control and every parent up to the
// form to be visible and enabled.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "qvd3/platform/ui/component.h"

namespace qv {

class TWinControl;
class TForm;

// Key event: set `key` to 0 to consume the key.
using TKeyEvent = std::function<void(TObject& sender, Word& key, TShiftState shift)>;
// Character event: set `key` to 0 to drop the character.
using TKeyPressEvent = std::function<void(TObject& sender, char32_t& key)>;
using TMouseEvent =
    std::function<void(TObject& sender, TMouseButton button, TShiftState shift, int x, int y)>;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  // Leaves the parent; the form forgets the control if it had the focus.
  ~TControl() override;

  // The container showing this control. Setting a parent appends the
  // control to the parent's children; nullptr takes it out.
  TWinControl* Parent() const { return parent_; }
  void SetParent(TWinControl* parent);
  // The form this control is on (the nearest TForm up the parent chain,
  // itself for a form), or nullptr.
  TForm* ParentForm();

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  void SetBounds(int left, int top, int width, int height);
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);

  // The control's text: the caption of labels, buttons, panels and pages,
  // the contents of edits. Caption and Text are the same value.
  const std::string& Caption() const { return text_; }
  void SetCaption(const std::string& text) { SetText(text); }
  const std::string& Text() const { return text_; }
  virtual void SetText(const std::string& text);

  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint);
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool v) { show_hint_ = v; NotifyPeer(chHint); }

  TColor Color() const { return color_; }
  void SetColor(TColor c) { color_ = c; NotifyPeer(chAppearance); }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);

  // Controls of one parent are visited by Tab in increasing TabOrder; equal
  // values keep creation order. A new control gets the number of controls
  // already in its parent. TabStop false leaves the control out of Tab
  // traversal but it can still be focused by code or click.
  int TabOrder() const { return tab_order_; }
  void SetTabOrder(int value);
  bool TabStop() const { return tab_stop_; }
  void SetTabStop(bool value) { tab_stop_ = value; }

  // Focus enters / leaves this control. For a container they run when the
  // focus moves into / out of any control inside it. While OnExit runs, the
  // form's ActiveControl already names the control receiving the focus.
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TNotifyEvent OnClick;
  // Keys reaching this control while it has the focus (after the form's
  // KeyPreview handler).
  TKeyEvent OnKeyDown;

  // True when this kind of control takes keyboard focus at all.
  virtual bool AcceptsFocus() const { return false; }
  // AcceptsFocus, and this control and every parent (up to, not including,
  // the form) are visible and enabled.
  bool CanFocus() const;
  // Gives the focus to this control. On a form that is not showing this only
  // records the control as the form's ActiveControl; the focus events run
  // when the form is shown. Raises EInvalidOperation ("Cannot focus a
  // disabled or invisible window") when !CanFocus() or there is no form.
  void SetFocus();
  // This control is its form's ActiveControl.
  bool Focused() const;
  // True when `control` is this control or lies inside it.
  bool ContainsControl(const TControl* control) const;

  // Runs OnClick (the reaction to a click, whoever causes it).
  virtual void Click();

  // The person clicked the control. A focusable control gets the focus
  // first; the click lands only if the focus then really is on it and the
  // form's showing did not end meanwhile (a handler may have moved the focus
  // back or set a modal result). Ignored when the control cannot be used
  // (disabled or hidden).
  virtual void ClickByPerson();

 protected:
  friend class TForm;
  // Key handling of the focused control once the form's preview and the
  // OnKeyDown event have let the key through; set key to 0 when used.
  virtual void DoKeyDown(Word& key, TShiftState shift) { (void)key; (void)shift; }
  // A typed character reaching the focused control.
  virtual void DoKeyPress(char32_t ch) { (void)ch; }
  // Alt+letter: returns true when this control claims the accelerator
  // `upper` (an upper-case letter or digit) and has acted on it.
  virtual bool DoAccelerator(char32_t upper) { (void)upper; return false; }
  // The focus is about to enter (or has just left) this control, before
  // its OnEnter (OnExit) runs.
  virtual void FocusChanging(bool entering) { (void)entering; }
  // Focuses the control for a person's click; true when the click may land.
  bool FocusForPerson();
  // True when the person can use the control: it and its parents are
  // visible and enabled.
  bool Usable() const;

 private:
  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TAlign align_ = alNone;
  std::string text_;
  std::string hint_;
  bool show_hint_ = false;
  TColor color_ = clBtnFace;
  bool enabled_ = true;
  bool visible_ = true;
  int tab_order_ = 0;
  bool tab_order_set_ = false;
  bool tab_stop_ = false;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  // Destroys the child controls still placed in it (as the framework does),
  // after they have been asked to leave their owners.
  ~TWinControl() override;

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  // The child controls in the order they were placed.
  TControl* Controls(int index) const;

  // Space between the edge and the children, used by alignment.
  int BorderWidth() const { return border_width_; }
  void SetBorderWidth(int v) { border_width_ = v; Realign(); }

  // Places the children that have an Align inside the client area:
  // top, bottom, left, right in child order, then alClient fills the rest.
  // Runs by itself when the container or an aligned child changes size.
  void Realign();

  // The focusable children in tab order, depth first through containers
  // (a container's children come at the container's own tab position).
  std::vector<TControl*> TabOrderList() const;

 protected:
  // Width of the frame drawn inside the edge (bevels), used by alignment.
  virtual int FrameWidth() const { return 0; }
  // Height taken at the top of the client area by something the container
  // draws itself (a page control's tab strip), used by alignment.
  virtual int TopInset() const { return 0; }

 private:
  friend class TControl;
  std::vector<TControl*> controls_;
  int border_width_ = 0;
  bool realigning_ = false;
};

// The accelerator of a caption: the upper-cased character after a single
// "&" ("&&" is a literal ampersand), or 0 when there is none.
char32_t GetHotkey(const std::string& caption);
// The caption as displayed: "&" markers removed, "&&" shown as "&".
std::string StripHotkey(const std::string& caption);

}  // namespace qv
