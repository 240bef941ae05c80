#include "qvd3/dialogs/login_qv.h"

#include "qvd3/component/quarvel_res.h"
#include "qvd3/dialogs/dialog_layout.h"

namespace qv {

TLogin* uLogin = nullptr;

namespace {

// Texts the window definition stores. They only stand in until the first
// activation, which replaces every one of them from the string table.
constexpr const char* kStoredCaption = "Login";
constexpr const char* kStoredUserNameLabel = "&User name:";
constexpr const char* kStoredPasswordLabel = "&Password:";
constexpr const char* kStoredOk = "OK";
constexpr const char* kStoredCancel = "Cancel";

}  // namespace

// The window definition: the controls in declaration order, each given its
// stored properties while the form is being read, and the event bindings.
TLogin::TLogin(TComponent* owner) : TForm(owner) {
  ReadForm(*this, [this] {
    SetName("Login");
    SetCaption(kStoredCaption);
    SetBorderStyle(bsSingle);
    SetBorderIcons({biSystemMenu});
    SetPosition(poScreenCenter);
    SetClientWidth(238);
    SetClientHeight(138);
    SetFont(TFont{"Arial", -11, false});
    SetKeyPreview(true);

    Panel1 = new TPanel(this);
    Panel3 = new TPanel(this);
    lblUserName = new TLabel(this);
    lblPassword = new TLabel(this);
    Usuario = new TEdit(this);
    OKBtn = new TButton(this);
    CancelBtn = new TButton(this);
    Senha = new TEdit(this);

    PlaceDialogPanels(*this, *Panel1, *Panel3);
    PlaceLabel(*lblUserName, *Panel3, "lblUserName", 8, 8, 217, kStoredUserNameLabel, Usuario);
    PlaceLabel(*lblPassword, *Panel3, "lblPassword", 10, 54, 215, kStoredPasswordLabel, Senha);
    PlaceEdit(*Usuario, *Panel3, "Usuario", 8, 27, 217, 0);
    PlaceButton(*OKBtn, *Panel3, "OKBtn", 70, 102, kStoredOk, 2, mrOk);
    PlaceButton(*CancelBtn, *Panel3, "CancelBtn", 150, 102, kStoredCancel, 3, mrCancel, true);
    PlaceEdit(*Senha, *Panel3, "Senha", 9, 72, 217, 1);
    Senha->SetPasswordChar(U'*');

    OnActivate = [this](TObject& sender) { FormActivate(sender); };
    OnKeyDown = [this](TObject& sender, Word& key, TShiftState shift) { FormKeyDown(sender, key, shift); };
    OKBtn->OnEnter = [this](TObject& sender) { OKBtnEnter(sender); };
  });
}

// The global names the dialog only while it exists, even if its holder
// forgets to clear it.
TLogin::~TLogin() {
  if (uLogin == this) uLogin = nullptr;
}

// Every activation (also the second attempt of a login) shows the texts of
// the string table and starts again in the user-name box with its text
// selected, so that typing replaces the previous name. Neither box is
// cleared: the password of the previous attempt stays.
void TLogin::FormActivate(TObject& sender) {
  (void)sender;
  SetCaption(LoadStr(40096));
  lblUserName->SetCaption(LoadStr(40097));
  OKBtn->SetCaption(LoadStr(40099));
  CancelBtn->SetCaption(LoadStr(40100));
  lblPassword->SetCaption(LoadStr(40098));
  Usuario->SetFocus();
  Usuario->SelectAll();
}

// Enter in an edit box walks on to the next control in tab order, so that
// name, Enter, password, Enter reaches OKBtn and confirms. The form sees
// keys before its controls, Enter on a focused button included: that key is
// left alone so the button presses itself (Enter on CancelBtn cancels).
void TLogin::FormKeyDown(TObject& sender, Word& key, TShiftState shift) {
  (void)sender;
  (void)shift;
  AdvanceOnEnter(*this, key);
}

// Reaching OKBtn by any means (Enter, Tab, a click) confirms at once.
void TLogin::OKBtnEnter(TObject& sender) {
  (void)sender;
  SetModalResult(mrOk);
}

}  // namespace qv
