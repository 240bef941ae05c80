// The profiles page of the administration window: its controls; creating,
// changing and deleting profiles; and the pending edit of the selected
// profile, posted when the focus leaves the data sub-page.
#include "qvd3/admin/admin_layout.h"
#include "qvd3/admin/users_adm_qv.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/dialogs/dialog_layout.h"
#include "qvd3/dialogs/dialog_scope.h"
#include "qvd3/dialogs/new_prof_qv.h"

namespace qv {

using admin::FlatButton;
using admin::Place;

void TUsersAdministration::BuildProfilesPage() {
  TDataSource* profiles = Users ? &Users->dsProfiles : nullptr;

  Panel3 = admin::PlaceAligned<TPanel>(this, tsProfiles, "Panel3", alTop, 26);
  Panel3->SetBevelOuter(bvNone);
  Panel3->SetBevelInner(bvLowered);
  Panel3->SetCaption("");
  Panel3->SetShowHint(true);
  sbNewProfile = FlatButton(this, Panel3, "sbNewProfile", 2, 3, 90, 20, "New profile");
  sbChangeProfileData = FlatButton(this, Panel3, "sbChangeProfileData", 92, 3, 90, 20, "Change");
  sbProfileAccess = FlatButton(this, Panel3, "sbProfileAccess", 182, 3, 90, 20, "Access");
  sbDeleteProfile = FlatButton(this, Panel3, "sbDeleteProfile", 272, 3, 90, 20, "Delete profile");

  pcProfiles = admin::PlaceAligned<TPageControl>(this, tsProfiles, "pcProfiles", alClient);
  tsProfilesList = admin::AddPage(this, pcProfiles, "tsProfilesList", "Profiles list");
  tsProfilesData = admin::AddPage(this, pcProfiles, "tsProfilesData", "Profile data");

  DBGridProfiles =
      admin::ListGrid(this, tsProfilesList, "DBGridProfiles", profiles, true,
                      {{"PROF_DESCRIPTION", 219}, {"CalcMustChangePwd", 100}, {"INTERVAL_CHANGE_PWD", 120},
                       {"ItemNotAutorized", 118}});

  DBEdit5 = Place<TDBEdit>(this, tsProfilesData, "DBEdit5", 8, 24, 220, 21);
  BindColumn(*DBEdit5, profiles, "PROF_DESCRIPTION");
  DBEdit5->SetMaxLength(30);
  DBEdit5->SetTabOrder(0);
  cbxMUST_CHANGE_PWD = Place<TDBCheckBox>(this, tsProfilesData, "cbxMUST_CHANGE_PWD", 8, 58, 150, 17);
  BindColumn(*cbxMUST_CHANGE_PWD, profiles, "MUST_CHANGE_PWD");
  cbxMUST_CHANGE_PWD->SetTabOrder(1);
  DBEdit6 = Place<TDBEdit>(this, tsProfilesData, "DBEdit6", 176, 72, 120, 21);
  BindColumn(*DBEdit6, profiles, "INTERVAL_CHANGE_PWD");
  DBEdit6->SetTabOrder(2);
  cbxAUDIT_MODEProfile = Place<TDBCheckBox>(this, tsProfilesData, "cbxAUDIT_MODEProfile", 8, 104, 150, 17);
  BindColumn(*cbxAUDIT_MODEProfile, profiles, "AUDIT_MODE");
  cbxAUDIT_MODEProfile->SetTabOrder(3);
  rgpHIDE_DISABLE_MENU = Place<TDBRadioGroup>(this, tsProfilesData, "rgpHIDE_DISABLE_MENU", 8, 132, 288, 41);
  BindColumn(*rgpHIDE_DISABLE_MENU, profiles, "HIDE_DISABLE_MENU");
  rgpHIDE_DISABLE_MENU->SetColumns(2);
  rgpHIDE_DISABLE_MENU->Items().Assign({"Hidden", "Disabled"});
  rgpHIDE_DISABLE_MENU->Values().Assign({"1", "2"});
  rgpHIDE_DISABLE_MENU->SetTabOrder(4);
  DBNavigator3 = Place<TDBNavigator>(this, tsProfilesData, "DBNavigator3", 8, 188, 120, 25);
  DBNavigator3->SetDataSource(profiles);
  DBNavigator3->SetVisibleButtons({nbFirst, nbPrior, nbNext, nbLast});
  DBNavigator3->SetTabOrder(5);

  lblPROF_DESCRIPTION = Place<TLabel>(this, tsProfilesData, "lblPROF_DESCRIPTION", 8, 8, 220, 13);
  lblPROF_DESCRIPTION->SetFocusControl(DBEdit5);
  lblINTERVAL_CHANGE_PWD = Place<TLabel>(this, tsProfilesData, "lblINTERVAL_CHANGE_PWD", 176, 56, 150, 13);
  lblINTERVAL_CHANGE_PWD->SetFocusControl(DBEdit6);
  pcProfiles->SetActivePage(tsProfilesData);
}

void TUsersAdministration::BindProfilesPage() {
  sbNewProfile->OnClick = [this](TObject& s) { sbNewProfileClick(s); };
  sbChangeProfileData->OnClick = [this](TObject& s) { sbChangeProfileDataClick(s); };
  sbProfileAccess->OnClick = [this](TObject& s) { sbProfileAccessClick(s); };
  sbDeleteProfile->OnClick = [this](TObject& s) { sbDeleteProfileClick(s); };
  tsProfilesData->OnEnter = [this](TObject& s) { tsProfilesDataEnter(s); };
  tsProfilesData->OnExit = [this](TObject& s) { tsProfilesDataExit(s); };
  cbxMUST_CHANGE_PWD->OnClick = [this](TObject& s) { cbxMUST_CHANGE_PWDClick(s); };
}

namespace {

bool ProfilesListed() { return Users && Users->qryProfiles.Active() && !Users->qryProfiles.IsEmpty(); }

}  // namespace

// The sub-page shown is left as it is. A creation that does not end stored
// leaves the table unchanged and the list on the profile selected before.
void TUsersAdministration::sbNewProfileClick(TObject& sender) {
  TUsers& dm = *Users;
  ClearAccessHooks();
  tsProfilesDataExit(sender);
  struct Finally {
    TUsersAdministration& window;
    ~Finally() { window.EnableProfilesButtons(); }
  } finally{*this};
  const Value previous = ProfilesListed() ? dm.qryProfiles.FieldByName("PROF_ID").AsValue() : Value();
  auto backToPrevious = [&] {
    if (dm.qryProfiles.State() == TDataSetState::Insert) dm.qryProfiles.Cancel();
    if (!previous.IsNull()) dm.qryProfiles.Locate("PROF_ID", previous);
  };
  dm.qryProfiles.Insert();
  try {
    DialogScope<TNewProfile> dialog(uNewProfile);
    if (dialog->ShowModal() == mrOk) {
      dm.PostNewProfile(FAppKey);
    } else {
      backToPrevious();
    }
  } catch (...) {
    backToPrevious();
    throw;
  }
}

void TUsersAdministration::sbChangeProfileDataClick(TObject&) {
  if (!ProfilesListed()) return;
  pcProfiles->SetActivePage(tsProfilesData);
  Users->qryProfiles.Edit();
  if (DBEdit5->CanFocus()) DBEdit5->SetFocus();
}

void TUsersAdministration::sbProfileAccessClick(TObject& sender) {
  if (!ProfilesListed()) return;
  PageControl->SetActivePage(tsPrograms);
  pcPrograms->SetActivePage(tsProfilesProgs);
  pcProgramsChange(sender);
}

// A No to the data module's question ends the delete silently (EAbort).
// The former members keep their rights rows and have no profile.
void TUsersAdministration::sbDeleteProfileClick(TObject&) {
  if (!ProfilesListed()) return;
  Users->qryProfiles.Delete();
  pcProfiles->SetActivePage(tsProfilesList);
  EnableProfilesButtons();
}

// Entering does not start an edit: a change in any control does that.
void TUsersAdministration::tsProfilesDataEnter(TObject&) {
  DBEdit6->SetEnabled(cbxMUST_CHANGE_PWD->Checked());
  if (DBEdit5->CanFocus() && !DBEdit5->Focused()) DBEdit5->SetFocus();
}

// A pending edit of the profile is stored; a row being inserted is the
// creation's to finish.
void TUsersAdministration::tsProfilesDataExit(TObject&) {
  if (Users->qryProfiles.State() == TDataSetState::Edit) Users->qryProfiles.Post();
}

void TUsersAdministration::cbxMUST_CHANGE_PWDClick(TObject&) {
  DBEdit6->SetEnabled(cbxMUST_CHANGE_PWD->Checked());
}

}  // namespace qv
