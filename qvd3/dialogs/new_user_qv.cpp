#include "qvd3/dialogs/new_user_qv.h"

#include <algorithm>
#include <string>

#include "qvd3/component/date_format.h"
#include "qvd3/component/quarvel_res.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/data/schema.h"
#include "qvd3/dialogs/dialog_layout.h"
#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/ui/application.h"

namespace qv {

TNewUser* uNewUser = nullptr;

namespace {

// Texts the window definition stores. They only stand in until the first
// activation, which replaces every one of them from the string table.
constexpr const char* kStoredCaption = "New user";
constexpr const char* kStoredUserNameLabel = "&User name:";
constexpr const char* kStoredRealNameLabel = "&Real name:";
constexpr const char* kStoredPasswordLabel = "&Password:";
constexpr const char* kStoredProfileLabel = "Profile";
constexpr const char* kStoredOk = "OK";
constexpr const char* kStoredCancel = "Cancel";
constexpr const char* kStoredAuditMode = "Audit mode";

// Column widths in characters, as the users table holds them.
constexpr int kUserNameWidth = 10;
constexpr int kRealNameWidth = 40;

// A text the way the password check sees it: nothing left once leading and
// trailing blanks (and control characters) are removed.
bool OnlyBlanks(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

}  // namespace

// The window definition: the controls in declaration order, each given its
// stored properties while the form is being read, and the event bindings.
TNewUser::TNewUser(TComponent* owner) : TForm(owner) {
  TDataSource* users = Users != nullptr ? &Users->dsUsers : nullptr;
  TDataSource* profiles = Users != nullptr ? &Users->dsProfiles : nullptr;
  ReadForm(*this, [this, users, profiles] {
    SetName("NewUser");
    SetCaption(kStoredCaption);
    SetBorderStyle(bsSingle);
    SetBorderIcons({biSystemMenu});
    SetPosition(poScreenCenter);
    SetClientWidth(265);
    SetClientHeight(253);
    SetFont(TFont{"Arial", -11, false});
    SetKeyPreview(true);

    Panel1 = new TPanel(this);
    Panel3 = new TPanel(this);
    lblUSER_NAME = new TLabel(this);
    lblREAL_NAME = new TLabel(this);
    lblPASSWORD = new TLabel(this);
    lblPROFILE = new TLabel(this);
    DBEdit1 = new TDBEdit(this);
    DBEdit2 = new TDBEdit(this);
    DBEdit3 = new TDBEdit(this);
    DBLookupComboBox1 = new TDBLookupComboBox(this);
    OKBtn = new TButton(this);
    CancelBtn = new TButton(this);
    cbxAUDIT_MODE = new TDBCheckBox(this);

    PlaceDialogPanels(*this, *Panel1, *Panel3);
    PlaceLabel(*lblUSER_NAME, *Panel3, "lblUSER_NAME", 8, 4, 93, kStoredUserNameLabel, DBEdit1);
    PlaceLabel(*lblREAL_NAME, *Panel3, "lblREAL_NAME", 8, 48, 241, kStoredRealNameLabel, DBEdit2);
    PlaceLabel(*lblPASSWORD, *Panel3, "lblPASSWORD", 8, 93, 93, kStoredPasswordLabel, DBEdit3);
    PlaceLabel(*lblPROFILE, *Panel3, "lblPROFILE", 8, 136, 242, kStoredProfileLabel, DBLookupComboBox1);

    PlaceEdit(*DBEdit1, *Panel3, "DBEdit1", 8, 20, 93, 0);
    DBEdit1->SetMaxLength(kUserNameWidth);
    BindColumn(*DBEdit1, users, "USERQV_NAME");
    PlaceEdit(*DBEdit2, *Panel3, "DBEdit2", 8, 64, 241, 1);
    DBEdit2->SetMaxLength(kRealNameWidth);
    BindColumn(*DBEdit2, users, "REAL_NAME");
    // The initial password is shown in clear: the administrator hands it on.
    PlaceEdit(*DBEdit3, *Panel3, "DBEdit3", 8, 109, 93, 2);
    DBEdit3->SetMaxLength(kPasswordMaxChars);
    BindColumn(*DBEdit3, users, "USER_PWD");

    DBLookupComboBox1->SetName("DBLookupComboBox1");
    DBLookupComboBox1->SetParent(Panel3);
    DBLookupComboBox1->SetBounds(8, 152, 242, 21);
    DBLookupComboBox1->SetTabOrder(3);
    DBLookupComboBox1->SetListSource(profiles);
    DBLookupComboBox1->SetKeyField("PROF_ID");
    DBLookupComboBox1->SetListField("PROF_DESCRIPTION");
    BindColumn(*DBLookupComboBox1, users, "PROFILE");

    PlaceButton(*OKBtn, *Panel3, "OKBtn", 100, 213, kStoredOk, 4);
    OKBtn->SetWidth(71);
    PlaceButton(*CancelBtn, *Panel3, "CancelBtn", 177, 213, kStoredCancel, 5, mrCancel, true);
    PlaceCheckBox(*cbxAUDIT_MODE, *Panel3, "cbxAUDIT_MODE", 8, 191, 117, kStoredAuditMode, 6, users,
                  "AUDIT_MODE");

    SetActiveControl(DBEdit1);

    OnActivate = [this](TObject& sender) { FormActivate(sender); };
    OnKeyDown = [this](TObject& sender, Word& key, TShiftState shift) { FormKeyDown(sender, key, shift); };
    DBEdit1->OnExit = [this](TObject& sender) { NomeUsuarioExit(sender); };
    DBEdit3->OnEnter = [this](TObject& sender) { DBEdit3Enter(sender); };
    OKBtn->OnClick = [this](TObject& sender) { OKBtnClick(sender); };
  });
}

// The global names the dialog only while it exists, even if its holder
// forgets to clear it.
TNewUser::~TNewUser() {
  if (uNewUser == this) uNewUser = nullptr;
}

// Every activation, also after one of the dialog's own messages, shows the
// texts of the string table. The focus is left where it is.
void TNewUser::FormActivate(TObject&) {
  SetCaption(LoadStr(40017));
  lblUSER_NAME->SetCaption(LoadStr(40018));
  lblPASSWORD->SetCaption(LoadStr(40019));
  lblREAL_NAME->SetCaption(LoadStr(40020));
  OKBtn->SetCaption(LoadStr(40021));
  CancelBtn->SetCaption(LoadStr(40022));
  lblPROFILE->SetCaption(LoadStr(40024));
  cbxAUDIT_MODE->SetCaption(LoadStr(40124));
}

// Enter in an edit box or the profile list walks on in tab order; on a
// button (which the form sees first too) it is left alone so the button
// presses itself.
void TNewUser::FormKeyDown(TObject&, Word& key, TShiftState) {
  AdvanceOnEnter(*this, key, TEnterWalk::EditsAndLists);
}

// ActiveControl already names the control receiving the focus. Moving to
// CancelBtn means the person is leaving: no check, no proposal.
void TNewUser::NomeUsuarioExit(TObject&) {
  if (ActiveControl() == CancelBtn) return;
  const std::string name = DBEdit1->Text();
  if (name.empty()) {
    MessageDlg(LoadStr(kStrInvalidUserName), mtWarning, {mbOK});
    DBEdit1->SetFocus();
    return;
  }
  ProposePassword(name);
}

void TNewUser::DBEdit3Enter(TObject&) {
  if (DBEdit3->Text().empty()) ProposePassword(DBEdit1->Text());
}

// The password is stored as typed, blanks included; only a password of
// nothing but blanks is refused.
void TNewUser::OKBtnClick(TObject&) {
  if (OnlyBlanks(DBEdit3->Text())) throw Exception("Missing password");
  // Stamped before the result is given, so that a failing stamp keeps the
  // dialog open instead of ending it with an unstamped row.
  if (TField* password = DBEdit3->Field())
    password->DataSet().FieldByName("LAST_PWD_CHANGE").SetAsString(TodayDateText());
  SetModalResult(mrOk);
}

// The box and the row must agree: the row's USER_PWD is what the owner
// scrambles and stores.
void TNewUser::ProposePassword(const std::string& password) {
  if (TField* field = DBEdit3->Field()) {
    const TDataSetState state = field->DataSet().State();
    if (state == TDataSetState::Insert || state == TDataSetState::Edit) field->SetAsString(password);
  }
  DBEdit3->SetText(password);
}

}  // namespace qv
