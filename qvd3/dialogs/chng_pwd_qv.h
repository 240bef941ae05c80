// TMudaPwd: the modal window in which the logged-in user changes the own
// password: the current password once (SenhaAntiga), the new one twice
// (Password1, Password2), each at most 20 characters, as many as a stored
// password holds.
//
// The owner sets OldPassword before showing. When the focus leaves
// SenhaAntiga for any control but CancelBtn, its text must equal OldPassword
// (or satisfy CheckCurrent when the owner set it) ("Senha inválida" and the focus goes back otherwise). OKBtn ends the
// showing with 1 only when SenhaAntiga equals OldPassword (checked again
// there: the focus can reach OK without leaving SenhaAntiga through a
// check), Password1 equals Password2 ("Senha para
// conferência difere da primeira") and is not empty ("Senha inválida"). Esc
// or CancelBtn end it with 2. After 1 the new password is Password1's text.
// To ask again, the owner clears Password1 and Password2, makes Password1
// the active control and shows the dialog again.
#pragma once

#include <functional>
#include <string>

#include "qvd3/platform/ui/form.h"
#include "qvd3/platform/ui/standard_controls.h"

namespace qv {

class TMudaPwd : public TForm {
 public:
  // The form object is named "MudaPwd". Usually created without an owner.
  explicit TMudaPwd(TComponent* owner);
  ~TMudaPwd() override;

  TPanel* Panel1 = nullptr;
  TPanel* Panel3 = nullptr;
  TLabel* lblOldPassword = nullptr;
  TLabel* lblNewPassword = nullptr;
  TLabel* lblPasswordAgain = nullptr;
  TEdit* SenhaAntiga = nullptr;
  TButton* OKBtn = nullptr;
  TButton* CancelBtn = nullptr;
  TEdit* Password1 = nullptr;
  TEdit* Password2 = nullptr;

  // The user's current password in plain text; set by the owner, only read
  // here.
  std::string OldPassword;
  // When set, decides whether the typed current password is right, in
  // place of the comparison with OldPassword (a database that does not let
  // the stored password be read checks it itself).
  std::function<bool(const std::string& typed)> CheckCurrent;

  void FormActivate(TObject& sender);
  void FormKeyDown(TObject& sender, Word& key, TShiftState shift);
  void SenhaAntigaExit(TObject& sender);
  void OKBtnClick(TObject& sender);

 private:
  bool CurrentPasswordRight();
};

// The change-password dialog while the password change shows it; nullptr
// otherwise.
extern TMudaPwd* uMudaPwd;

}  // namespace qv
