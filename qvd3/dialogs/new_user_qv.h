// TNewUser: the modal window in which the administrator fills in a new
// user: login name, full name, initial password, profile and audit mode. Its
// controls are data-aware and edit the row the owner has just inserted into
// Users->qryUsers (through dsUsers); nothing typed lives in the dialog.
//
// The owner inserts the row, shows the dialog and reads the result: 1 (OK)
// or 2 (Cancel, Esc, the close box). After 1 the row holds the typed name
// and full name, the password in plain text in USER_PWD, the chosen
// PROFILE_ID, AUDIT_MODE and today's date text in LAST_PWD_CHANGE; the owner
// scrambles the password and posts the row. After 2 it cancels the insert.
//
// Checks and proposals:
//   - leaving the name box for any control but CancelBtn with the box empty
//     warns "Nome de usuário inválido" and puts the focus back; a name of
//     blanks passes. Leaving it with a name proposes that name as the
//     password (box and row), every time, replacing what was typed there;
//   - entering the empty password box fills it with the name as well;
//   - OK with a password of blanks raises "Missing password", which the
//     application's error display shows while the dialog stays open.
// Whether the name is free is not checked here: the database refuses a
// second user of the same name when the owner posts the row.
//
// Keyboard: Enter in an edit box or the profile list moves to the next
// control in tab order (from the name box, four presses reach OK); Enter on
// a focused button presses it; Esc cancels.
#pragma once

#include "qvd3/platform/ui/data_controls.h"
#include "qvd3/platform/ui/form.h"
#include "qvd3/platform/ui/standard_controls.h"

namespace qv {

class TNewUser : public TForm {
 public:
  // The form object is named "NewUser". Usually created without an owner.
  // Binds to the data module Users when it exists.
  explicit TNewUser(TComponent* owner);
  ~TNewUser() override;

  TPanel* Panel1 = nullptr;
  TPanel* Panel3 = nullptr;
  TLabel* lblUSER_NAME = nullptr;
  TLabel* lblREAL_NAME = nullptr;
  TLabel* lblPASSWORD = nullptr;
  TLabel* lblPROFILE = nullptr;
  TDBEdit* DBEdit1 = nullptr;  // USERQV_NAME
  TDBEdit* DBEdit2 = nullptr;  // REAL_NAME
  TDBEdit* DBEdit3 = nullptr;  // USER_PWD, in plain text while the dialog is up
  TDBLookupComboBox* DBLookupComboBox1 = nullptr;  // PROFILE
  TButton* OKBtn = nullptr;
  TButton* CancelBtn = nullptr;
  TDBCheckBox* cbxAUDIT_MODE = nullptr;

  void FormActivate(TObject& sender);
  void FormKeyDown(TObject& sender, Word& key, TShiftState shift);
  void NomeUsuarioExit(TObject& sender);
  void DBEdit3Enter(TObject& sender);
  void OKBtnClick(TObject& sender);

 private:
  // Shows `password` in DBEdit3 and stores it into the row's USER_PWD.
  void ProposePassword(const std::string& password);
};

// The new-user dialog while the users page shows it; nullptr otherwise.
extern TNewUser* uNewUser;

}  // namespace qv
