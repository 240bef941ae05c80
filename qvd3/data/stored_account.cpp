#include "qvd3/data/stored_account.h"

#include "qvd3/data/statements.h"
#include "qvd3/platform/db/query.h"

namespace qv {

namespace {

// A read-only statement on the alias; the caller binds and opens it.
class Read : public TQuery {
 public:
  Read(const std::string& alias, std::string_view sql) {
    SetDatabaseName(alias);
    SetSQL(sql);
  }
};

}  // namespace

StoredAccount StoredAccountFromRow(TDataSet& row) {
  auto text = [&](const char* field) { return row.FieldByName(field).AsString(); };
  auto isNull = [&](const char* field) { return row.FieldByName(field).IsNull(); };
  StoredAccount account;
  account.UserName = text("USERQV_NAME");
  account.RealName = text("REAL_NAME");
  if (TField* password = row.FindField("USER_PWD")) account.ScrambledPassword = password->AsString();
  account.UserID = row.FieldByName("USER_ID").AsInteger();
  account.LastPwdChange = text("LAST_PWD_CHANGE");
  account.ProfileID = row.FieldByName("PROFILE_ID").AsInteger();
  account.AuditMode = text("AUDIT_MODE");
  account.HasState = !isNull("INFO_USER_ID");
  if (account.HasState) {
    account.ExpirationDate = text("INFO_EXPIRATION_DATE");
    account.UserExpire = text("INFO_USER_EXPIRE");
    account.UserActive = text("INFO_USER_ACTIVE");
  }
  if (!isNull("PROF_ID")) {
    StoredProfile profile;
    profile.Description = text("PROF_DESCRIPTION");
    profile.AuditMode = text("PROF_AUDIT_MODE");
    profile.MustChangePwd = text("PROF_MUST_CHANGE_PWD");
    profile.IntervalChangePwd = row.FieldByName("PROF_INTERVAL_CHANGE_PWD").AsInteger();
    if (!isNull("PROF_HIDE_DISABLE_MENU"))
      profile.HideDisableMenu = row.FieldByName("PROF_HIDE_DISABLE_MENU").AsInteger();
    account.Profile = std::move(profile);
  }
  return account;
}

std::unordered_map<std::string, bool> StoredRightsFromRows(TDataSet& rows) {
  std::unordered_map<std::string, bool> rights;
  TField& name = rows.FieldByName("MENU_NAME");
  TField& authorized = rows.FieldByName("AUTHORIZED");
  for (; !rows.Eof(); rows.Next()) {
    if (name.IsNull()) continue;
    // Duplicate rows of one item (a catalogue or rights table written by
    // another program) grant only when all of them grant.
    const bool granted = authorized.AsString() == "1";
    auto [entry, inserted] = rights.try_emplace(name.AsString(), granted);
    if (!inserted) entry->second = entry->second && granted;
  }
  return rights;
}

std::optional<StoredAccount> ReadStoredAccount(const std::string& alias, const std::string& appKey,
                                               const std::string& userName) {
  Read read(alias, sql::ReadAccount);
  read.ParamByName("USERQV_NAME").SetAsString(userName);
  read.ParamByName("APP_KEY").SetAsString(appKey);
  read.Open();
  if (read.IsEmpty()) return std::nullopt;
  return StoredAccountFromRow(read);
}

std::unordered_map<std::string, bool> ReadStoredRights(const std::string& alias, const std::string& appKey,
                                                       int userId) {
  Read read(alias, sql::ReadUserRights);
  read.ParamByName("APP_KEY").SetAsString(appKey);
  read.ParamByName("USER_ID").SetAsInteger(userId);
  read.Open();
  read.First();
  return StoredRightsFromRows(read);
}

bool IsFormerPassword(const std::string& alias, int userId, const std::string& password) {
  Read read(alias, sql::ReadFormerPassword);
  read.ParamByName("USER_ID").SetAsInteger(userId);
  read.ParamByName("USER_PWD").SetAsString(password);
  read.Open();
  return !read.IsEmpty();
}

}  // namespace qv
