// TUsersAdministration: the modal, tabbed administration window in which an
// administrator manages users, profiles, the rights of users and profiles to
// every menu item of the host application, and the audit trail.
//
// The component's UsersAdm creates the window (owned by the component),
// keeps it in UsersAdministration, runs Call and frees it afterwards:
//
//   UsersAdministration = new TUsersAdministration(quarvel);
//   UsersAdministration->Call(quarvel->Menu(), quarvel->AppKey());
//
// The window holds no data of its own besides the application key: every
// page works on the datasets of the data module `Users`, which must exist,
// with its eight main datasets open, before the window is created. While the
// window is open it keeps "master" out of the users list and detaches the
// users list's after-open handler; closing takes both back. The short date
// pattern stays normalised (through this unit's own slot) from the window's
// creation to its destruction.
//
// One class, one .cpp per page: users_adm_qv.cpp (the frame: opening,
// activation, page switching, closing), users_page.cpp, profiles_page.cpp,
// access_page.cpp (the access-control page and the catalogue that follows
// the menu) and audit_page.cpp. Each page's .cpp builds its controls and
// binds their events.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "qvd3/component/date_format.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/platform/ui/data_controls.h"
#include "qvd3/platform/ui/date_picker.h"
#include "qvd3/platform/ui/form.h"
#include "qvd3/platform/ui/pages.h"
#include "qvd3/platform/ui/standard_controls.h"
#include "qvd3/platform/ui/tree_view.h"

namespace qv {

class TMainMenu;
class TMenuItem;
class TDataSource;
class TField;

// The short date pattern as it was before an administration window
// normalised it; separate from the component's own slot.
DateFormatSlot& UsersAdmDateFormatSlot();

// Node states of the access tree, which are also the image indexes of its
// three pictures.
enum TAccessState : int {
  asNoCatalogue = 0,  // the root, or an item without catalogue row
  asGranted = 1,
  asDenied = 2,
};

class TUsersAdministration : public TForm {
 public:
  // The form object is named "UsersAdministration".
  explicit TUsersAdministration(TComponent* owner);
  ~TUsersAdministration() override;

  // Prepares the shared datasets (users list without "master"), builds the
  // access tree from `menu` while bringing the application's menu catalogue
  // in step with it, gives every listed user a state row in the application
  // `appKey`, then shows the window modally and returns once it has closed.
  // An error of the opening steps propagates before the window shows, with
  // the users list's settings taken back. Called once per window.
  void Call(TMainMenu* menu, const std::string& appKey);

  // The application key received by Call; written into every rights row the
  // window inserts.
  const std::string& AppKey() const { return FAppKey; }

  // ---- Frame -------------------------------------------------------------
  TPanel* Panel1 = nullptr;
  TPageControl* PageControl = nullptr;
  TTabSheet* tsUsers = nullptr;
  TTabSheet* tsProfiles = nullptr;
  TTabSheet* tsPrograms = nullptr;
  TTabSheet* tsAudit = nullptr;

  // ---- Users page controls ------------------------------------------------
  TToolBar* ToolBar = nullptr;
  TSpeedButton* sbNewUser = nullptr;
  TSpeedButton* sbChangeUserData = nullptr;
  TSpeedButton* sbUserAccess = nullptr;
  TSpeedButton* sbDeleteUser = nullptr;
  TPageControl* pcUsers = nullptr;
  TTabSheet* tsUsersList = nullptr;
  TTabSheet* tsUsersData = nullptr;
  TDBGrid* DBGridUsers = nullptr;
  TLabel* lblUSER_NAME = nullptr;
  TDBEdit* DBEdit1 = nullptr;
  TLabel* lblREAL_NAME = nullptr;
  TDBEdit* DBEdit2 = nullptr;
  TLabel* lblPASSWORD = nullptr;
  TDBEdit* DBEdit3 = nullptr;
  TLabel* lblPROFILE = nullptr;
  TDBLookupComboBox* DBLookupComboBox1 = nullptr;
  TDBCheckBox* cbxUSER_EXPIRE = nullptr;
  TLabel* lblEXPIRATION_DATE = nullptr;
  TDateTimePicker* DBDateTimePicker1 = nullptr;
  TDBCheckBox* cbxAUDIT_MODE = nullptr;
  TLabel* lblLAST_PWD_CHANGE = nullptr;
  TDBEdit* DBEdit4 = nullptr;
  TDBCheckBox* cbxUSER_ACTIVE = nullptr;
  TButton* btnChangePassword = nullptr;
  TDBNavigator* DBNavigator2 = nullptr;
  TPanel* Panel4 = nullptr;
  TPanel* PanelPwdHistory = nullptr;
  TDBNavigator* DBNavigator1 = nullptr;
  TDBGrid* DBGridPwdHistory = nullptr;

  // ---- Profiles page controls ---------------------------------------------
  TPanel* Panel3 = nullptr;
  TSpeedButton* sbNewProfile = nullptr;
  TSpeedButton* sbChangeProfileData = nullptr;
  TSpeedButton* sbProfileAccess = nullptr;
  TSpeedButton* sbDeleteProfile = nullptr;
  TPageControl* pcProfiles = nullptr;
  TTabSheet* tsProfilesList = nullptr;
  TTabSheet* tsProfilesData = nullptr;
  TDBGrid* DBGridProfiles = nullptr;
  TLabel* lblPROF_DESCRIPTION = nullptr;
  TDBEdit* DBEdit5 = nullptr;
  TDBCheckBox* cbxMUST_CHANGE_PWD = nullptr;
  TLabel* lblINTERVAL_CHANGE_PWD = nullptr;
  TDBEdit* DBEdit6 = nullptr;
  TDBCheckBox* cbxAUDIT_MODEProfile = nullptr;
  TDBRadioGroup* rgpHIDE_DISABLE_MENU = nullptr;
  TDBNavigator* DBNavigator3 = nullptr;

  // ---- Access-control page controls ---------------------------------------
  TPanel* Panel5 = nullptr;  // the left part: buttons, caption, tree
  TPanel* Panel6 = nullptr;
  TSpeedButton* sbApply = nullptr;
  TSpeedButton* sbRestore = nullptr;
  TSpeedButton* sbRestoreProfile = nullptr;
  TPanel* PanelAboveProgs = nullptr;
  TTreeView* MenuItems = nullptr;
  TImageList* ImageList = nullptr;
  TPageControl* pcPrograms = nullptr;
  TTabSheet* tsUsersProgs = nullptr;
  TTabSheet* tsProfilesProgs = nullptr;
  TDBGrid* DBGridUsersProgs = nullptr;
  TDBGrid* DBGridProfilesProgs = nullptr;

  // ---- Audit page controls ------------------------------------------------
  TPageControl* pcAudit = nullptr;
  TTabSheet* tsAudUsers = nullptr;
  TTabSheet* tsAudProgs = nullptr;
  TPanel* Panel7 = nullptr;  // top bar of the by-user sub-page
  TLabel* lblUser = nullptr;
  TDBLookupComboBox* dblkUserName = nullptr;
  TDBNavigator* DBNavigator4 = nullptr;
  TSpeedButton* sbDeleteAuditUser = nullptr;
  TGroupBox* gbxPeriodActivities = nullptr;
  TLabel* lblFrom = nullptr;
  TDateTimePicker* dtpkInicioU = nullptr;
  TLabel* lblTo = nullptr;
  TDateTimePicker* dtpkFimU = nullptr;
  TDBGrid* DBGridAudUsers = nullptr;
  TPanel* Panel8 = nullptr;  // top bar of the by-program sub-page
  TLabel* lblProgram = nullptr;
  TDBLookupComboBox* dblkMenuCaption = nullptr;
  TDBNavigator* DBNavigator5 = nullptr;
  TSpeedButton* sbDeleteAuditProg = nullptr;
  TGroupBox* gbxPeriodActivities2 = nullptr;
  TLabel* lblFrom2 = nullptr;
  TDateTimePicker* dtpkInicioP = nullptr;
  TLabel* lblTo2 = nullptr;
  TDateTimePicker* dtpkFimP = nullptr;
  TDBGrid* DBGridAudProgs = nullptr;

  // ---- Frame handlers (users_adm_qv.cpp) ----------------------------------
  // Normalises the short date pattern (this unit's slot).
  void FormCreate(TObject& sender);
  // Puts the short date pattern back.
  void FormDestroy(TObject& sender);
  // Every activation: the audit period set to the current month, the audit
  // selectors on the current user and catalogue item, the users list
  // current, the texts, column widths, radio items and hints.
  void FormActivate(TObject& sender);
  // The end of the showing: takes back the window's dataset settings.
  void FormDeactivate(TObject& sender);
  // Removes the data-change hooks of the access page; never refuses.
  void FormCloseQuery(TObject& sender, bool& canClose);
  // Page entry: the enabled states of the page's buttons, or the entry step
  // of the access-control and audit pages.
  void PageControlChange(TObject& sender);
  // Closes the window (bound to no control).
  void sbExitClick(TObject& sender);

  // ---- Users page handlers (users_page.cpp) -------------------------------
  // Creation through the new-user dialog: the user, its state row, its
  // rights rows and its profile's rights, stored together or not at all; a
  // name already present is reported as "Usuário já cadastrado".
  void sbNewUserClick(TObject& sender);
  void sbChangeUserDataClick(TObject& sender);
  // The access-control page with the selected user.
  void sbUserAccessClick(TObject& sender);
  // Deletion after the data module's question, with its cascade.
  void sbDeleteUserClick(TObject& sender);
  // The password reset: asks for a new password until one is given or the
  // box is cancelled, and stores it scrambled with today's date.
  void btnChangePasswordClick(TObject& sender);
  void pcUsersChange(TObject& sender);
  void tsUsersDataEnter(TObject& sender);
  void tsUsersDataExit(TObject& sender);
  void tsUsersListEnter(TObject& sender);
  void cbxUSER_EXPIREClick(TObject& sender);

  // ---- Profiles page handlers (profiles_page.cpp) -------------------------
  // Creation through the new-profile dialog: the profile and its rights
  // rows, stored together or not at all.
  void sbNewProfileClick(TObject& sender);
  void sbChangeProfileDataClick(TObject& sender);
  // The access-control page with the selected profile.
  void sbProfileAccessClick(TObject& sender);
  // Deletion after the data module's question; members keep their rights.
  void sbDeleteProfileClick(TObject& sender);
  void tsProfilesDataEnter(TObject& sender);
  void tsProfilesDataExit(TObject& sender);
  void cbxMUST_CHANGE_PWDClick(TObject& sender);

  // ---- Access-control page handlers (access_page.cpp) ---------------------
  // The catalogue synchronisation of one menu item: finds the catalogue row
  // named `name` (exact), updates a changed caption, or catalogues a new
  // item with rights rows that deny it to every listed user and every
  // profile (the row and its rights rows in one transaction, or in the
  // transaction of the whole synchronisation when Call runs it); remembers the
  // name as met.
  void SyncMenuItem(const std::string& name, const std::string& caption);
  // Adds the nodes of `item`'s sub-items under `node`, separators skipped
  // with their subtrees, cataloguing each item before its node is added.
  void AddMenuChildren(TTreeNode* node, TMenuItem* item);
  // `text` without any occurrence of `c`.
  static std::string RemoveChar(const std::string& text, char c);
  void tsProgramsEnter(TObject& sender);
  void tsProgramsExit(TObject& sender);
  void pcProgramsChange(TObject& sender);
  // The data-change hook of dsUsers / dsProfiles while the page is in use.
  void AccessDataChange(TDataSource& source, TField* field);
  void LoadUserRights(int userId);
  void LoadProfileRights(int profId);
  void MenuItemsMouseDown(TObject& sender, TMouseButton button, TShiftState shift, int x, int y);
  void sbApplyClick(TObject& sender);
  void sbRestoreClick(TObject& sender);
  void sbRestoreProfileClick(TObject& sender);

  // ---- Audit page handlers (audit_page.cpp) -------------------------------
  // Installs AuditFilterRecord on qryAudit and filters under the current
  // sub-page's rule.
  void pcAuditEnter(TObject& sender);
  // Removes the record filter: qryAudit holds all rows again.
  void pcAuditExit(TObject& sender);
  // Filters again under the rule of the sub-page now current.
  void pcAuditChange(TObject& sender);
  // A change of a sub-page's period or selection: filters again.
  void dtpkInicioUChange(TObject& sender);
  void dtpkInicioPChange(TObject& sender);
  // The record filter of qryAudit while the page is in use.
  void AuditFilterRecord(TDataSet& dataSet, bool& accept);
  // Deletes, after asking, the rows the filter accepts when pressed.
  void sbDeleteAuditUserClick(TObject& sender);
  void sbDeleteAuditProgClick(TObject& sender);

 private:
  // ---- Frame ----
  void BuildFrame();
  // Sets every caption, column title and width, radio item and hint from
  // the string table.
  void SetTexts();
  // The users list's settings of the opening (no after-open handler, no
  // "master") are taken back; the audit record filter removed. Harmless
  // when nothing was set.
  void TakeBackDatasetSettings();
  // Opening step 6: a state row in this application for every listed user.
  void AddMissingUserInfo();
  void EnableUsersButtons();
  void EnableProfilesButtons();

  // ---- Each page's controls and event bindings ----
  void BuildUsersPage();
  void BuildProfilesPage();
  void BuildAccessPage();
  void BuildAuditPage();
  void BindUsersPage();
  void BindProfilesPage();
  void BindAccessPage();
  void BindAuditPage();

  // ---- Users page ----
  bool UsersListed() const;
  // The selected user changed (the list moved, reopened or was posted):
  // the state row follows it, and the data sub-page, when shown, stores the
  // previous user's state row and shows the new one's.
  void SelectedUserChanged();
  // The state row of the user whose expiration date the picker shows is
  // stored with the picker's date and any change of its check boxes.
  void StoreUserState();
  // The picker shows the date and expiry flag of the selected user's state
  // row.
  void LoadUserState();
  // Watches the users list for a change of the selected user.
  TDataSource usersWatch_;
  // USER_ID of the user the state row follows, and of the user whose date
  // the picker was loaded from (0: none).
  int stateUserId_ = 0;
  int pickerUserId_ = 0;
  // Set while a creation holds back the data sub-page's leave step.
  bool usersLeaveSuspended_ = false;

  // ---- Access-control page ----
  // Opening step 3: the tree and the catalogue in one walk over `menu`,
  // stale catalogue rows deleted, the tree expanded, the catalogue and
  // rights datasets reopened.
  void BuildAccessTree(TMainMenu* menu);
  // Catalogues the item and adds its node under `parent`; returns the node
  // under which the item's sub-items go.
  TTreeNode* AddMenuNode(TTreeNode* parent, TMenuItem* item);
  // A new catalogue row with its rights rows, all or nothing. While the
  // catalogue synchronisation walks the menu, new items wait in newItems_
  // and are written after the walk, with their rights rows, in a few
  // statements of the same transaction.
  void CatalogueNewItem(const std::string& name, const std::string& caption);
  void DenyNewItems(const std::vector<int>& menuIds);
  void DeleteStaleCatalogueRows();
  void LoadRights(bool users, int id);
  // Every node but the root without a subject to show (an empty list).
  void ClearNodeStates();
  void SetNodeState(TTreeNode* node, int state);
  void UpdateAncestors(TTreeNode* node);
  void DenyDescendants(TTreeNode* node);
  static bool NoChildGranted(const TTreeNode* node);
  // The catalogue row of a node: its MENU_ID, or 0 when there is none.
  int CatalogueIdOf(const TTreeNode* node);
  void HookAccessDataChange(bool users);
  void ClearAccessHooks();
  bool UsersMode() const;

  std::string FAppKey;
  // Names of the menu items met by the catalogue walk of this opening.
  std::unordered_set<std::string> namesMet_;
  // The items the walk in progress is to catalogue, or nullptr.
  std::vector<TUsers::TCatalogueItem>* newItems_ = nullptr;
};

// The administration window while UsersAdm shows it; nullptr otherwise.
extern TUsersAdministration* UsersAdministration;

}  // namespace qv
