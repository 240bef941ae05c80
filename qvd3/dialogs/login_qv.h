// TLogin: the small modal window in which a user types a user name and a
// password. It validates nothing: the login procedure shows it once per
// attempt, reads Usuario and Senha exactly as typed after a result of 1 (OK)
// and reports errors itself. The dialog keeps both texts between showings.
//
// Keyboard: on activation the focus is in Usuario with its text selected;
// Enter in an edit moves to the next control in tab order, and OKBtn ends
// the showing with 1 as soon as it receives the focus (by Enter, Tab or a
// click). Esc, CancelBtn, or Enter on CancelBtn end it with 2.
#pragma once

#include "qvd3/platform/ui/form.h"
#include "qvd3/platform/ui/standard_controls.h"

namespace qv {

class TLogin : public TForm {
 public:
  // The form object is named "Login". Usually created without an owner.
  explicit TLogin(TComponent* owner);
  ~TLogin() override;

  TPanel* Panel1 = nullptr;
  TPanel* Panel3 = nullptr;
  TLabel* lblUserName = nullptr;
  TLabel* lblPassword = nullptr;
  TEdit* Usuario = nullptr;
  TButton* OKBtn = nullptr;
  TButton* CancelBtn = nullptr;
  TEdit* Senha = nullptr;

  void FormActivate(TObject& sender);
  void FormKeyDown(TObject& sender, Word& key, TShiftState shift);
  void OKBtnEnter(TObject& sender);
};

// The login dialog while the login procedure shows it; nullptr otherwise.
extern TLogin* uLogin;

}  // namespace qv
