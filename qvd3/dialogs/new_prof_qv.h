// TNewProfile: the modal window in which the administrator fills in a new
// user profile: its description, whether members must change their password
// periodically and at which interval, what members see of the menu items
// they may not use, and whether members are audited. Its controls are
// data-aware and edit the row the owner has just inserted into
// Users->qryProfiles (through dsProfiles).
//
// The owner inserts the row (it starts with MUST_CHANGE_PWD "1",
// AUDIT_MODE "0", HIDE_DISABLE_MENU 0 and no interval), shows the dialog and
// reads the result: 1 (OK) or 2 (Cancel, Esc, the close box); then it posts
// or cancels the row. The dialog only insists on a description: OK with an
// empty one raises "Missing Description.", which the application's error
// display shows while the dialog stays open; a description of blanks passes.
//
// The interval box is enabled exactly while the must-change box is ticked,
// whether the person or the row's value sets the box; clearing the box keeps
// a typed interval in the row (posting the row clears it). The radio group
// offers "Invisível" (stored 1) and "Desabilitado" (stored 2); a new row
// shows neither chosen.
//
// Keyboard: each activation starts in the description box; Enter on any
// control but a button moves to the next control in tab order; Enter on a
// focused button presses it; Esc cancels.
#pragma once

#include "qvd3/platform/ui/data_controls.h"
#include "qvd3/platform/ui/form.h"
#include "qvd3/platform/ui/standard_controls.h"

namespace qv {

class TNewProfile : public TForm {
 public:
  // The form object is named "NewProfile". Usually created without an
  // owner. Binds to the data module Users when it exists.
  explicit TNewProfile(TComponent* owner);
  ~TNewProfile() override;

  TPanel* Panel1 = nullptr;
  TPanel* Panel3 = nullptr;
  TButton* OKBtn = nullptr;
  TButton* CancelBtn = nullptr;
  TLabel* lblPROF_DESCRIPTION = nullptr;
  TDBEdit* DBEdit5 = nullptr;  // PROF_DESCRIPTION
  TLabel* lblINTERVAL_CHANGE_PWD = nullptr;
  TDBEdit* DBEdit6 = nullptr;  // INTERVAL_CHANGE_PWD
  TDBCheckBox* cbxMUST_CHANGE_PWD = nullptr;
  TDBRadioGroup* rgpHIDE_DISABLE_MENU = nullptr;
  TDBCheckBox* cbxAUDIT_MODE = nullptr;

  void FormActivate(TObject& sender);
  void FormKeyDown(TObject& sender, Word& key, TShiftState shift);
  void cbxMUST_CHANGE_PWDClick(TObject& sender);
  void OKBtnClick(TObject& sender);
};

// The new-profile dialog while the profiles page shows it; nullptr
// otherwise.
extern TNewProfile* uNewProfile;

}  // namespace qv
