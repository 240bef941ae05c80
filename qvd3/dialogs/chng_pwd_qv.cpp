#include "qvd3/dialogs/chng_pwd_qv.h"

#include "qvd3/component/quarvel_res.h"
#include "qvd3/data/schema.h"
#include "qvd3/dialogs/dialog_layout.h"
#include "qvd3/platform/ui/application.h"

namespace qv {

TMudaPwd* uMudaPwd = nullptr;

namespace {

// Texts the window definition stores. They only stand in until the first
// activation, which replaces every one of them from the string table.
constexpr const char* kStoredCaption = "Change password";
constexpr const char* kStoredOldPasswordLabel = "&Old password:";
constexpr const char* kStoredNewPasswordLabel = "N&ew password:";
constexpr const char* kStoredPasswordAgainLabel = "Re&type new password:";
constexpr const char* kStoredOk = "OK";
constexpr const char* kStoredCancel = "Cancel";

constexpr int kEditWidth = 217;

// The stored properties shared by the three password boxes.
void PlacePasswordEdit(TEdit& edit, TWinControl& parent, const char* name, int top, int tabOrder) {
  PlaceEdit(edit, parent, name, 8, top, kEditWidth, tabOrder);
  edit.SetMaxLength(kPasswordMaxChars);
  edit.SetPasswordChar(U'*');
}

void ShowWarning(int entry) { MessageDlg(LoadStr(entry), mtWarning, {mbOK}); }

}  // namespace

// The window definition: the controls in declaration order, each given its
// stored properties while the form is being read, and the event bindings.
TMudaPwd::TMudaPwd(TComponent* owner) : TForm(owner) {
  ReadForm(*this, [this] {
    SetName("MudaPwd");
    SetCaption(kStoredCaption);
    SetBorderStyle(bsDialog);
    SetBorderIcons({biSystemMenu});
    SetPosition(poScreenCenter);
    SetClientWidth(236);
    SetClientHeight(184);
    SetFont(TFont{"Arial", -11, false});
    SetKeyPreview(true);

    Panel1 = new TPanel(this);
    Panel3 = new TPanel(this);
    lblOldPassword = new TLabel(this);
    lblNewPassword = new TLabel(this);
    lblPasswordAgain = new TLabel(this);
    SenhaAntiga = new TEdit(this);
    OKBtn = new TButton(this);
    CancelBtn = new TButton(this);
    Password1 = new TEdit(this);
    Password2 = new TEdit(this);

    PlaceDialogPanels(*this, *Panel1, *Panel3);
    PlaceLabel(*lblOldPassword, *Panel3, "lblOldPassword", 8, 9, kEditWidth, kStoredOldPasswordLabel,
               SenhaAntiga);
    PlaceLabel(*lblNewPassword, *Panel3, "lblNewPassword", 8, 55, kEditWidth, kStoredNewPasswordLabel,
               Password1);
    PlaceLabel(*lblPasswordAgain, *Panel3, "lblPasswordAgain", 8, 102, kEditWidth,
               kStoredPasswordAgainLabel, Password2);
    PlacePasswordEdit(*SenhaAntiga, *Panel3, "SenhaAntiga", 28, 0);
    PlaceButton(*OKBtn, *Panel3, "OKBtn", 72, 149, kStoredOk, 3);
    PlaceButton(*CancelBtn, *Panel3, "CancelBtn", 153, 149, kStoredCancel, 4, mrCancel, true);
    PlacePasswordEdit(*Password1, *Panel3, "Password1", 72, 1);
    PlacePasswordEdit(*Password2, *Panel3, "Password2", 119, 2);

    OnActivate = [this](TObject& sender) { FormActivate(sender); };
    OnKeyDown = [this](TObject& sender, Word& key, TShiftState shift) { FormKeyDown(sender, key, shift); };
    SenhaAntiga->OnExit = [this](TObject& sender) { SenhaAntigaExit(sender); };
    OKBtn->OnClick = [this](TObject& sender) { OKBtnClick(sender); };
  });
}

// The global names the dialog only while it exists, even if its holder
// forgets to clear it.
TMudaPwd::~TMudaPwd() {
  if (uMudaPwd == this) uMudaPwd = nullptr;
}

// Every activation shows the texts of the string table; this also runs when
// one of the dialog's own warnings closes. The focus is left alone: the
// first showing starts in SenhaAntiga (first in tab order), a repeated one
// where the owner put it, and after a warning where the check put it.
void TMudaPwd::FormActivate(TObject& sender) {
  (void)sender;
  SetCaption(LoadStr(40101));
  lblOldPassword->SetCaption(LoadStr(40102));
  lblNewPassword->SetCaption(LoadStr(40103));
  lblPasswordAgain->SetCaption(LoadStr(40104));
  OKBtn->SetCaption(LoadStr(40105));
  CancelBtn->SetCaption(LoadStr(40106));
}

// Enter in an edit box walks on to the next control in tab order; from
// Password2 that is OKBtn, which only gets the focus. The form sees keys
// before its controls, Enter on a focused button included: that key is left
// alone so the button presses itself.
void TMudaPwd::FormKeyDown(TObject& sender, Word& key, TShiftState shift) {
  (void)sender;
  (void)shift;
  AdvanceOnEnter(*this, key);
}

// The current password is checked as the focus leaves its box, so that a
// wrong one is pointed out at once. ActiveControl already names the control
// receiving the focus; moving to CancelBtn means the person is leaving and
// is not held up by a wrong password. The focus can still reach OK by other
// paths (Shift+Tab through CancelBtn, a mouse press on Cancel released
// elsewhere), so OK checks again.
void TMudaPwd::SenhaAntigaExit(TObject& sender) {
  (void)sender;
  if (ActiveControl() == CancelBtn) return;
  if (CurrentPasswordRight()) return;
  ShowWarning(kStrInvalidPassword);
  SenhaAntiga->SetFocus();
}

bool TMudaPwd::CurrentPasswordRight() {
  return CheckCurrent ? CheckCurrent(SenhaAntiga->Text()) : SenhaAntiga->Text() == OldPassword;
}

// The current password must be the one the owner gave, whatever path the
// focus took to OK; the new password must be typed twice alike (letter case
// counts) and must not be empty. Each failure keeps the dialog open with the
// focus in the box to correct.
void TMudaPwd::OKBtnClick(TObject& sender) {
  (void)sender;
  if (!CurrentPasswordRight()) {
    ShowWarning(kStrInvalidPassword);
    SenhaAntiga->SetFocus();
  } else if (Password1->Text() != Password2->Text()) {
    ShowWarning(kStrPasswordsDiffer);
    Password1->SetFocus();
  } else if (Password1->Text().empty()) {
    ShowWarning(kStrInvalidPassword);
    Password1->SetFocus();
  } else {
    SetModalResult(mrOk);
  }
}

}  // namespace qv
