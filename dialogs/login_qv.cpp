#include "dialogs/login_qv.h"

#include "component/quarvel_res.h"

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

constexpr int kLabelHeight = 13;
constexpr int kEditHeight = 21;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

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

    Panel1->SetName("Panel1");
    Panel1->SetParent(this);
    Panel1->SetAlign(alClient);
    Panel1->SetBevelOuter(bvNone);
    Panel1->SetBorderWidth(2);

    Panel3->SetName("Panel3");
    Panel3->SetParent(Panel1);
    Panel3->SetAlign(alClient);

    lblUserName->SetName("lblUserName");
    lblUserName->SetParent(Panel3);
    lblUserName->SetBounds(8, 8, 217, kLabelHeight);
    lblUserName->SetCaption(kStoredUserNameLabel);
    lblUserName->SetFocusControl(Usuario);

    lblPassword->SetName("lblPassword");
    lblPassword->SetParent(Panel3);
    lblPassword->SetBounds(10, 54, 215, kLabelHeight);
    lblPassword->SetCaption(kStoredPasswordLabel);
    lblPassword->SetFocusControl(Senha);

    Usuario->SetName("Usuario");
    Usuario->SetParent(Panel3);
    Usuario->SetBounds(8, 27, 217, kEditHeight);
    Usuario->SetTabOrder(0);

    OKBtn->SetName("OKBtn");
    OKBtn->SetParent(Panel3);
    OKBtn->SetBounds(70, 102, kButtonWidth, kButtonHeight);
    OKBtn->SetCaption(kStoredOk);
    OKBtn->SetTabOrder(2);
    OKBtn->SetModalResult(mrOk);

    CancelBtn->SetName("CancelBtn");
    CancelBtn->SetParent(Panel3);
    CancelBtn->SetBounds(150, 102, kButtonWidth, kButtonHeight);
    CancelBtn->SetCaption(kStoredCancel);
    CancelBtn->SetTabOrder(3);
    CancelBtn->SetModalResult(mrCancel);
    CancelBtn->SetCancel(true);

    Senha->SetName("Senha");
    Senha->SetParent(Panel3);
    Senha->SetBounds(9, 72, 217, kEditHeight);
    Senha->SetTabOrder(1);
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
  if (key != VK_RETURN || dynamic_cast<TEdit*>(ActiveControl()) == nullptr) return;
  key = 0;
  SelectNext(ActiveControl(), true, true);
}

// Reaching OKBtn by any means (Enter, Tab, a click) confirms at once.
void TLogin::OKBtnEnter(TObject& sender) {
  (void)sender;
  SetModalResult(mrOk);
}

}  // namespace qv
