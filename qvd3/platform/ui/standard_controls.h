// The everyday controls: panel, group box, label, edit, button, flat
// (speed/tool) button, check box and radio group, and TStrings, the list of
// texts that list-like controls hold.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "qvd3/platform/ui/controls.h"

namespace qv {

// An ordered list of texts. The control holding it is told of every change.
class TStrings {
 public:
  explicit TStrings(std::function<void()> changed = {}) : changed_(std::move(changed)) {}
  int Count() const { return static_cast<int>(items_.size()); }
  // Raises ERangeError ("List index out of bounds (i)") outside 0..Count-1.
  const std::string& operator[](int index) const;
  int Add(const std::string& text);
  void Insert(int index, const std::string& text);
  void Delete(int index);
  void Clear();
  // The first index holding exactly `text`, or -1.
  int IndexOf(const std::string& text) const;
  void Assign(const std::vector<std::string>& texts);
  const std::vector<std::string>& Items() const { return items_; }

 private:
  void Check(int index) const;
  std::vector<std::string> items_;
  std::function<void()> changed_;
};

class TPanel : public TWinControl {
 public:
  explicit TPanel(TComponent* owner);
  TBevelCut BevelOuter() const { return bevel_outer_; }
  void SetBevelOuter(TBevelCut v) { bevel_outer_ = v; NotifyPeer(chAppearance); Realign(); }
  TBevelCut BevelInner() const { return bevel_inner_; }
  void SetBevelInner(TBevelCut v) { bevel_inner_ = v; NotifyPeer(chAppearance); Realign(); }
  int BevelWidth() const { return bevel_width_; }
  void SetBevelWidth(int v) { bevel_width_ = v; NotifyPeer(chAppearance); Realign(); }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v) { alignment_ = v; NotifyPeer(chAppearance); }

 protected:
  int FrameWidth() const override;

 private:
  TBevelCut bevel_outer_ = bvRaised;
  TBevelCut bevel_inner_ = bvNone;
  int bevel_width_ = 1;
  TAlignment alignment_ = taCenter;
};

// A framed container with a caption.
class TGroupBox : public TWinControl {
 public:
  explicit TGroupBox(TComponent* owner) : TWinControl(owner) {}
};

// Static text. An "&" in the caption marks the accelerator letter: Alt and
// that letter focuses FocusControl (when it can take the focus).
class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* owner) : TControl(owner) {}
  TControl* FocusControl() const { return focus_control_; }
  void SetFocusControl(TControl* control);
  bool ShowAccelChar() const { return show_accel_char_; }
  void SetShowAccelChar(bool v) { show_accel_char_ = v; NotifyPeer(chCaption); }

 protected:
  bool DoAccelerator(char32_t upper) override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  TControl* focus_control_ = nullptr;
  bool show_accel_char_ = true;
};

// A one-line text box. Lengths and selection positions count characters
// (UTF-8 code points), not bytes.
class TEdit : public TControl {
 public:
  explicit TEdit(TComponent* owner);

  // Assigning the text puts the caret at its end with nothing selected and
  // runs OnChange when the text differs. Code may assign any length.
  void SetText(const std::string& text) override;

  // The most characters the person can type; 0 means no limit. Characters
  // typed beyond it are refused (a selection being replaced makes room).
  int MaxLength() const { return max_length_; }
  void SetMaxLength(int v) { max_length_ = v < 0 ? 0 : v; }
  // When not 0, every character is displayed as this one.
  char32_t PasswordChar() const { return password_char_; }
  void SetPasswordChar(char32_t c) { password_char_ = c; NotifyPeer(chAppearance); }
  // The person cannot change the text (code still can).
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool v) { read_only_ = v; NotifyPeer(chAppearance); }

  int SelStart() const { return sel_start_; }
  int SelLength() const { return sel_length_; }
  // Both are clamped into the text.
  void SetSelStart(int start);
  void SetSelLength(int length);
  void SelectAll();
  std::string SelText() const;
  // Replaces the selection (or inserts at the caret) with `text`, as typing
  // it would, but without the length limit.
  void SetSelText(const std::string& text);

  // The text changed, by the person or by code.
  TNotifyEvent OnChange;

  bool AcceptsFocus() const override { return true; }

 protected:
  void DoKeyDown(Word& key, TShiftState shift) override;
  void DoKeyPress(char32_t ch) override;
  // Whether the person may change the text now; a data-aware edit also
  // puts its dataset into edit mode here. Default: !ReadOnly().
  virtual bool BeginPersonEdit();
  // The text changed through the person or SetSelText.
  virtual void TextChanged();
  // The limit applied to typing; MaxLength() by default.
  virtual int EffectiveMaxLength() const { return max_length_; }
  // Sets the text without moving caret or running OnChange.
  void StoreText(const std::string& text);

 private:
  void ReplaceSelection(const std::u32string& with, bool limited);
  int max_length_ = 0;
  char32_t password_char_ = 0;
  bool read_only_ = false;
  int sel_start_ = 0;
  int sel_length_ = 0;
};

// A push button. Click() runs OnClick, then gives a non-zero ModalResult to
// the form. The Cancel button is pressed by Esc, the Default button by
// Enter when the focused control is not a button; Enter or Space on a
// focused button press it.
class TButton : public TControl {
 public:
  explicit TButton(TComponent* owner);
  TModalResult ModalResult() const { return modal_result_; }
  void SetModalResult(TModalResult r) { modal_result_ = r; }
  bool Cancel() const { return cancel_; }
  void SetCancel(bool v) { cancel_ = v; }
  bool Default() const { return default_; }
  void SetDefault(bool v) { default_ = v; NotifyPeer(chAppearance); }

  void Click() override;
  bool AcceptsFocus() const override { return true; }

 protected:
  void DoKeyDown(Word& key, TShiftState shift) override;
  bool DoAccelerator(char32_t upper) override;

 private:
  TModalResult modal_result_ = mrNone;
  bool cancel_ = false;
  bool default_ = false;
};

// A flat button of a tool bar or button panel: never takes the focus, so
// clicking it leaves the focus where it is. Shows its Hint when ShowHint.
class TSpeedButton : public TControl {
 public:
  explicit TSpeedButton(TComponent* owner) : TControl(owner) {}
  bool Flat() const { return flat_; }
  void SetFlat(bool v) { flat_ = v; NotifyPeer(chAppearance); }
  int ImageIndex() const { return image_index_; }
  void SetImageIndex(int v) { image_index_ = v; NotifyPeer(chAppearance); }
  void ClickByPerson() override;

 private:
  bool flat_ = true;
  int image_index_ = -1;
};
using TToolButton = TSpeedButton;

// A container for flat buttons along the top of a page or window.
class TToolBar : public TWinControl {
 public:
  explicit TToolBar(TComponent* owner);
  bool Flat() const { return flat_; }
  void SetFlat(bool v) { flat_ = v; NotifyPeer(chAppearance); }

 private:
  bool flat_ = true;
};

// A two-state box. OnClick runs whenever Checked changes, by the person or
// by code (not while the component is loading).
class TCheckBox : public TControl {
 public:
  explicit TCheckBox(TComponent* owner);
  bool Checked() const { return checked_; }
  void SetChecked(bool value);
  // The person clicked: focus, then toggle.
  void ClickByPerson() override;
  bool AcceptsFocus() const override { return true; }

 protected:
  void DoKeyDown(Word& key, TShiftState shift) override;
  bool DoAccelerator(char32_t upper) override;
  // Checked changed; runs OnClick. Data-aware boxes write the field here.
  virtual void StateChanged();
  void StoreChecked(bool value) { checked_ = value; NotifyPeer(chChecked); }

 private:
  bool checked_ = false;
};

// A captioned group of mutually exclusive choices. ItemIndex -1 is no
// choice. OnClick runs whenever ItemIndex changes, by the person or by code
// (not while loading).
class TRadioGroup : public TControl {
 public:
  explicit TRadioGroup(TComponent* owner);
  TStrings& Items() { return items_; }
  const TStrings& Items() const { return items_; }
  int ItemIndex() const { return item_index_; }
  // Raises ERangeError for values outside -1..Count-1.
  void SetItemIndex(int index);
  int Columns() const { return columns_; }
  void SetColumns(int v) { columns_ = v < 1 ? 1 : v; NotifyPeer(chAppearance); }
  // The person chose item `index`: focus, then select it.
  virtual void ChooseByPerson(int index);
  bool AcceptsFocus() const override { return true; }

 protected:
  void DoKeyDown(Word& key, TShiftState shift) override;
  virtual void IndexChanged();
  // The list of items changed (an index past its end is already -1).
  virtual void ItemsChanged() {}
  void StoreItemIndex(int index) { item_index_ = index; NotifyPeer(chItemIndex); }

 private:
  TStrings items_;
  int item_index_ = -1;
  int columns_ = 1;
};

}  // namespace qv
