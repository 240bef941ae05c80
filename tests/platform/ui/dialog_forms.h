// Two small forms built like the application's login and password-change
// dialogs, used by the focus and key tests.
#pragma once

#include <string>
#include <vector>

#include "qvd3/platform/ui/application.h"
#include "qvd3/platform/ui/standard_controls.h"

namespace qv::testing {

// Turns Enter in an edit box into "focus the next control", as the dialogs do.
inline void EnterWalksEdits(TForm& form) {
  form.SetKeyPreview(true);
  form.OnKeyDown = [&form](TObject&, Word& key, TShiftState) {
    if (key == VK_RETURN && dynamic_cast<TEdit*>(form.ActiveControl()) != nullptr) {
      key = 0;
      form.SelectNext(form.ActiveControl(), true, true);
    }
  };
}

class LoginForm : public TForm {
 public:
  TPanel* Panel = nullptr;
  TLabel* UserLabel = nullptr;
  TLabel* PasswordLabel = nullptr;
  TEdit* User = nullptr;
  TButton* Ok = nullptr;
  TButton* Cancel = nullptr;
  TEdit* Password = nullptr;
  int Activations = 0;

  LoginForm() : TForm(nullptr) {
    ReadForm(*this, [this] {
      SetName("Login");
      SetClientWidth(238);
      SetClientHeight(138);
      Panel = new TPanel(this);
      Panel->SetName("Panel3");
      Panel->SetParent(this);
      Panel->SetAlign(alClient);
      UserLabel = new TLabel(this);
      UserLabel->SetName("lblUserName");
      UserLabel->SetParent(Panel);
      PasswordLabel = new TLabel(this);
      PasswordLabel->SetName("lblPassword");
      PasswordLabel->SetParent(Panel);
      User = new TEdit(this);
      User->SetName("Usuario");
      User->SetParent(Panel);
      User->SetTabOrder(0);
      Ok = new TButton(this);
      Ok->SetName("OKBtn");
      Ok->SetParent(Panel);
      Ok->SetTabOrder(2);
      Ok->SetModalResult(mrOk);
      Cancel = new TButton(this);
      Cancel->SetName("CancelBtn");
      Cancel->SetParent(Panel);
      Cancel->SetTabOrder(3);
      Cancel->SetModalResult(mrCancel);
      Cancel->SetCancel(true);
      Password = new TEdit(this);
      Password->SetName("Senha");
      Password->SetParent(Panel);
      Password->SetTabOrder(1);
      Password->SetPasswordChar(U'*');
      UserLabel->SetFocusControl(User);
      PasswordLabel->SetFocusControl(Password);
    });
    EnterWalksEdits(*this);
    Ok->OnEnter = [this](TObject&) { SetModalResult(mrOk); };
    OnActivate = [this](TObject&) {
      ++Activations;
      SetCaption("Acesso ao Sistema");
      UserLabel->SetCaption("Digite seu nome de &usuário:");
      PasswordLabel->SetCaption("Digite sua &senha:");
      User->SetFocus();
      User->SelectAll();
    };
  }
};

class ChangePasswordForm : public TForm {
 public:
  std::string OldPassword = "velha";
  TEdit* Old = nullptr;
  TButton* Ok = nullptr;
  TButton* Cancel = nullptr;
  TEdit* New1 = nullptr;
  TEdit* New2 = nullptr;
  std::vector<std::string> ExitSaw;  // ActiveControl names seen by Old's OnExit
  int New1Enters = 0;
  int OldEnters = 0;

  ChangePasswordForm() : TForm(nullptr) {
    ReadForm(*this, [this] {
      SetName("MudaPwd");
      Old = Edit("SenhaAntiga", 0);
      Ok = new TButton(this);
      Ok->SetName("OKBtn");
      Ok->SetParent(this);
      Ok->SetTabOrder(3);
      Cancel = new TButton(this);
      Cancel->SetName("CancelBtn");
      Cancel->SetParent(this);
      Cancel->SetTabOrder(4);
      Cancel->SetModalResult(mrCancel);
      Cancel->SetCancel(true);
      New1 = Edit("Password1", 1);
      New2 = Edit("Password2", 2);
    });
    EnterWalksEdits(*this);
    Old->OnEnter = [this](TObject&) { ++OldEnters; };
    New1->OnEnter = [this](TObject&) { ++New1Enters; };
    Old->OnExit = [this](TObject&) {
      ExitSaw.push_back(ActiveControl() ? ActiveControl()->Name() : "");
      if (ActiveControl() == Cancel) return;
      if (Old->Text() != OldPassword) {
        MessageDlg("Senha inválida", mtWarning, {mbOK});
        Old->SetFocus();
      }
    };
    Ok->OnClick = [this](TObject&) {
      if (New1->Text() != New2->Text()) {
        MessageDlg("Senha para conferência difere da primeira", mtWarning, {mbOK});
        New1->SetFocus();
      } else if (New1->Text().empty()) {
        MessageDlg("Senha inválida", mtWarning, {mbOK});
        New1->SetFocus();
      } else {
        SetModalResult(mrOk);
      }
    };
  }

 private:
  TEdit* Edit(const char* name, int tabOrder) {
    auto* edit = new TEdit(this);
    edit->SetName(name);
    edit->SetParent(this);
    edit->SetTabOrder(tabOrder);
    edit->SetMaxLength(10);
    edit->SetPasswordChar(U'*');
    return edit;
  }
};

}  // namespace qv::testing
