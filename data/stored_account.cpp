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
  std::string Text(const char* field) { return FieldByName(field).AsString(); }
  bool IsNullField(const char* field) { return FieldByName(field).IsNull(); }
};

}  // namespace

std::optional<StoredAccount> ReadStoredAccount(const std::string& alias, const std::string& appKey,
                                               const std::string& userName) {
  Read read(alias, sql::ReadAccount);
  read.ParamByName("USERQV_NAME").SetAsString(userName);
  read.ParamByName("APP_KEY").SetAsString(appKey);
  read.Open();
  if (read.IsEmpty()) return std::nullopt;

  StoredAccount account;
  account.UserName = read.Text("USERQV_NAME");
  account.RealName = read.Text("REAL_NAME");
  account.ScrambledPassword = read.Text("USER_PWD");
  account.UserID = read.FieldByName("USER_ID").AsInteger();
  account.LastPwdChange = read.Text("LAST_PWD_CHANGE");
  account.ProfileID = read.FieldByName("PROFILE_ID").AsInteger();
  account.AuditMode = read.Text("AUDIT_MODE");
  account.HasState = !read.IsNullField("INFO_USER_ID");
  if (account.HasState) {
    account.ExpirationDate = read.Text("INFO_EXPIRATION_DATE");
    account.UserExpire = read.Text("INFO_USER_EXPIRE");
    account.UserActive = read.Text("INFO_USER_ACTIVE");
  }
  if (!read.IsNullField("PROF_ID")) {
    StoredProfile profile;
    profile.Description = read.Text("PROF_DESCRIPTION");
    profile.AuditMode = read.Text("PROF_AUDIT_MODE");
    profile.MustChangePwd = read.Text("PROF_MUST_CHANGE_PWD");
    profile.IntervalChangePwd = read.FieldByName("PROF_INTERVAL_CHANGE_PWD").AsInteger();
    if (!read.IsNullField("PROF_HIDE_DISABLE_MENU"))
      profile.HideDisableMenu = read.FieldByName("PROF_HIDE_DISABLE_MENU").AsInteger();
    account.Profile = std::move(profile);
  }
  return account;
}

std::unordered_map<std::string, bool> ReadStoredRights(const std::string& alias, const std::string& appKey,
                                                       int userId) {
  Read read(alias, sql::ReadUserRights);
  read.ParamByName("APP_KEY").SetAsString(appKey);
  read.ParamByName("USER_ID").SetAsInteger(userId);
  read.Open();
  std::unordered_map<std::string, bool> rights;
  TField& name = read.FieldByName("MENU_NAME");
  TField& authorized = read.FieldByName("AUTHORIZED");
  for (read.First(); !read.Eof(); read.Next()) {
    // Duplicate rows of one item (a catalogue or rights table written by
    // another program) grant only when all of them grant.
    const bool granted = authorized.AsString() == "1";
    auto [entry, inserted] = rights.try_emplace(name.AsString(), granted);
    if (!inserted) entry->second = entry->second && granted;
  }
  return rights;
}

bool IsFormerPassword(const std::string& alias, int userId, const std::string& password) {
  Read read(alias, sql::ReadFormerPassword);
  read.ParamByName("USER_ID").SetAsInteger(userId);
  read.ParamByName("USER_PWD").SetAsString(password);
  read.Open();
  return !read.IsEmpty();
}

}  // namespace qv
