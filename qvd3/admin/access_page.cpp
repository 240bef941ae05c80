// The access-control page of the administration window: the tree of the
// host's menu with one state per item, the catalogue that follows the menu,
// loading, toggling and applying the rights of one user or profile.
//
// Node states live in the tree only (the node's image index); Apply is the
// one way they reach the database. A node's catalogue row is the qryProgs
// row with the node's name and text; the lookups are keyed (hash indexes of
// the datasets), so loading a subject costs a constant amount per node
// whatever the size of the rights tables.
#include <algorithm>
#include <any>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "qvd3/admin/admin_layout.h"
#include "qvd3/admin/users_adm_qv.h"
#include "qvd3/component/quarvel_res.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/data/statements.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/sys/format.h"
#include "qvd3/platform/ui/application.h"
#include "qvd3/platform/ui/menus.h"

namespace qv {

using admin::FlatButton;

namespace {

constexpr std::uint32_t kTransparent = 0x00000000;
constexpr std::uint32_t kOutline = 0xFF808080;
constexpr std::uint32_t kGreen = 0xFF00B000;
constexpr std::uint32_t kRed = 0xFFE00000;

// A 16 x 16 square outline in grey, filled with `fill` inside (transparent
// for none), on a transparent background.
TBitmap StateImage(std::uint32_t fill) {
  TBitmap image{16, 16, std::vector<std::uint32_t>(16 * 16, kTransparent)};
  for (int y = 2; y <= 13; ++y)
    for (int x = 2; x <= 13; ++x) {
      const bool edge = x == 2 || x == 13 || y == 2 || y == 13;
      image.Pixels[y * 16 + x] = edge ? kOutline : fill;
    }
  return image;
}

// The rights rows of new catalogue items: one row denying each item to
// every user the window lists (all but "master") and one to every profile.
// Rows go in the order of the rights tables' keys (subject, then item), so
// the engine appends to its indexes instead of scattering into them.
constexpr const char* kDenyNewItemsToUsers =
    "INSERT INTO UACCESS (APP_KEY, USER_ID, MENU_ID, AUTHORIZED)\n"
    "SELECT :APP_KEY, QUARVEL.USER_ID, PROGS.MENU_ID, '0' FROM QUARVEL, PROGS\n"
    "WHERE QUARVEL.USERQV_NAME<>'master' AND PROGS.MENU_ID IN (";
constexpr const char* kDenyNewItemsToUsersOrder = ")\nORDER BY QUARVEL.USER_ID, PROGS.MENU_ID";
constexpr const char* kDenyNewItemsToProfiles =
    "INSERT INTO PACCESS (APP_KEY, PROF_ID, MENU_ID, AUTHORIZED)\n"
    "SELECT :APP_KEY, PROFILES.PROF_ID, PROGS.MENU_ID, '0' FROM PROFILES, PROGS\n"
    "WHERE PROGS.MENU_ID IN (";
constexpr const char* kDenyNewItemsToProfilesOrder = ")\nORDER BY PROFILES.PROF_ID, PROGS.MENU_ID";
// Items per statement: well below every engine's limit of parameters.
constexpr std::size_t kItemsPerStatement = 500;

// Runs `steps` in a transaction of `database`, or inside the one already
// open, which then commits or rolls back as a whole.
template <class Steps>
void AllOrNothing(TDatabase& database, Steps&& steps) {
  if (database.InTransaction()) {
    steps();
    return;
  }
  TransactionGuard transaction(database);
  steps();
  transaction.Commit();
}

const std::string& NodeName(const TTreeNode* node) {
  static const std::string kNone;
  const auto* name = std::any_cast<std::string>(&node->Data);
  return name ? *name : kNone;
}

int StateOf(const TTreeNode* node) { return node->ImageIndex(); }

}  // namespace

// ---- Controls ---------------------------------------------------------------

// On the left the three buttons, the caption of the subject and the tree;
// on the right the lists of users and profiles.
void TUsersAdministration::BuildAccessPage() {
  Panel5 = admin::PlainPanel(this, tsPrograms, "Panel5", alLeft, 334);
  Panel6 = admin::PlainPanel(this, Panel5, "Panel6", alTop, 24);
  Panel6->SetShowHint(true);
  sbApply = FlatButton(this, Panel6, "sbApply", 0, 2, 110, 20, "Apply");
  sbRestore = FlatButton(this, Panel6, "sbRestore", 110, 2, 110, 20, "Restore");
  sbRestoreProfile = FlatButton(this, Panel6, "sbRestoreProfile", 220, 2, 110, 20, "From profile");
  PanelAboveProgs = admin::PlaceAligned<TPanel>(this, Panel5, "PanelAboveProgs", alTop, 20);
  PanelAboveProgs->SetAlignment(taLeftJustify);
  PanelAboveProgs->SetColor(clActiveCaption);
  PanelAboveProgs->SetCaption("");

  ImageList = new TImageList(this);
  ImageList->SetName("ImageList");
  ImageList->Add(StateImage(kTransparent));
  ImageList->Add(StateImage(kGreen));
  ImageList->Add(StateImage(kRed));

  MenuItems = admin::PlaceAligned<TTreeView>(this, Panel5, "MenuItems", alClient);
  MenuItems->SetReadOnly(true);
  MenuItems->SetIndent(19);
  MenuItems->SetImages(ImageList);

  pcPrograms = admin::PlaceAligned<TPageControl>(this, tsPrograms, "pcPrograms", alClient);
  tsUsersProgs = admin::AddPage(this, pcPrograms, "tsUsersProgs", "Users");
  tsProfilesProgs = admin::AddPage(this, pcPrograms, "tsProfilesProgs", "Profiles");
  DBGridUsersProgs = admin::ListGrid(this, tsUsersProgs, "DBGridUsersProgs", Users ? &Users->dsUsers : nullptr,
                                     false, {{"USERQV_NAME", 100}, {"PROFILE", 156}});
  DBGridProfilesProgs = admin::ListGrid(this, tsProfilesProgs, "DBGridProfilesProgs",
                                        Users ? &Users->dsProfiles : nullptr, false, {{"PROF_DESCRIPTION", 258}});
  for (TDBGrid* grid : {DBGridUsersProgs, DBGridProfilesProgs}) {
    TGridOptions options = grid->Options();
    grid->SetOptions(options.Include(dgAlwaysShowSelection));
  }
  pcPrograms->SetActivePage(tsUsersProgs);
}

void TUsersAdministration::BindAccessPage() {
  tsPrograms->OnEnter = [this](TObject& s) { tsProgramsEnter(s); };
  tsPrograms->OnExit = [this](TObject& s) { tsProgramsExit(s); };
  pcPrograms->OnChange = [this](TObject& s) { pcProgramsChange(s); };
  MenuItems->OnMouseDown = [this](TObject& s, TMouseButton b, TShiftState sh, int x, int y) {
    MenuItemsMouseDown(s, b, sh, x, y);
  };
  sbApply->OnClick = [this](TObject& s) { sbApplyClick(s); };
  sbRestore->OnClick = [this](TObject& s) { sbRestoreClick(s); };
  sbRestoreProfile->OnClick = [this](TObject& s) { sbRestoreProfileClick(s); };
}

// ---- The tree and the catalogue ---------------------------------------------

std::string TUsersAdministration::RemoveChar(const std::string& text, char c) {
  std::string result;
  result.reserve(text.size());
  for (char ch : text)
    if (ch != c) result += ch;
  return result;
}

// One walk over the menu builds the tree and brings the catalogue in step:
// each item is catalogued before its node is added; the catalogue rows of
// items no longer in the menu go afterwards. The whole synchronisation is
// one transaction: an error leaves the catalogue and the rights as they
// were (and commits once, not once per new item).
void TUsersAdministration::BuildAccessTree(TMainMenu* menu) {
  TUsers& dm = *Users;
  namesMet_.clear();
  MenuItems->Items().Clear();
  TTreeNode* root = MenuItems->Items().AddChild(nullptr, LoadStr(kStrAccessControl));
  SetNodeState(root, asNoCatalogue);
  // The items the walk meets for the first time, and their rights rows,
  // are written once the walk is over, all in a few statements.
  std::vector<TUsers::TCatalogueItem> newItems;
  newItems_ = &newItems;
  try {
    AllOrNothing(dm.qryProgs.Database(), [&] {
      if (menu != nullptr) {
        TMenuItem* top = menu->Items();
        for (int i = 0; i < top->Count(); ++i) {
          TMenuItem* item = top->Items(i);
          TTreeNode* node = AddMenuNode(root, item);
          if (item->Count() > 0) AddMenuChildren(node, item);
        }
      }
      newItems_ = nullptr;
      DenyNewItems(dm.CatalogueItems(FAppKey, newItems));
      DeleteStaleCatalogueRows();
    });
  } catch (...) {
    newItems_ = nullptr;
    // The catalogue shown must be the one the database kept.
    if (dm.qryProgs.State() != TDataSetState::Browse) dm.qryProgs.Cancel();
    dm.qryProgs.Reopen();
    throw;
  }
  MenuItems->FullExpand();
  dm.qryProgs.Reopen();
  dm.qryPAccess.Reopen();
  dm.qryUAccess.Reopen();
}

void TUsersAdministration::AddMenuChildren(TTreeNode* node, TMenuItem* item) {
  for (int i = 0; i < item->Count(); ++i) {
    TMenuItem* sub = item->Items(i);
    if (sub->Caption() == "-") continue;
    TTreeNode* child = AddMenuNode(node, sub);
    if (sub->Count() > 0) AddMenuChildren(child, sub);
  }
}

// An item is known by its component name; one without a name cannot be
// catalogued and gets no node: its sub-items hang under its parent's node.
TTreeNode* TUsersAdministration::AddMenuNode(TTreeNode* parent, TMenuItem* item) {
  if (item->Name().empty()) return parent;
  const std::string text = RemoveChar(RemoveChar(item->Caption(), '&'), '.');
  SyncMenuItem(item->Name(), text);
  TTreeNode* node = MenuItems->Items().AddChildObject(parent, text, item->Name());
  SetNodeState(node, asDenied);
  return node;
}

void TUsersAdministration::SyncMenuItem(const std::string& name, const std::string& caption) {
  TUsers& dm = *Users;
  if (dm.qryProgs.Locate("MENU_NAME", Value(name))) {
    TField& stored = dm.qryProgs.FieldByName("MENU_CAPTION");
    if (stored.AsString() != caption) {
      dm.qryProgs.Edit();
      stored.SetAsString(caption);
      dm.qryProgs.Post();
    }
  } else if (newItems_ != nullptr) {
    // Met again in the same walk: one row, with the caption met last, as an
    // update of the row stored at the first meeting would leave it.
    if (namesMet_.count(name) == 0) {
      newItems_->push_back({name, caption});
    } else {
      auto same = std::find_if(newItems_->begin(), newItems_->end(),
                               [&](const TUsers::TCatalogueItem& item) { return item.Name == name; });
      if (same != newItems_->end()) same->Caption = caption;
    }
  } else {
    CatalogueNewItem(name, caption);
  }
  namesMet_.insert(name);
}

// The catalogue row gets its key from the data module; the rights rows that
// deny the item to everybody follow in the same transaction, so a failure
// leaves neither a row without rights rows nor rights rows without a row.
// On failure qryProgs is read again, so it does not show a row that was
// rolled back. Inside a transaction already open the item joins it.
void TUsersAdministration::CatalogueNewItem(const std::string& name, const std::string& caption) {
  TUsers& dm = *Users;
  try {
    AllOrNothing(dm.qryProgs.Database(), [&] { DenyNewItems(dm.CatalogueItems(FAppKey, {{name, caption}})); });
  } catch (...) {
    // Inside a caller's transaction, the caller reads it again once that
    // transaction is rolled back.
    if (!dm.qryProgs.Database().InTransaction()) dm.qryProgs.Reopen();
    throw;
  }
}

// Denies the catalogue items `menuIds` to every listed user and every
// profile.
void TUsersAdministration::DenyNewItems(const std::vector<int>& menuIds) {
  TUsers& dm = *Users;
  for (std::size_t first = 0; first < menuIds.size(); first += kItemsPerStatement) {
    const std::size_t count = std::min(kItemsPerStatement, menuIds.size() - first);
    std::string list;
    for (std::size_t i = 0; i < count; ++i) list += (i ? ", :M" : ":M") + std::to_string(i);
    const std::pair<const char*, const char*> statements[] = {
        {kDenyNewItemsToUsers, kDenyNewItemsToUsersOrder},
        {kDenyNewItemsToProfiles, kDenyNewItemsToProfilesOrder},
    };
    for (const auto& [head, tail] : statements) {
      TQuery deny;
      deny.SetDatabaseName(dm.qryProgs.DatabaseName());
      deny.SetSQL(std::string(head) + list + tail);
      deny.ParamByName("APP_KEY").SetAsString(FAppKey);
      for (std::size_t i = 0; i < count; ++i)
        deny.ParamByName("M" + std::to_string(i)).SetAsInteger(menuIds[first + i]);
      deny.ExecSQL();
    }
  }
}

// Catalogue rows of items no longer in the menu go, each with its rights
// rows in one transaction (the data module's delete). Names are compared
// exactly, as the catalogue is searched.
void TUsersAdministration::DeleteStaleCatalogueRows() {
  TUsers& dm = *Users;
  std::vector<int> stale;
  TField& name = dm.qryProgs.FieldByName("MENU_NAME");
  TField& id = dm.qryProgs.FieldByName("MENU_ID");
  for (dm.qryProgs.First(); !dm.qryProgs.Eof(); dm.qryProgs.Next())
    if (!namesMet_.contains(name.AsString())) stale.push_back(id.AsInteger());
  for (int menuId : stale)
    if (dm.qryProgs.Locate("MENU_ID", Value(menuId))) dm.qryProgs.Delete();
}

int TUsersAdministration::CatalogueIdOf(const TTreeNode* node) {
  const Value id = Users->qryProgs.Lookup("MENU_NAME;MENU_CAPTION", {Value(NodeName(node)), Value(node->Text())},
                                          "MENU_ID");
  return id.IsNull() ? 0 : static_cast<int>(id.AsInteger());
}

void TUsersAdministration::SetNodeState(TTreeNode* node, int state) {
  node->SetImageIndex(state);
  node->SetSelectedIndex(state);
}

// ---- Mode and subject -------------------------------------------------------

bool TUsersAdministration::UsersMode() const { return pcPrograms->ActivePage() == tsUsersProgs; }

void TUsersAdministration::HookAccessDataChange(bool users) {
  std::function<void(TDataSource&, TField*)> hook = [this](TDataSource& source, TField* field) {
    AccessDataChange(source, field);
  };
  Users->dsUsers.OnDataChange = users ? hook : nullptr;
  Users->dsProfiles.OnDataChange = users ? nullptr : hook;
}

void TUsersAdministration::ClearAccessHooks() {
  if (!Users) return;
  Users->dsUsers.OnDataChange = nullptr;
  Users->dsProfiles.OnDataChange = nullptr;
}

// The page always opens in users mode.
void TUsersAdministration::tsProgramsEnter(TObject& sender) {
  pcPrograms->SetActivePage(tsUsersProgs);
  HookAccessDataChange(true);
  pcProgramsChange(sender);
}

void TUsersAdministration::tsProgramsExit(TObject&) { ClearAccessHooks(); }

void TUsersAdministration::pcProgramsChange(TObject&) {
  if (pcPrograms->ActivePage() == tsUsersProgs) {
    HookAccessDataChange(true);
    AccessDataChange(Users->dsUsers, nullptr);
    sbRestoreProfile->SetCaption(LoadStr(40089));
    sbApply->SetHint(LoadStr(40084));
    sbRestore->SetHint(LoadStr(40087));
    sbRestoreProfile->SetHint(LoadStr(40090));
  } else if (pcPrograms->ActivePage() == tsProfilesProgs) {
    HookAccessDataChange(false);
    AccessDataChange(Users->dsProfiles, nullptr);
    sbRestoreProfile->SetCaption(LoadStr(40091));
    sbApply->SetHint(LoadStr(40085));
    sbRestore->SetHint(LoadStr(40088));
    sbRestoreProfile->SetHint(LoadStr(40092));
  }
}

// The selected user or profile changed (or its row did): its rights are
// loaded into the tree, discarding toggles not yet applied. With an empty
// list there is no subject; nothing is inserted for one that does not
// exist.
void TUsersAdministration::AccessDataChange(TDataSource& source, TField*) {
  TUsers& dm = *Users;
  if (source.DataSet() == &dm.qryUsers) {
    const bool any = dm.qryUsers.Active() && !dm.qryUsers.IsEmpty();
    const std::string name = any ? dm.qryUsers.FieldByName("USERQV_NAME").AsString() : "";
    PanelAboveProgs->SetCaption(" " + Format(LoadStr(kStrAccessForUser), {name}));
    if (!any) {
      ClearNodeStates();
      return;
    }
    const int userId = dm.qryUsers.FieldByName("USER_ID").AsInteger();
    LoadUserRights(userId);
    dm.qryUserInfo.SetFiltered(true);
    dm.qryUserInfo.SetFilter("USER_ID=" + std::to_string(userId));
  } else if (source.DataSet() == &dm.qryProfiles) {
    const bool any = dm.qryProfiles.Active() && !dm.qryProfiles.IsEmpty();
    const std::string name = any ? dm.qryProfiles.FieldByName("PROF_DESCRIPTION").AsString() : "";
    PanelAboveProgs->SetCaption(" " + Format(LoadStr(kStrAccessForProfile), {name}));
    if (!any) {
      ClearNodeStates();
      return;
    }
    LoadProfileRights(dm.qryProfiles.FieldByName("PROF_ID").AsInteger());
  }
}

void TUsersAdministration::ClearNodeStates() {
  const TTreeNodes& nodes = MenuItems->Items();
  for (int i = 1; i < nodes.Count(); ++i) SetNodeState(nodes[i], asNoCatalogue);
  MenuItems->Invalidate();
}

void TUsersAdministration::LoadUserRights(int userId) { LoadRights(true, userId); }

void TUsersAdministration::LoadProfileRights(int profId) { LoadRights(false, profId); }

// Each node's state from the subject's rights row of its catalogue row; the
// missing rights rows are inserted as denied, all in one batch. The rights
// dataset is filtered to the subject while loading and left unfiltered. It
// is read again only when rows were inserted: otherwise it already holds
// every row a new reading would give, and reading the rights of every
// subject again for each selection is what keeps a large application slow.
void TUsersAdministration::LoadRights(bool users, int id) {
  TUsers& dm = *Users;
  const TUsers::TRightsOf subject = users ? TUsers::TRightsOf::User : TUsers::TRightsOf::Profile;
  TQuery& rights = dm.RightsOf(subject);
  const char* keyField = TUsers::SubjectField(subject);
  const std::string keys = std::string("MENU_ID;") + keyField;
  rights.SetFiltered(true);
  rights.SetFilter(std::string(keyField) + "=" + std::to_string(id));
  std::vector<std::vector<Value>> missing;  // rows denying the items without one
  std::set<int> missingIds;
  const TTreeNodes& nodes = MenuItems->Items();
  for (int i = 1; i < nodes.Count(); ++i) {
    TTreeNode* node = nodes[i];
    int state = asNoCatalogue;
    if (const int menuId = CatalogueIdOf(node)) {
      if (rights.Locate(keys, {Value(menuId), Value(id)})) {
        state = rights.FieldByName("AUTHORIZED").AsString() == "1" ? asGranted : asDenied;
      } else {
        if (missingIds.insert(menuId).second) missing.push_back({Value(id), Value(menuId), Value("0"), Value(FAppKey)});
        state = asDenied;
      }
    }
    SetNodeState(node, state);
  }
  if (!missing.empty()) {
    rights.AppendRows(std::string(keyField) + ";MENU_ID;AUTHORIZED;APP_KEY", missing);
    rights.Reopen();
  }
  rights.SetFilter("");
  rights.SetFiltered(false);
  MenuItems->Invalidate();
}

// ---- Toggling ---------------------------------------------------------------

void TUsersAdministration::MenuItemsMouseDown(TObject&, TMouseButton, TShiftState, int x, int y) {
  const THitTests hit = MenuItems->GetHitTestInfoAt(x, y);
  if (!hit.Contains(htOnIcon) && !hit.Contains(htOnLabel)) return;
  TTreeNode* node = MenuItems->GetNodeAt(x, y);
  if (node == nullptr || node->Parent() == nullptr) return;
  if (StateOf(node) == asGranted) {
    SetNodeState(node, asDenied);
  } else if (StateOf(node) == asDenied) {
    SetNodeState(node, asGranted);
  }
  UpdateAncestors(node);
  if (node->HasChildren()) DenyDescendants(node);
  SetNodeState(MenuItems->Items().GetFirstNode(), asNoCatalogue);
  MenuItems->Invalidate();
}

// A denied node denies its parent only when no sibling is granted; a
// granted node (or one without catalogue row) grants its parent; and so on
// up to the root.
void TUsersAdministration::UpdateAncestors(TTreeNode* node) {
  TTreeNode* parent = node->Parent();
  if (parent == nullptr) return;
  if (StateOf(node) == asDenied) {
    if (NoChildGranted(parent)) SetNodeState(parent, asDenied);
  } else {
    SetNodeState(parent, asGranted);
  }
  if (parent->Parent() != nullptr) UpdateAncestors(parent);
}

bool TUsersAdministration::NoChildGranted(const TTreeNode* node) {
  for (int i = 0; i < node->Count(); ++i)
    if (StateOf(node->Item(i)) == asGranted) return false;
  return true;
}

// A denied node denies its whole subtree; a granted one leaves it alone.
void TUsersAdministration::DenyDescendants(TTreeNode* node) {
  if (StateOf(node) != asDenied) return;
  for (int i = 0; i < node->Count(); ++i) {
    TTreeNode* child = node->Item(i);
    SetNodeState(child, asDenied);
    if (child->HasChildren()) DenyDescendants(child);
  }
}

// ---- The three buttons ------------------------------------------------------

// Writes the node states of the subject in one transaction: an error leaves
// every rights row as it was. Nodes without catalogue or rights row are
// passed over; nothing is inserted. The rows are written by item number in
// a few statements (TUsers::StoreRights), not one per changed row: on a
// server every statement is a round trip. The rights dataset is read again
// and left unfiltered.
void TUsersAdministration::sbApplyClick(TObject&) {
  TUsers& dm = *Users;
  TWaitCursor wait;
  const bool users = UsersMode();
  TQuery& subjects = users ? static_cast<TQuery&>(dm.qryUsers) : dm.qryProfiles;
  if (!subjects.Active() || subjects.IsEmpty()) return;
  const TUsers::TRightsOf subject = users ? TUsers::TRightsOf::User : TUsers::TRightsOf::Profile;
  TQuery& rights = dm.RightsOf(subject);
  const int id = subjects.FieldByName(TUsers::SubjectField(subject)).AsInteger();
  std::vector<int> granted, denied;
  const TTreeNodes& nodes = MenuItems->Items();
  for (int i = 1; i < nodes.Count(); ++i)
    if (const int menuId = CatalogueIdOf(nodes[i]))
      (StateOf(nodes[i]) == asGranted ? granted : denied).push_back(menuId);
  try {
    TransactionGuard transaction(rights.Database());
    dm.StoreRights(subject, id, FAppKey, granted, denied);
    transaction.Commit();
  } catch (...) {
    // The rows the dataset holds are what the database still holds.
    rights.Cancel();
    rights.Reopen();
    rights.SetFilter("");
    rights.SetFiltered(false);
    throw;
  }
  rights.Reopen();
  rights.SetFilter("");
  rights.SetFiltered(false);
  MenuItems->Invalidate();
}

// Reloads the subject's states from the database, discarding every toggle
// not yet applied.
void TUsersAdministration::sbRestoreClick(TObject&) {
  TWaitCursor wait;
  AccessDataChange(UsersMode() ? Users->dsUsers : Users->dsProfiles, nullptr);
}

// Users mode: the user's rights become the stored rights of the user's
// profile. Profile mode: every user of the profile gets the profile's stored
// rights, all of them in one statement; the tree still shows the profile.
void TUsersAdministration::sbRestoreProfileClick(TObject&) {
  TUsers& dm = *Users;
  if (!dm.qryProfiles.Active() || dm.qryProfiles.IsEmpty()) return;
  TWaitCursor wait;
  if (UsersMode()) {
    if (dm.qryUsers.IsEmpty()) return;
    const int userId = dm.qryUsers.FieldByName("USER_ID").AsInteger();
    dm.UpdateUFromProfile.ExecSQL();
    dm.qryUAccess.Reopen();
    LoadUserRights(userId);
    return;
  }
  const int profId = dm.qryProfiles.FieldByName("PROF_ID").AsInteger();
  // Walking the users moves the profile list along (the users page's
  // profile selector follows each user): the profile shown stays selected
  // and its tree as it is.
  const std::string usersFilter = dm.qryUsers.Filter();
  std::function<void(TDataSource&, TField*)> hook = std::move(dm.dsProfiles.OnDataChange);
  dm.dsProfiles.OnDataChange = nullptr;
  auto restore = [&] {
    dm.qryUsers.SetFilter(usersFilter);
    dm.qryProfiles.Locate("PROF_ID", Value(profId));
    dm.dsProfiles.OnDataChange = std::move(hook);
  };
  try {
    dm.UpdateMembersFromProfile(profId);
  } catch (...) {
    restore();
    throw;
  }
  restore();
  dm.qryUAccess.Reopen();
}

}  // namespace qv
