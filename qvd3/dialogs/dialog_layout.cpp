#include "qvd3/dialogs/dialog_layout.h"

namespace qv {

namespace {

constexpr int kLabelHeight = 13;
constexpr int kEditHeight = 21;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kCheckBoxHeight = 17;

}  // namespace

void PlaceDialogPanels(TForm& form, TPanel& outer, TPanel& inner) {
  outer.SetName("Panel1");
  outer.SetParent(&form);
  outer.SetAlign(alClient);
  outer.SetBevelOuter(bvNone);
  outer.SetBorderWidth(2);

  inner.SetName("Panel3");
  inner.SetParent(&outer);
  inner.SetAlign(alClient);
}

void PlaceLabel(TLabel& label, TWinControl& parent, const char* name, int left, int top, int width,
                const char* caption, TControl* focusControl) {
  label.SetName(name);
  label.SetParent(&parent);
  label.SetBounds(left, top, width, kLabelHeight);
  label.SetCaption(caption);
  label.SetFocusControl(focusControl);
}

void PlaceEdit(TEdit& edit, TWinControl& parent, const char* name, int left, int top, int width,
               int tabOrder) {
  edit.SetName(name);
  edit.SetParent(&parent);
  edit.SetBounds(left, top, width, kEditHeight);
  edit.SetTabOrder(tabOrder);
}

void PlaceButton(TButton& button, TWinControl& parent, const char* name, int left, int top,
                 const char* caption, int tabOrder, TModalResult result, bool cancel) {
  button.SetName(name);
  button.SetParent(&parent);
  button.SetBounds(left, top, kButtonWidth, kButtonHeight);
  button.SetCaption(caption);
  button.SetTabOrder(tabOrder);
  if (result != mrNone) button.SetModalResult(result);
  if (cancel) button.SetCancel(true);
}

void PlaceCheckBox(TDBCheckBox& box, TWinControl& parent, const char* name, int left, int top,
                   int width, const char* caption, int tabOrder, TDataSource* source,
                   const std::string& field) {
  box.SetName(name);
  box.SetParent(&parent);
  box.SetBounds(left, top, width, kCheckBoxHeight);
  box.SetCaption(caption);
  box.SetTabOrder(tabOrder);
  BindColumn(box, source, field);
}

void BindColumn(TDataBinding& control, TDataSource* source, const std::string& field) {
  control.SetDataField(field);
  control.SetDataSource(source);
}

void AdvanceOnEnter(TForm& form, Word& key, TEnterWalk from) {
  TControl* focused = form.ActiveControl();
  if (key != VK_RETURN || focused == nullptr) return;
  bool walks = false;
  switch (from) {
    case TEnterWalk::Edits: walks = dynamic_cast<TEdit*>(focused) != nullptr; break;
    case TEnterWalk::EditsAndLists:
      walks = dynamic_cast<TEdit*>(focused) != nullptr || dynamic_cast<TDBLookupComboBox*>(focused) != nullptr;
      break;
    case TEnterWalk::AllButButtons: walks = dynamic_cast<TButton*>(focused) == nullptr; break;
  }
  if (!walks) return;
  key = 0;
  form.SelectNext(focused, true, true);
}

}  // namespace qv
