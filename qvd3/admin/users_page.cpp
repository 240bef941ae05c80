// The users page of the administration window: its controls; creating,
// changing and deleting users and resetting a password; and the
// pending-edit rules of the selected user (edit mode on entering the data
// sub-page, the state row stored on leaving it and kept on the selected
// user, the users row posted on entering the list).
#include <string>

#include "qvd3/admin/admin_layout.h"
#include "qvd3/admin/users_adm_qv.h"
#include "qvd3/dialogs/dialog_layout.h"
#include "qvd3/component/date_format.h"
#include "qvd3/component/password.h"
#include "qvd3/component/password_display.h"
#include "qvd3/component/quarvel_res.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/dialogs/dialog_scope.h"
#include "qvd3/dialogs/new_user_qv.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/ui/application.h"

namespace qv {

using admin::FlatButton;
using admin::Place;

namespace {

std::string UserFilter(int userId) { return "USER_ID=" + std::to_string(userId); }

// "Senha (Codificada)": the scrambled password of the selected user, one
// readable character per stored byte (it may hold any byte, NUL included).
class TScrambledPasswordEdit : public TDBEdit {
 public:
  using TDBEdit::TDBEdit;

 protected:
  void DataChanged() override {
    TField* field = Field();
    SetText(field != nullptr ? ScrambledPasswordText(field->AsString()) : std::string());
  }
};

}  // namespace

void TUsersAdministration::BuildUsersPage() {
  TDataSource* users = Users ? &Users->dsUsers : nullptr;
  TDataSource* userInfo = Users ? &Users->dsUserInfo : nullptr;
  TDataSource* profiles = Users ? &Users->dsProfiles : nullptr;
  TDataSource* history = Users ? &Users->dsHistory : nullptr;

  ToolBar = admin::PlaceAligned<TToolBar>(this, tsUsers, "ToolBar", alTop, 26);
  ToolBar->SetShowHint(true);
  sbNewUser = FlatButton(this, ToolBar, "sbNewUser", 0, 2, 90, 20, "New user");
  sbChangeUserData = FlatButton(this, ToolBar, "sbChangeUserData", 90, 2, 90, 20, "Change");
  sbUserAccess = FlatButton(this, ToolBar, "sbUserAccess", 180, 2, 90, 20, "Access");
  sbDeleteUser = FlatButton(this, ToolBar, "sbDeleteUser", 270, 2, 90, 20, "Delete user");

  pcUsers = admin::PlaceAligned<TPageControl>(this, tsUsers, "pcUsers", alClient);
  tsUsersList = admin::AddPage(this, pcUsers, "tsUsersList", "Users list");
  tsUsersData = admin::AddPage(this, pcUsers, "tsUsersData", "User data");

  DBGridUsers = admin::ListGrid(this, tsUsersList, "DBGridUsers", users, true,
                                {{"USERQV_NAME", 82}, {"REAL_NAME", 243}, {"PROFILE", 188}, {"CalcUserActive", 79}});

  // The password history on the right of the data sub-page.
  Panel4 = admin::PlainPanel(this, tsUsersData, "Panel4", alRight, 260);
  PanelPwdHistory = admin::PlaceAligned<TPanel>(this, Panel4, "PanelPwdHistory", alTop, 20);
  PanelPwdHistory->SetAlignment(taLeftJustify);
  PanelPwdHistory->SetColor(clActiveCaption);
  PanelPwdHistory->SetCaption(" Password history");
  DBNavigator1 = admin::PlaceAligned<TDBNavigator>(this, Panel4, "DBNavigator1", alTop, 25);
  DBNavigator1->SetDataSource(history);
  DBNavigator1->SetVisibleButtons({nbFirst, nbPrior, nbNext, nbLast, nbDelete});
  DBGridPwdHistory = admin::PlaceAligned<TDBGrid>(this, Panel4, "DBGridPwdHistory", alClient);
  DBGridPwdHistory->SetDataSource(history);
  DBGridPwdHistory->SetOptions(
      {dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgRowSelect, dgAlwaysShowSelection, dgConfirmDelete});
  DBGridPwdHistory->AddColumn("USER_PWD", "USER_PWD", 91);
  DBGridPwdHistory->AddColumn("CHANGE_DATE", "CHANGE_DATE", 91);

  // The user's own data.
  DBEdit1 = Place<TDBEdit>(this, tsUsersData, "DBEdit1", 8, 24, 160, 21);
  BindColumn(*DBEdit1, users, "USERQV_NAME");
  DBEdit1->SetTabOrder(0);
  DBEdit2 = Place<TDBEdit>(this, tsUsersData, "DBEdit2", 176, 24, 170, 21);
  BindColumn(*DBEdit2, users, "REAL_NAME");
  DBEdit2->SetTabOrder(1);
  DBEdit3 = Place<TScrambledPasswordEdit>(this, tsUsersData, "DBEdit3", 8, 68, 160, 21);
  BindColumn(*DBEdit3, users, "USER_PWD");
  DBEdit3->SetEnabled(false);
  DBLookupComboBox1 = Place<TDBLookupComboBox>(this, tsUsersData, "DBLookupComboBox1", 176, 68, 170, 21);
  BindColumn(*DBLookupComboBox1, users, "PROFILE");
  DBLookupComboBox1->SetListSource(profiles);
  DBLookupComboBox1->SetKeyField("PROF_ID");
  DBLookupComboBox1->SetListField("PROF_DESCRIPTION");
  DBLookupComboBox1->SetTabOrder(2);
  cbxUSER_EXPIRE = Place<TDBCheckBox>(this, tsUsersData, "cbxUSER_EXPIRE", 8, 114, 150, 17);
  BindColumn(*cbxUSER_EXPIRE, userInfo, "USER_EXPIRE");
  cbxUSER_EXPIRE->SetTabOrder(3);
  DBDateTimePicker1 = Place<TDateTimePicker>(this, tsUsersData, "DBDateTimePicker1", 176, 112, 100, 21);
  DBDateTimePicker1->SetTabOrder(4);
  cbxAUDIT_MODE = Place<TDBCheckBox>(this, tsUsersData, "cbxAUDIT_MODE", 8, 138, 150, 17);
  BindColumn(*cbxAUDIT_MODE, users, "AUDIT_MODE");
  cbxAUDIT_MODE->SetTabOrder(5);
  cbxUSER_ACTIVE = Place<TDBCheckBox>(this, tsUsersData, "cbxUSER_ACTIVE", 8, 162, 150, 17);
  BindColumn(*cbxUSER_ACTIVE, userInfo, "USER_ACTIVE");
  cbxUSER_ACTIVE->SetTabOrder(6);
  DBEdit4 = Place<TDBEdit>(this, tsUsersData, "DBEdit4", 176, 158, 100, 21);
  BindColumn(*DBEdit4, users, "LAST_PWD_CHANGE");
  DBEdit4->SetReadOnly(true);
  DBEdit4->SetTabOrder(7);
  btnChangePassword = Place<TButton>(this, tsUsersData, "btnChangePassword", 8, 196, 110, 25);
  btnChangePassword->SetCaption("Change password");
  btnChangePassword->SetShowHint(true);
  btnChangePassword->SetTabOrder(8);
  DBNavigator2 = Place<TDBNavigator>(this, tsUsersData, "DBNavigator2", 8, 236, 120, 25);
  DBNavigator2->SetDataSource(users);
  DBNavigator2->SetVisibleButtons({nbFirst, nbPrior, nbNext, nbLast});

  lblUSER_NAME = Place<TLabel>(this, tsUsersData, "lblUSER_NAME", 8, 8, 160, 13);
  lblUSER_NAME->SetFocusControl(DBEdit1);
  lblREAL_NAME = Place<TLabel>(this, tsUsersData, "lblREAL_NAME", 176, 8, 170, 13);
  lblREAL_NAME->SetFocusControl(DBEdit2);
  lblPASSWORD = Place<TLabel>(this, tsUsersData, "lblPASSWORD", 8, 52, 160, 13);
  lblPROFILE = Place<TLabel>(this, tsUsersData, "lblPROFILE", 176, 52, 170, 13);
  lblPROFILE->SetFocusControl(DBLookupComboBox1);
  lblEXPIRATION_DATE = Place<TLabel>(this, tsUsersData, "lblEXPIRATION_DATE", 176, 96, 170, 13);
  lblLAST_PWD_CHANGE = Place<TLabel>(this, tsUsersData, "lblLAST_PWD_CHANGE", 176, 142, 170, 13);
  pcUsers->SetActivePage(tsUsersData);
}

void TUsersAdministration::BindUsersPage() {
  sbNewUser->OnClick = [this](TObject& s) { sbNewUserClick(s); };
  sbChangeUserData->OnClick = [this](TObject& s) { sbChangeUserDataClick(s); };
  sbUserAccess->OnClick = [this](TObject& s) { sbUserAccessClick(s); };
  sbDeleteUser->OnClick = [this](TObject& s) { sbDeleteUserClick(s); };
  btnChangePassword->OnClick = [this](TObject& s) { btnChangePasswordClick(s); };
  pcUsers->OnChange = [this](TObject& s) { pcUsersChange(s); };
  pcUsers->OnEnter = [this](TObject& s) { pcUsersChange(s); };
  pcUsers->OnExit = [this](TObject& s) { tsUsersDataExit(s); };
  tsUsersData->OnExit = [this](TObject& s) { tsUsersDataExit(s); };
  tsUsersData->OnEnter = [this](TObject& s) { tsUsersDataEnter(s); };
  tsUsersList->OnEnter = [this](TObject& s) { tsUsersListEnter(s); };
  cbxUSER_EXPIRE->OnClick = [this](TObject& s) { cbxUSER_EXPIREClick(s); };
  cbxAUDIT_MODE->OnClick = [this](TObject& s) { cbxUSER_EXPIREClick(s); };
  if (Users) {
    usersWatch_.SetDataSet(&Users->qryUsers);
    usersWatch_.OnDataChange = [this](TDataSource&, TField* field) {
      if (field == nullptr) SelectedUserChanged();
    };
  }
}

bool TUsersAdministration::UsersListed() const {
  return Users && Users->qryUsers.Active() && !Users->qryUsers.IsEmpty();
}

// ---- Creating, changing, deleting ----------------------------------------

void TUsersAdministration::sbNewUserClick(TObject&) {
  TUsers& dm = *Users;
  ClearAccessHooks();
  tsUsersDataExit(*tsUsersData);
  // Whatever happens from here, the leave step comes back and the buttons
  // match the list.
  usersLeaveSuspended_ = true;
  struct Finally {
    TUsersAdministration& window;
    ~Finally() {
      window.usersLeaveSuspended_ = false;
      window.EnableUsersButtons();
    }
  } finally{*this};
  pcUsers->SetActivePage(tsUsersList);

  const Value previous = UsersListed() ? dm.qryUsers.FieldByName("USER_ID").AsValue() : Value();
  // A creation that does not end stored leaves the table unchanged and the
  // list on the user selected before.
  auto backToPrevious = [&] {
    if (dm.qryUsers.State() == TDataSetState::Insert) dm.qryUsers.Cancel();
    if (!previous.IsNull()) dm.qryUsers.Locate("USER_ID", previous);
  };
  dm.qryUsers.Insert();
  try {
    DialogScope<TNewUser> dialog(uNewUser);
    if (dialog->ShowModal() != mrOk) {
      backToPrevious();
      return;
    }
    TField& password = dm.qryUsers.FieldByName("USER_PWD");
    password.SetValue(Value::Bytes(EncodePassword(password.AsString())));
    dm.qryUsers.FieldByName("LAST_PWD_CHANGE").SetAsString(TodayDateText());
    dm.PostNewUser(FAppKey);
  } catch (const EDatabaseError& error) {
    backToPrevious();
    if (error.IsKeyViolation()) throw Exception(LoadStr(kStrUserAlreadyExists));
    throw;
  } catch (...) {
    backToPrevious();
    throw;
  }
}

void TUsersAdministration::sbChangeUserDataClick(TObject& sender) {
  if (!UsersListed()) return;
  pcUsers->SetActivePage(tsUsersData);
  if (Users->qryUsers.State() != TDataSetState::Edit) tsUsersDataEnter(sender);
  if (DBEdit1->CanFocus()) DBEdit1->SetFocus();
}

void TUsersAdministration::sbUserAccessClick(TObject& sender) {
  tsUsersDataExit(sender);
  if (!UsersListed()) return;
  PageControl->SetActivePage(tsPrograms);
  pcPrograms->SetActivePage(tsUsersProgs);
  pcProgramsChange(sender);
}

// A No to the data module's question ends the delete silently (EAbort).
void TUsersAdministration::sbDeleteUserClick(TObject&) {
  if (!UsersListed()) return;
  Users->qryUsers.Delete();
  pcUsers->SetActivePage(tsUsersList);
  EnableUsersButtons();
}

// Any non-empty text is a password, blanks included. A store that fails
// leaves the password and its date as they were, also in the row still
// being edited.
void TUsersAdministration::btnChangePasswordClick(TObject&) {
  if (!UsersListed()) return;
  std::string text;
  for (;;) {
    text.clear();
    if (!InputQuery(LoadStr(kStrChangePasswordCaption), LoadStr(kStrNewPasswordPrompt), text)) return;
    if (!text.empty()) break;
    MessageDlg(LoadStr(kStrInvalidPassword), mtError, {mbOK});
  }
  TUsers& dm = *Users;
  dm.StorePassword(text);
  dm.qryHistory.Reopen();
  MessageDlg(LoadStr(kStrPasswordChanged), mtInformation, {mbOK});
}

// ---- The data sub-page and the selected user's state row ---------------------

// Back on the list, the pending edit of the user is stored at once, with
// the rights its profile derives: stored only at a later cursor move, it
// would overwrite rights applied in between on the access page.
void TUsersAdministration::pcUsersChange(TObject& sender) {
  if (pcUsers->ActivePage() == tsUsersList) {
    tsUsersListEnter(sender);
  } else if (pcUsers->ActivePage() == tsUsersData && Users->qryUsers.State() != TDataSetState::Edit) {
    tsUsersDataEnter(sender);
  }
}

// The selected user goes into edit mode (the data module remembers the
// profile now), and the picker shows the expiration date of the user's
// state row in this application.
void TUsersAdministration::tsUsersDataEnter(TObject&) {
  if (!UsersListed()) return;
  Users->qryUsers.Edit();
  SelectedUserChanged();
  LoadUserState();
  if (DBEdit1->CanFocus()) DBEdit1->SetFocus();
}

// The user's state row is stored with the picker's date, whether or not the
// user expires, and with any change of its check boxes. The users row
// itself stays in edit mode.
void TUsersAdministration::tsUsersDataExit(TObject&) {
  if (usersLeaveSuspended_ || !UsersListed()) return;
  StoreUserState();
}

// A pending edit of the users row is stored; a row being inserted is the
// creation's to finish.
void TUsersAdministration::tsUsersListEnter(TObject&) {
  if (Users->qryUsers.State() == TDataSetState::Edit) Users->qryUsers.Post();
}

void TUsersAdministration::cbxUSER_EXPIREClick(TObject&) {
  DBDateTimePicker1->SetEnabled(cbxUSER_EXPIRE->Checked());
}

// Only while the window shows: the opening's own walks over the list keep
// the state rows' filter themselves. A row being inserted has no user yet.
void TUsersAdministration::SelectedUserChanged() {
  if (!Showing() || !UsersListed() || Users->qryUsers.State() == TDataSetState::Insert) return;
  TUsers& dm = *Users;
  const int userId = dm.qryUsers.FieldByName("USER_ID").AsInteger();
  if (userId == stateUserId_ && dm.qryUserInfo.Filtered() && dm.qryUserInfo.Filter() == UserFilter(userId))
    return;
  const bool dataShown = pcUsers->ActivePage() == tsUsersData;
  if (dataShown && !usersLeaveSuspended_) StoreUserState();
  stateUserId_ = userId;
  dm.qryUserInfo.SetFiltered(true);
  dm.qryUserInfo.SetFilter(UserFilter(userId));
  if (dataShown) LoadUserState();
}

// The date goes only into the row it was loaded from; when the state row
// belongs to another user by now, only its check boxes' changes are posted.
void TUsersAdministration::StoreUserState() {
  TUsers& dm = *Users;
  if (!dm.qryUserInfo.Active() || dm.qryUserInfo.IsEmpty()) return;
  // Storing the row reloads the check box; its click reaction waits.
  TNotifyEvent reaction = std::move(cbxUSER_EXPIRE->OnClick);
  cbxUSER_EXPIRE->OnClick = nullptr;
  struct Restore {
    TDBCheckBox* box;
    TNotifyEvent& reaction;
    ~Restore() { box->OnClick = std::move(reaction); }
  } restore{cbxUSER_EXPIRE, reaction};
  if (pickerUserId_ != 0 && dm.qryUserInfo.FieldByName("USER_ID").AsInteger() == pickerUserId_) {
    dm.qryUserInfo.Edit();
    dm.qryUserInfo.FieldByName("EXPIRATION_DATE").SetAsString(DateToStr(DBDateTimePicker1->Date()));
  }
  if (dm.qryUserInfo.State() == TDataSetState::Edit) dm.qryUserInfo.Post();
}

// A stored date that does not read as one fails with the conversion error
// and leaves the picker as it was.
void TUsersAdministration::LoadUserState() {
  TUsers& dm = *Users;
  pickerUserId_ = 0;
  if (dm.qryUserInfo.IsEmpty()) return;
  DBDateTimePicker1->SetDate(StrToDate(dm.qryUserInfo.FieldByName("EXPIRATION_DATE").AsString()));
  pickerUserId_ = dm.qryUserInfo.FieldByName("USER_ID").AsInteger();
  DBDateTimePicker1->SetEnabled(cbxUSER_EXPIRE->Checked());
}

}  // namespace qv
