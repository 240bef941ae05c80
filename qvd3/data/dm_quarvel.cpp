#include "qvd3/data/dm_quarvel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>

#include "qvd3/component/date_format.h"
#include "qvd3/component/password.h"
#include "qvd3/component/quarvel_res.h"
#include "qvd3/data/schema.h"
#include "qvd3/data/shared_transaction.h"
#include "qvd3/data/statements.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/date_time.h"
#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/sys/format.h"
#include "qvd3/platform/ui/application.h"

namespace qv {

TUsers* Users = nullptr;
int LastUserId = 0;
int LastProfId = 0;
int LastMenuId = 0;

namespace {

// The alias every dataset carries until the component replaces it.
constexpr const char* kDefaultAlias = "dbUsersInterbase";

void Prepare(TQuery& query, const char* name, std::string_view sql, bool live) {
  query.SetName(name);
  query.SetSQL(sql);
  query.SetRequestLive(live);
}

// The filter that keeps a dataset on one user's rows.
std::string UserFilter(int userId) { return "USER_ID=" + std::to_string(userId); }

// "Sim" for a flag text starting with "1", "Não" for one starting with "0",
// nothing for any other text.
void SetYesNo(TField& field, const std::string& flag) {
  if (!flag.empty() && flag[0] == '1') {
    field.SetAsString(LoadStr(kStrYes));
  } else if (!flag.empty() && flag[0] == '0') {
    field.SetAsString(LoadStr(kStrNo));
  } else {
    field.Clear();
  }
}

// The field's text as an audit time stamp: a date, a blank and a time as
// the audit insert writes them, or the date alone for a stamp of midnight.
std::optional<std::int64_t> StampOf(TDataSet& dataSet, const char* field) {
  std::optional<TDateTime> moment = TryStrToDateTime(dataSet.FieldByName(field).AsString());
  if (!moment) return std::nullopt;
  return StampSeconds(*moment);
}

bool AskToDelete(int question, const std::string& name) {
  return MessageDlg(Format(LoadStr(question), {name}), mtConfirmation, mbYesNo) == mrYes;
}

}  // namespace

std::int64_t StampSeconds(TDateTime moment) { return std::llround(moment.Value() * 86400.0); }

bool InAuditPeriod(TDateTime from, TDateTime to, std::int64_t startSeconds, std::int64_t endSeconds) {
  constexpr std::int64_t kSecondsPerDay = 86400;
  return !from.IsZero() && !to.IsZero() && StampSeconds(from) < startSeconds &&
         endSeconds < StampSeconds(to) + kSecondsPerDay;
}

TUsers::TUsers(TComponent* owner)
    : TComponent(owner),
      qryUsersPROFILE_ID(qryUsers.DefineField("PROFILE_ID")),
      qryUsersPROFILE(qryUsers.AddLookupField("PROFILE", 30, "PROFILE_ID", qryProfiles, "PROF_ID",
                                              "PROF_DESCRIPTION")),
      qryUsersCalcUserActive(qryUsers.AddCalculatedField("CalcUserActive", TFieldType::String, 3)),
      qryProfilesINTERVAL_CHANGE_PWD(qryProfiles.DefineField("INTERVAL_CHANGE_PWD")),
      qryProfilesMUST_CHANGE_PWD(qryProfiles.DefineField("MUST_CHANGE_PWD")),
      qryProfilesHIDE_DISABLE_MENU(qryProfiles.DefineField("HIDE_DISABLE_MENU")),
      qryProfilesItemNotAutorized(
          qryProfiles.AddCalculatedField("ItemNotAutorized", TFieldType::String, 20)),
      qryProfilesCalcMustChangePwd(
          qryProfiles.AddCalculatedField("CalcMustChangePwd", TFieldType::String, 3)),
      qryAuditUSERQV_NAME(qryAudit.AddLookupField("USERQV_NAME", 20, "USER_ID", qryUsers, "USER_ID",
                                                  "USERQV_NAME")),
      qryAuditMENU_CAPTION(qryAudit.AddLookupField("MENU_CAPTION", 100, "PROG_ID", qryProgs,
                                                   "MENU_ID", "MENU_CAPTION")),
      qryAuditUSER_ID(qryAudit.DefineField("USER_ID")),
      qryAuditPROG_ID(qryAudit.DefineField("PROG_ID")),
      qryAuditStartSeconds(qryAudit.AddCachedField(
          "StartSeconds", [](TDataSet& d) { return StampOf(d, "START_SESSION"); })),
      qryAuditEndSeconds(qryAudit.AddCachedField("EndSeconds",
                                                 [](TDataSet& d) { return StampOf(d, "END_SESSION"); })),
      qryUserInfoUSER_ACTIVE(qryUserInfo.DefineField("USER_ACTIVE")) {
  Prepare(GenerateId, "GenerateId", sql::GenerateUserId, false);
  Prepare(ProfNull, "ProfNull", sql::ProfNull, false);
  Prepare(DelUserFromUAccess, "DelUserFromUAccess", sql::DelUserFromUAccess, false);
  Prepare(DelProgsFromUAccess, "DelProgsFromUAccess", sql::DelProgsFromUAccess, false);
  Prepare(DelProfsFromPAccess, "DelProfsFromPAccess", sql::DelProfsFromPAccess, false);
  Prepare(DelProgsFromPAccess, "DelProgsFromPAccess", sql::DelProgsFromPAccess, false);
  Prepare(DelUHistory, "DelUHistory", sql::DelUHistory, false);
  Prepare(UpdateUFromProfile, "UpdateUFromProfile", sql::UpdateUFromProfile, false);
  Prepare(qryUsers, "qryUsers", sql::qryUsers, true);
  Prepare(qryProfiles, "qryProfiles", sql::qryProfiles, true);
  Prepare(qryProgs, "qryProgs", sql::qryProgs, true);
  Prepare(qryHistory, "qryHistory", sql::qryHistory, true);
  Prepare(qryUAccess, "qryUAccess", sql::qryUAccess, true);
  Prepare(qryPAccess, "qryPAccess", sql::qryPAccess, true);
  Prepare(qryAudit, "qryAudit", sql::qryAudit, true);
  // The audit trail only grows, and the rights of every user and profile
  // and the password history of every user grow with the installation;
  // the login and the password change read what they decide on with
  // statements of their own. So these rows are read when the administration
  // window (or anything else) first needs them, never by the start-up that
  // opens the datasets.
  for (TQuery* query : {&qryAudit, &qryUAccess, &qryPAccess, &qryHistory}) query->SetDeferRows(true);
  Prepare(qryUserName, "qryUserName", sql::qryUserName, false);
  Prepare(qryMenuCaption, "qryMenuCaption", sql::qryMenuCaption, false);
  Prepare(qryUserInfo, "qryUserInfo", sql::qryUserInfo, true);
  Prepare(qryAdduserInfo, "qryAdduserInfo", sql::qryAdduserInfo, false);
  Prepare(qryDelUserInfo, "qryDelUserInfo", sql::qryDelUserInfo, false);
  Prepare(userStates_, "qryUserInfo", sql::qryUserInfo, false);

  // qryAdduserInfo gets its alias from qryUsersAfterOpen only.
  for (TQuery* query : std::initializer_list<TQuery*>{
           &GenerateId, &ProfNull, &DelUserFromUAccess, &DelProgsFromUAccess, &DelProfsFromPAccess,
           &DelProgsFromPAccess, &DelUHistory, &UpdateUFromProfile, &qryUsers, &qryProfiles,
           &qryProgs, &qryHistory, &qryUAccess, &qryPAccess, &qryAudit, &qryUserName,
           &qryMenuCaption, &qryUserInfo, &qryDelUserInfo}) {
    query->SetDatabaseName(kDefaultAlias);
  }

  dsUsers.SetDataSet(&qryUsers);
  dsProfiles.SetDataSet(&qryProfiles);
  dsProgs.SetDataSet(&qryProgs);
  dsHistory.SetDataSet(&qryHistory);
  dsUAccess.SetDataSet(&qryUAccess);
  dsPAccess.SetDataSet(&qryPAccess);
  dsAudit.SetDataSet(&qryAudit);
  dsUserName.SetDataSet(&qryUserName);
  dsMenuCaption.SetDataSet(&qryMenuCaption);
  dsUserInfo.SetDataSet(&qryUserInfo);

  // The command statements take their row values from these sources.
  ProfNull.SetDataSource(&dsProfiles);
  DelProfsFromPAccess.SetDataSource(&dsProfiles);
  DelUserFromUAccess.SetDataSource(&dsUsers);
  DelUHistory.SetDataSource(&dsUsers);
  UpdateUFromProfile.SetDataSource(&dsUsers);
  qryDelUserInfo.SetDataSource(&dsUsers);
  DelProgsFromUAccess.SetDataSource(&dsProgs);
  DelProgsFromPAccess.SetDataSource(&dsProgs);

  // Field definitions beyond the selected columns.
  qryUsersPROFILE_ID.SetDefaultExpression("0");
  qryUsers.DefineField("AUDIT_MODE").SetDefaultExpression("'0'");
  // The width of the scrambled password comes from the table layout, not
  // from the engine: PostgreSQL's bytea declares none, and SQLite files made
  // before the column was widened still declare the old one.
  qryUsers.DefineField("USER_PWD").SetSize(ColumnWidth("QUARVEL", "USER_PWD"));
  qryProfilesMUST_CHANGE_PWD.SetDefaultExpression("'1'");
  qryProfilesHIDE_DISABLE_MENU.SetDefaultExpression("0");
  qryProfilesINTERVAL_CHANGE_PWD.SetEditFormat("00");
  qryProgs.DefineField("MENU_NAME").SetDisplayWidth(100);
  qryProgs.DefineField("MENU_CAPTION").SetDisplayWidth(100);

  // Any change of qryUserInfo may change what CalcUserActive shows.
  userInfoWatch_.SetDataSet(&qryUserInfo);
  userInfoWatch_.OnStateChange = [this](TDataSource&) { userActiveStale_ = true; };
  userInfoWatch_.OnDataChange = [this](TDataSource&, TField* field) {
    if (!field) userActiveStale_ = true;
  };

  qryUsers.AfterOpen = [this](TDataSet& d) { qryUsersAfterOpen(d); };
  qryUsers.BeforeEdit = [this](TDataSet& d) { qryUsersBeforeEdit(d); };
  qryUsers.BeforePost = [this](TDataSet& d) { qryUsersBeforePost(d); };
  qryUsers.AfterPost = [this](TDataSet& d) { qryUsersAfterPost(d); };
  qryUsers.BeforeDelete = [this](TDataSet& d) { qryUsersBeforeDelete(d); };
  qryUsers.AfterDelete = [this](TDataSet& d) { qryUsersAfterDelete(d); };
  qryUsers.OnCalcFields = [this](TDataSet& d) { qryUsersCalcFields(d); };
  qryProfiles.AfterInsert = [this](TDataSet& d) { qryProfilesAfterInsert(d); };
  qryProfiles.BeforePost = [this](TDataSet& d) { qryProfilesBeforePost(d); };
  qryProfiles.AfterPost = [this](TDataSet& d) { qryProfilesAfterPost(d); };
  qryProfiles.BeforeDelete = [this](TDataSet& d) { qryProfilesBeforeDelete(d); };
  qryProfiles.AfterDelete = [this](TDataSet& d) { qryProfilesAfterDelete(d); };
  qryProfiles.OnCalcFields = [this](TDataSet& d) { qryProfilesCalcFields(d); };
  qryProgs.BeforePost = [this](TDataSet& d) { qryProgsBeforePost(d); };
  qryProgs.AfterPost = [this](TDataSet& d) { qryProgsAfterPost(d); };
  qryProgs.BeforeDelete = [this](TDataSet& d) { qryProgsBeforeDelete(d); };
  qryUsers.OnRowStored = [this] { StoreUserDependents(); };
  BindCascadeEvents();
  BindKeyRetries();

  UsersCreate(*this);
}

TUsers::~TUsers() {
  // A cascade still open here belongs to a delete that never finished.
  RollbackCascade();
  userInfoWatch_.SetDataSet(nullptr);
}

void TUsers::UsersCreate(TObject&) {
  qryProfilesINTERVAL_CHANGE_PWD.SetDisplayFormat(LoadStr(kStrIntervalDisplayFormat));
}

// The command statements and the read-only lists follow the database the
// users dataset was opened on.
void TUsers::qryUsersAfterOpen(TDataSet&) {
  const std::string alias = qryUsers.DatabaseName();
  for (TQuery* query : std::initializer_list<TQuery*>{
           &GenerateId, &ProfNull, &DelUserFromUAccess, &DelProgsFromUAccess, &DelProfsFromPAccess,
           &DelProgsFromPAccess, &DelUHistory, &UpdateUFromProfile, &qryUserName, &qryMenuCaption,
           &qryAdduserInfo, &qryDelUserInfo}) {
    query->SetDatabaseName(alias);
  }
}

void TUsers::qryUsersBeforeEdit(TDataSet&) { SavedProfileId = qryUsersPROFILE_ID.AsInteger(); }

void TUsers::qryUsersBeforePost(TDataSet&) {
  postedUserId_ = AssignKey(qryUsers, sql::GenerateUserId, LastUserId);
}

// The writes that belong with a stored users row, run inside the row's own
// transaction (see OnRowStored): when the profile changed, the user's rights
// are derived again from the new profile; when the user has no state row in
// this application, one is added. Nothing is read back here (only the
// filter of qryUserInfo moves to the user), so a failure leaves the datasets
// showing what the database holds after the rollback.
void TUsers::StoreUserDependents() {
  const int userId = postedUserId_;
  rightsRederived_ = stateRowAdded_ = false;
  if (qryUsersPROFILE_ID.AsInteger() != SavedProfileId) {
    // For the user stored, whose key a retry may have changed since the
    // row's fields were read.
    TDataSource* master = UpdateUFromProfile.DataSource();
    UpdateUFromProfile.SetDataSource(nullptr);
    UpdateUFromProfile.ParamByName("USER_ID").SetAsInteger(userId);
    try {
      UpdateUFromProfile.ExecSQL();
    } catch (...) {
      UpdateUFromProfile.SetDataSource(master);
      throw;
    }
    UpdateUFromProfile.SetDataSource(master);
    rightsRederived_ = true;
  }

  qryUserInfo.SetFilter(UserFilter(userId));
  qryUserInfo.SetFiltered(true);
  if (qryUserInfo.IsEmpty()) {
    qryAdduserInfo.ParamByName("APP_KEY").SetValue(qryProgs.ParamByName("APP_KEY").Value());
    qryAdduserInfo.ParamByName("USER_ID").SetAsInteger(userId);
    std::string today;
    {
      ScopedNormalizedDateFormat normalized;
      today = DateToStr(Date());
    }
    qryAdduserInfo.ParamByName("EXPIRATION_DATE").SetAsString(today);
    qryAdduserInfo.ExecSQL();
    stateRowAdded_ = true;
  }
}

// After a users row and what belongs with it are stored: the rights and the
// state row are read back where they changed, and the list reopened on the
// posted row. The posted row is the one just inserted or just edited, so an
// edit serves the edited user, not the latest insert.
void TUsers::qryUsersAfterPost(TDataSet&) {
  const int userId = postedUserId_;
  if (rightsRederived_) {
    SavedProfileId = 0;
    qryUAccess.Reopen();
  }
  qryUsers.Reopen();
  qryUsers.Locate("USER_ID", Value(userId));

  qryUserInfo.SetFilter(UserFilter(userId));
  qryUserInfo.SetFiltered(true);
  if (stateRowAdded_) {
    userActiveStale_ = true;
    qryUserInfo.Reopen();
  }
}

// Asks first; a No ends the delete silently with nothing changed. A Yes
// removes the user's rights, password history and state rows of every
// application inside the transaction that the row's own delete completes.
void TUsers::qryUsersBeforeDelete(TDataSet&) {
  if (!AskToDelete(kStrConfirmDeleteUser, qryUsers.FieldByName("USERQV_NAME").AsString())) Abort();
  RunCascade(qryUsers, [this] {
    DelUserFromUAccess.ExecSQL();
    DelUHistory.ExecSQL();
    qryDelUserInfo.ExecSQL();
    ReloadUserStates();
    qryUAccess.Reopen();
    qryHistory.Reopen();
  });
}

void TUsers::qryUsersAfterDelete(TDataSet&) {
  MessageDlg(LoadStr(kStrUserDeleted), mtInformation, {mbOK});
  qryUsers.Reopen();
}

// Each users row shows its own user's state in this application, whatever
// row of qryUserInfo is current and however it is filtered.
void TUsers::qryUsersCalcFields(TDataSet&) {
  SetYesNo(qryUsersCalcUserActive, UserActiveOf(qryUsers.FieldByName("USER_ID").AsInteger()));
}

void TUsers::qryProfilesAfterInsert(TDataSet&) {
  qryProfilesMUST_CHANGE_PWD.SetAsString("1");
  qryProfiles.FieldByName("AUDIT_MODE").SetAsString("0");
}

void TUsers::qryProfilesBeforePost(TDataSet&) {
  postedProfId_ = AssignKey(qryProfiles, sql::GenerateProfId, LastProfId);
  // A profile that does not force password changes has no interval.
  if (qryProfilesMUST_CHANGE_PWD.AsString() == "0") qryProfilesINTERVAL_CHANGE_PWD.Clear();
}

void TUsers::qryProfilesAfterPost(TDataSet&) {
  const int profId = postedProfId_;
  qryProfiles.Reopen();
  qryProfiles.Locate("PROF_ID", Value(profId));
}

// Asks first; a Yes moves every member of the profile, in every
// application, to no profile and removes the profile's rights, inside the
// transaction that the row's own delete completes.
void TUsers::qryProfilesBeforeDelete(TDataSet&) {
  if (!AskToDelete(kStrConfirmDeleteProfile,
                   qryProfiles.FieldByName("PROF_DESCRIPTION").AsString()))
    Abort();
  RunCascade(qryProfiles, [this] {
    ProfNull.ExecSQL();
    DelProfsFromPAccess.ExecSQL();
    qryPAccess.Reopen();
  });
}

void TUsers::qryProfilesAfterDelete(TDataSet&) {
  MessageDlg(LoadStr(kStrProfileDeleted), mtInformation, {mbOK});
  qryProfiles.Reopen();
}

void TUsers::qryProfilesCalcFields(TDataSet&) {
  if (qryProfilesHIDE_DISABLE_MENU.IsNull()) {
    qryProfilesItemNotAutorized.Clear();
  } else if (qryProfilesHIDE_DISABLE_MENU.AsInteger() == 1) {
    qryProfilesItemNotAutorized.SetAsString(LoadStr(kStrItemHidden));
  } else if (qryProfilesHIDE_DISABLE_MENU.AsInteger() == 2) {
    qryProfilesItemNotAutorized.SetAsString(LoadStr(kStrItemDisabled));
  } else {
    qryProfilesItemNotAutorized.Clear();
  }
  SetYesNo(qryProfilesCalcMustChangePwd, qryProfilesMUST_CHANGE_PWD.AsString());
}

void TUsers::qryProgsBeforePost(TDataSet&) {
  postedMenuId_ = AssignKey(qryProgs, sql::GenerateMenuId, LastMenuId);
}

void TUsers::qryProgsAfterPost(TDataSet&) {
  const int menuId = postedMenuId_;
  qryProgs.Reopen();
  qryProgs.Locate("MENU_ID", Value(menuId));
}

// A catalogue row goes without a question; its rights rows of users and
// profiles go with it, in the same transaction as the row's own delete.
void TUsers::qryProgsBeforeDelete(TDataSet&) {
  RunCascade(qryProgs, [this] {
    DelProgsFromUAccess.ExecSQL();
    DelProgsFromPAccess.ExecSQL();
  });
}

void TUsers::OpenTables(const std::string& alias, const std::string& appKey) {
  const std::initializer_list<TQuery*> all = {&qryUsers,   &qryProgs,   &qryProfiles, &qryUAccess,
                                              &qryPAccess, &qryHistory, &qryAudit,    &qryUserInfo};
  for (TQuery* query : all) query->SetDatabaseName(alias);
  for (TQuery* query : {&qryUAccess, &qryPAccess, &qryProgs, &qryAudit, &qryUserInfo})
    query->ParamByName("APP_KEY").SetAsString(appKey);
  for (TQuery* query : all) query->Open();
}

void TUsers::StorePassword(const std::string& text) {
  qryUsers.Edit();
  TField& password = qryUsers.FieldByName("USER_PWD");
  TField& changed = qryUsers.FieldByName("LAST_PWD_CHANGE");
  const Value oldPassword = password.AsValue(), oldChanged = changed.AsValue();
  try {
    password.SetValue(Value::Bytes(EncodePassword(text)));
    changed.SetAsString(TodayDateText());
    qryUsers.Post();
  } catch (...) {
    if (qryUsers.State() == TDataSetState::Edit) {
      password.SetValue(oldPassword);
      changed.SetValue(oldChanged);
    }
    throw;
  }
}

// The members are walked in the users list itself, as the window's button
// does, so that UpdateUFromProfile takes each one's USER_ID from it.
int TUsers::UpdateMembersFromProfile(int profId) {
  const std::string previous = qryUsers.Filter();
  const bool filtered = qryUsers.Filtered();
  struct PutFilterBack {
    TQuery& users;
    const std::string& filter;
    bool filtered;
    ~PutFilterBack() {
      users.SetFilter(filter);
      users.SetFiltered(filtered);
    }
  } putBack{qryUsers, previous, filtered};
  qryUsers.SetFilter("PROFILE_ID=" + std::to_string(profId));
  qryUsers.SetFiltered(true);
  int members = 0;
  for (qryUsers.First(); !qryUsers.Eof(); qryUsers.Next())
    if (qryUsers.FieldByName("USERQV_NAME").AsString() != kMasterName) ++members;

  SharedTransaction transaction(UpdateUFromProfile.Database());
  TQuery update;
  update.SetDatabaseName(UpdateUFromProfile.DatabaseName());
  update.SetSQL(sql::UpdateUsersFromProfile);
  update.ParamByName("PROF_ID").SetAsInteger(profId);
  update.ExecSQL();
  transaction.Commit();
  return members;
}

void TUsers::StoreRights(TRightsOf subject, int id, const std::string& appKey, const std::vector<int>& granted,
                         const std::vector<int>& denied) {
  // Items per statement: well below every engine's limit on parameters.
  constexpr std::size_t kBatch = 200;
  TModuleQuery& rights = RightsOf(subject);
  SharedTransaction transaction(rights.Database());
  auto store = [&](const std::vector<int>& items, const char* flag) {
    for (std::size_t first = 0; first < items.size(); first += kBatch) {
      const std::size_t last = std::min(items.size(), first + kBatch);
      TQuery update;
      update.SetDatabaseName(rights.DatabaseName());
      update.SetSQL(sql::SetRightsOfItems(subject == TRightsOf::User, last - first));
      update.ParamByName("AUTHORIZED").SetAsString(flag);
      update.ParamByName("APP_KEY").SetAsString(appKey);
      update.ParamByName("ID").SetAsInteger(id);
      for (std::size_t i = first; i < last; ++i) update.ParamByName("M" + std::to_string(i - first)).SetAsInteger(items[i]);
      update.ExecSQL();
    }
  };
  store(granted, "1");
  store(denied, "0");
  transaction.Commit();
}

TModuleQuery& TUsers::RightsOf(TRightsOf subject) {
  return subject == TRightsOf::User ? qryUAccess : qryPAccess;
}

const char* TUsers::SubjectField(TRightsOf subject) {
  return subject == TRightsOf::User ? "USER_ID" : "PROF_ID";
}

bool TUsers::StoreRight(TRightsOf subject, int id, int menuId, const std::string& appKey,
                        const std::string& authorized, bool insertMissing) {
  TModuleQuery& rights = RightsOf(subject);
  const char* keyField = SubjectField(subject);
  if (rights.Locate(std::string("MENU_ID;") + keyField, {Value(menuId), Value(id)})) {
    TField& flag = rights.FieldByName("AUTHORIZED");
    if (flag.IsNull() || flag.AsString() != authorized) {
      rights.Edit();
      flag.SetAsString(authorized);
      rights.Post();
    }
    return true;
  }
  if (!insertMissing) return false;
  rights.Append();
  rights.FieldByName(keyField).SetAsInteger(id);
  rights.FieldByName("MENU_ID").SetAsInteger(menuId);
  rights.FieldByName("AUTHORIZED").SetAsString(authorized);
  rights.FieldByName("APP_KEY").SetAsString(appKey);
  rights.Post();
  return true;
}

// The largest key present plus one; GenerateId is left closed. The key
// columns are 32-bit: a table whose largest key is the largest such number
// has no next key.
int TUsers::NextKey(std::string_view maxSql) {
  GenerateId.Close();
  GenerateId.SetSQL(maxSql);
  GenerateId.Open();
  const std::int64_t largest = GenerateId.Fields().at(0)->AsValue().AsInteger();
  GenerateId.Close();
  if (largest >= std::numeric_limits<std::int32_t>::max())
    throw EDatabaseError("No key left after " + std::to_string(largest) + " (" + std::string(maxSql) + ")");
  return static_cast<int>(largest) + 1;
}

int TUsers::AssignKey(TModuleQuery& rows, std::string_view maxSql, int& last) {
  keyRetries_ = 0;
  TField& key = rows.FieldByName(rows.KeyField());
  if (rows.State() == TDataSetState::Insert) {
    last = NextKey(maxSql);
    key.SetAsInteger(last);
  }
  return key.AsInteger();
}

const std::string& TUsers::UserActiveOf(int userId) {
  static const std::string kNone;
  if (!qryUserInfo.Active()) return kNone;
  if (userActiveStale_) ReloadUserStates();
  auto found = userActive_.find(userId);
  return found == userActive_.end() ? kNone : found->second;
}

void TUsers::ReloadUserStates() {
  userActiveStale_ = true;
  if (!qryUserInfo.Active()) return;
  userActive_.clear();
  userStates_.Close();
  userStates_.SetDatabaseName(qryUserInfo.DatabaseName());
  userStates_.ParamByName("APP_KEY").SetValue(qryUserInfo.ParamByName("APP_KEY").Value());
  userStates_.Open();
  TField& id = userStates_.FieldByName("USER_ID");
  TField& active = userStates_.FieldByName("USER_ACTIVE");
  for (userStates_.First(); !userStates_.Eof(); userStates_.Next()) {
    userActive_.emplace(id.AsInteger(), active.AsString());
  }
  userStates_.Close();
  userActiveStale_ = false;
}

}  // namespace qv
