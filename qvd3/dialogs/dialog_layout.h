// The stored layout the small dialogs have in common: two framing panels,
// labels, edit boxes and buttons of one height each, data-aware controls
// bound to a column, and the Enter key that walks on to the next control.
// Each placing helper assigns stored properties only, so it is called while
// the form is being read.
#pragma once

#include <string>

#include "qvd3/platform/ui/data_controls.h"
#include "qvd3/platform/ui/form.h"
#include "qvd3/platform/ui/standard_controls.h"

namespace qv {

// `outer` fills the form without a bevel and with a 2-pixel margin; `inner`
// fills `outer` and carries the controls.
void PlaceDialogPanels(TForm& form, TPanel& outer, TPanel& inner);

// A label of the dialogs' line height whose "&" accelerator focuses
// `focusControl`.
void PlaceLabel(TLabel& label, TWinControl& parent, const char* name, int left, int top, int width,
                const char* caption, TControl* focusControl);

// An edit box of the dialogs' line height.
void PlaceEdit(TEdit& edit, TWinControl& parent, const char* name, int left, int top, int width,
               int tabOrder);

// A button of the dialogs' size. `result` is the modal result a press gives
// (mrNone leaves the ending to the button's own handler); `cancel` makes it
// the button Esc presses.
void PlaceButton(TButton& button, TWinControl& parent, const char* name, int left, int top,
                 const char* caption, int tabOrder, TModalResult result = mrNone, bool cancel = false);

// A data-aware check box of the dialogs, bound to the flag column `field`
// of `source` (ticked "1", clear "0").
void PlaceCheckBox(TDBCheckBox& box, TWinControl& parent, const char* name, int left, int top,
                   int width, const char* caption, int tabOrder, TDataSource* source,
                   const std::string& field);

// Binds a data-aware control to the column `field` of `source` (nullptr
// leaves it unbound).
void BindColumn(TDataBinding& control, TDataSource* source, const std::string& field);

// The controls from which the dialogs' Enter key walks on.
enum class TEnterWalk {
  Edits,          // edit boxes
  EditsAndLists,  // edit boxes and drop-down lists
  AllButButtons,  // every control but a push button
};

// The dialogs' Enter key, for a form with KeyPreview: from a focused
// control of the kind `from` names it moves the focus to the next control in
// tab order and consumes the key. Anywhere else the key is left alone, so a
// focused button presses itself.
void AdvanceOnEnter(TForm& form, Word& key, TEnterWalk from = TEnterWalk::Edits);

}  // namespace qv
