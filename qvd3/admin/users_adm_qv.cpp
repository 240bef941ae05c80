// The administration window's frame: the form itself, the opening (Call),
// the activation texts, page entry and the closing steps. The pages build
// their own controls in their own .cpp files.
#include "qvd3/admin/users_adm_qv.h"

#include <initializer_list>
#include <utility>
#include <vector>

#include "qvd3/component/quarvel_res.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/date_time.h"
#include "qvd3/platform/sys/string_table.h"

namespace qv {

TUsersAdministration* UsersAdministration = nullptr;

DateFormatSlot& UsersAdmDateFormatSlot() {
  static DateFormatSlot slot;
  return slot;
}

namespace {

std::string UserFilter(int userId) { return "USER_ID=" + std::to_string(userId); }

// The value of `field` in the dataset's current row; null when the dataset
// is closed or empty.
Value CurrentValue(TDataSet& dataSet, const char* field) {
  if (!dataSet.Active() || dataSet.IsEmpty()) return Value();
  return dataSet.FieldByName(field).AsValue();
}

// Titles of a grid's columns, from the string table, in column order.
void SetColumnTitles(TDBGrid& grid, std::initializer_list<int> entries) {
  int column = 0;
  for (int entry : entries) grid.Columns(column++).Title.Caption = LoadStr(entry);
  // The column list changes in place; ask the grid to show it again.
  grid.SetOptions(grid.Options());
}

}  // namespace

// The window definition: the form's stored properties, each page's
// controls, and the event bindings.
TUsersAdministration::TUsersAdministration(TComponent* owner) : TForm(owner) {
  ReadForm(*this, [this] {
    SetName("UsersAdministration");
    SetCaption("Users Administration");
    SetBorderStyle(bsSingle);
    SetBorderIcons({biSystemMenu});
    SetPosition(poScreenCenter);
    SetClientWidth(630);
    SetClientHeight(453);
    SetFont(TFont{"Arial", -11, false});
    SetShowHint(true);

    BuildFrame();
    BuildUsersPage();
    BuildProfilesPage();
    BuildAccessPage();
    BuildAuditPage();

    OnCreate = [this](TObject& s) { FormCreate(s); };
    OnDestroy = [this](TObject& s) { FormDestroy(s); };
    OnActivate = [this](TObject& s) { FormActivate(s); };
    OnDeactivate = [this](TObject& s) { FormDeactivate(s); };
    OnCloseQuery = [this](TObject& s, bool& canClose) { FormCloseQuery(s, canClose); };
    PageControl->OnChange = [this](TObject& s) { PageControlChange(s); };
    BindUsersPage();
    BindProfilesPage();
    BindAccessPage();
    BindAuditPage();
  });
}

TUsersAdministration::~TUsersAdministration() {
  // A window freed without closing (an opening that failed) leaves no hook
  // or dataset setting behind.
  ClearAccessHooks();
  TakeBackDatasetSettings();
  Destroying();
  // The controls bound to the data module's sources go before this class's
  // members do.
  DestroyComponents();
  if (UsersAdministration == this) UsersAdministration = nullptr;
}

// A panel with a 2-pixel border holding the page control of the four pages.
// The form's default page is the access-control page; the first activation
// brings the users list forward.
void TUsersAdministration::BuildFrame() {
  Panel1 = new TPanel(this);
  Panel1->SetName("Panel1");
  Panel1->SetParent(this);
  Panel1->SetBevelOuter(bvNone);
  Panel1->SetBorderWidth(2);
  Panel1->SetAlign(alClient);
  Panel1->SetCaption("");

  PageControl = new TPageControl(this);
  PageControl->SetName("PageControl");
  PageControl->SetParent(Panel1);
  PageControl->SetAlign(alClient);
  PageControl->SetTabOrder(0);

  auto page = [this](TTabSheet*& sheet, const char* name, const char* caption) {
    sheet = new TTabSheet(this);
    sheet->SetName(name);
    sheet->SetPageControl(PageControl);
    sheet->SetCaption(caption);
  };
  page(tsUsers, "tsUsers", "Users");
  page(tsProfiles, "tsProfiles", "Profiles");
  page(tsPrograms, "tsPrograms", "Access control");
  page(tsAudit, "tsAudit", "Audit");
  PageControl->SetActivePage(tsPrograms);
}

// ---- Opening ----------------------------------------------------------------

void TUsersAdministration::Call(TMainMenu* menu, const std::string& appKey) {
  TUsers& dm = *Users;
  // 1. The users list leaves out "master" and no longer hands its alias to
  //    the command statements when it reopens.
  dm.qryUsers.AfterOpen = nullptr;
  dm.qryUsers.SetFilter(kNotMasterFilter);
  dm.qryUsers.SetFiltered(true);
  try {
    // 2.
    FAppKey = appKey;
    // 3. The access tree and the catalogue, in one walk over the menu.
    BuildAccessTree(menu);
    // 4. The catalogue captions of this application, read after the walk
    //    so that they include what it catalogued.
    dm.qryMenuCaption.Close();
    dm.qryMenuCaption.ParamByName("APP_KEY").SetAsString(FAppKey);
    dm.qryMenuCaption.Open();
    // 5.
    dm.qryAudit.Reopen();
    // 6.
    AddMissingUserInfo();
    // 7.
    dm.qryUsers.Reopen();
  } catch (...) {
    TakeBackDatasetSettings();
    throw;
  }
  // 8. The closing steps run at the end of the showing (FormDeactivate);
  //    an error that ends the showing early takes the settings back here.
  try {
    ShowModal();
  } catch (...) {
    ClearAccessHooks();
    TakeBackDatasetSettings();
    throw;
  }
}

// Every user the window lists gets a state row in this application, dated
// today, not expiring and active; users that have one are left alone. The
// identifiers are gathered first so that moving the state rows' filter does
// not make every users row recompute its calculated columns.
void TUsersAdministration::AddMissingUserInfo() {
  TUsers& dm = *Users;
  std::vector<int> userIds;
  TField& userId = dm.qryUsers.FieldByName("USER_ID");
  for (dm.qryUsers.First(); !dm.qryUsers.Eof(); dm.qryUsers.Next()) userIds.push_back(userId.AsInteger());
  for (int id : userIds) {
    dm.qryUserInfo.SetFiltered(true);
    dm.qryUserInfo.SetFilter(UserFilter(id));
    if (!dm.qryUserInfo.IsEmpty()) continue;
    dm.qryAdduserInfo.ParamByName("APP_KEY").SetValue(dm.qryProgs.ParamByName("APP_KEY").Value());
    dm.qryAdduserInfo.ParamByName("USER_ID").SetAsInteger(id);
    // The window keeps the pattern normalised, so this is the stored form.
    dm.qryAdduserInfo.ParamByName("EXPIRATION_DATE").SetAsString(DateToStr(Date()));
    dm.qryAdduserInfo.ExecSQL();
    dm.qryUserInfo.Reopen();
  }
}

// ---- Window events ----------------------------------------------------------

void TUsersAdministration::FormCreate(TObject&) { UsersAdmDateFormatSlot().Normalize(); }

void TUsersAdministration::FormDestroy(TObject&) { UsersAdmDateFormatSlot().Restore(); }

void TUsersAdministration::FormActivate(TObject&) {
  // 1. The audit period: the current month.
  int year = 0, month = 0, day = 0;
  DecodeDate(Date(), year, month, day);
  const TDateTime first = EncodeDate(year, month, 1);
  const TDateTime nextFirst = month == 12 ? EncodeDate(year + 1, 1, 1) : EncodeDate(year, month + 1, 1);
  dtpkInicioU->SetDate(first);
  dtpkInicioP->SetDate(first);
  dtpkFimU->SetDate(nextFirst - 1);
  dtpkFimP->SetDate(nextFirst - 1);
  // 2. The audit selectors on the current user and catalogue item.
  if (Users) {
    dblkUserName->SetKeyValue(CurrentValue(Users->qryUsers, "USER_ID"));
    dblkMenuCaption->SetKeyValue(CurrentValue(Users->qryProgs, "MENU_ID"));
  }
  // 3. The users list, and its page entry.
  PageControl->SetActivePage(tsUsers);
  pcUsers->SetActivePage(tsUsersList);
  PageControlChange(*PageControl);
  // 4.
  SetTexts();
}

// The showing has ended: the window's settings of the shared datasets are
// taken back. Dialogs and message boxes opened from the window do not end
// its showing, so this runs only when the window closes.
void TUsersAdministration::FormDeactivate(TObject&) { TakeBackDatasetSettings(); }

void TUsersAdministration::TakeBackDatasetSettings() {
  if (!Users) return;
  TUsers& dm = *Users;
  dm.qryAudit.OnFilterRecord = nullptr;
  if (dm.qryAudit.Filtered() && dm.qryAudit.Filter().empty()) dm.qryAudit.SetFiltered(false);
  if (dm.qryUsers.Filter() == kNotMasterFilter || !dm.qryUsers.AfterOpen) {
    dm.qryUsers.SetFilter("");
    dm.qryUsers.SetFiltered(false);
    TUsers* module = &dm;
    dm.qryUsers.AfterOpen = [module](TDataSet& d) { module->qryUsersAfterOpen(d); };
  }
}

void TUsersAdministration::FormCloseQuery(TObject&, bool& canClose) {
  ClearAccessHooks();
  canClose = true;
}

void TUsersAdministration::sbExitClick(TObject&) { Close(); }

// ---- Page entry -------------------------------------------------------------

void TUsersAdministration::PageControlChange(TObject&) {
  TTabSheet* page = PageControl->ActivePage();
  if (page == tsUsers) {
    EnableUsersButtons();
  } else if (page == tsProfiles) {
    EnableProfilesButtons();
  } else if (page == tsPrograms) {
    tsProgramsEnter(*tsPrograms);
  } else if (page == tsAudit) {
    pcAuditEnter(*pcAudit);
  }
}

// The buttons that act on the selected user, and the user's sub-pages, are
// usable exactly when the list shows a user.
void TUsersAdministration::EnableUsersButtons() {
  const bool any = Users && Users->qryUsers.Active() && !Users->qryUsers.IsEmpty();
  for (TControl* control : std::initializer_list<TControl*>{sbChangeUserData, sbUserAccess, sbDeleteUser, pcUsers})
    control->SetEnabled(any);
  sbNewUser->SetEnabled(true);
}

void TUsersAdministration::EnableProfilesButtons() {
  const bool any = Users && Users->qryProfiles.Active() && !Users->qryProfiles.IsEmpty();
  for (TControl* control :
       std::initializer_list<TControl*>{sbChangeProfileData, sbProfileAccess, sbDeleteProfile, pcProfiles})
    control->SetEnabled(any);
  sbNewProfile->SetEnabled(true);
}

// ---- Texts ------------------------------------------------------------------

void TUsersAdministration::SetTexts() {
  const std::pair<TControl*, int> captions[] = {
      {this, 40027},
      // Users page.
      {tsUsers, 40028},
      {tsUsersList, 40029},
      {tsUsersData, 40034},
      {lblLAST_PWD_CHANGE, 40035},
      {lblUSER_NAME, 40036},
      {lblREAL_NAME, 40037},
      {lblPASSWORD, 40038},
      {lblEXPIRATION_DATE, 40039},
      {lblPROFILE, 40040},
      {cbxUSER_EXPIRE, 40041},
      {cbxUSER_ACTIVE, 40042},
      {btnChangePassword, 40043},
      {PanelPwdHistory, 40045},  // the entry begins with the blank
      {sbNewUser, 40048},
      {sbChangeUserData, 40050},
      {sbUserAccess, 40052},
      {sbDeleteUser, 40054},
      {cbxAUDIT_MODE, 40124},
      // Profiles page.
      {tsProfiles, 40056},
      {tsProfilesList, 40057},
      {tsProfilesData, 40064},
      {lblPROF_DESCRIPTION, 40065},
      {cbxMUST_CHANGE_PWD, 40066},
      {lblINTERVAL_CHANGE_PWD, 40067},
      {rgpHIDE_DISABLE_MENU, 40068},
      {cbxAUDIT_MODEProfile, 40124},
      {sbNewProfile, 40069},
      {sbProfileAccess, 40071},
      {sbChangeProfileData, 40073},
      {sbDeleteProfile, 40075},
      // Access-control page.
      {tsPrograms, 40077},
      {tsUsersProgs, 40078},
      {tsProfilesProgs, 40081},
      {sbApply, 40083},
      {sbRestore, 40086},
      {sbRestoreProfile, 40089},
      // Audit page.
      {tsAudit, 40125},
      {tsAudUsers, 40126},
      {tsAudProgs, 40127},
      {lblUser, 40128},
      {lblProgram, 40129},
      {gbxPeriodActivities, 40130},
      {gbxPeriodActivities2, 40130},
      {lblFrom, 40131},
      {lblFrom2, 40131},
      {lblTo, 40132},
      {lblTo2, 40132},
      {sbDeleteAuditUser, 40139},
      {sbDeleteAuditProg, 40139},
  };
  for (const auto& [control, entry] : captions) control->SetCaption(LoadStr(entry));

  SetColumnTitles(*DBGridUsers, {40030, 40031, 40032, 40033});
  DBGridUsers->Columns(3).Width = 79;
  SetColumnTitles(*DBGridPwdHistory, {40046, 40047});
  SetColumnTitles(*DBGridProfiles, {40058, 40059, 40060, 40061});
  DBGridProfiles->Columns(3).Width = 118;
  SetColumnTitles(*DBGridUsersProgs, {40079, 40080});
  SetColumnTitles(*DBGridProfilesProgs, {40082});
  SetColumnTitles(*DBGridAudUsers, {40133, 40134, 40135, 40136});
  SetColumnTitles(*DBGridAudProgs, {40137, 40134, 40135, 40136});

  rgpHIDE_DISABLE_MENU->Items().Clear();
  rgpHIDE_DISABLE_MENU->Items().Add(LoadStr(kStrItemHidden));
  rgpHIDE_DISABLE_MENU->Items().Add(LoadStr(kStrItemDisabled));

  const std::pair<TControl*, int> hints[] = {
      {btnChangePassword, 40044}, {sbNewUser, 40049},       {sbChangeUserData, 40051},
      {sbUserAccess, 40053},      {sbDeleteUser, 40055},    {sbNewProfile, 40070},
      {sbProfileAccess, 40072},   {sbChangeProfileData, 40074}, {sbDeleteProfile, 40076},
  };
  for (const auto& [control, entry] : hints) control->SetHint(LoadStr(entry));
}

}  // namespace qv
