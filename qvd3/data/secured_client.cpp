#include "qvd3/data/secured_client.h"

#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/db/session.h"

namespace qv {

namespace {

// The login's one row: its status and the account. Every column is named.
constexpr const char* kLogin =
    "SELECT STATUS, USERQV_NAME, REAL_NAME, USER_ID, LAST_PWD_CHANGE, PROFILE_ID, AUDIT_MODE, INFO_USER_ID,\n"
    "INFO_EXPIRATION_DATE, INFO_USER_EXPIRE, INFO_USER_ACTIVE, PROF_ID, PROF_DESCRIPTION, PROF_AUDIT_MODE,\n"
    "PROF_MUST_CHANGE_PWD, PROF_INTERVAL_CHANGE_PWD, PROF_HIDE_DISABLE_MENU\n"
    "FROM QV_LOGIN(:USERQV_NAME, :PASSWORD, :APP_KEY)";

class Call : public TQuery {
 public:
  Call(const std::string& alias, std::string_view sql) {
    SetDatabaseName(alias);
    SetSQL(sql);
  }
  // The first column of the only row (booleans are asked for as integers).
  TField& Result() {
    Open();
    if (IsEmpty()) throw EDatabaseError("the secured database gave no answer");
    return *Fields()[0];
  }
};

ServerLoginStatus LoginStatusOf(const std::string& status) {
  if (status == "ok") return ServerLoginStatus::Ok;
  if (status == "unknown_user") return ServerLoginStatus::UnknownUser;
  if (status == "wrong_password") return ServerLoginStatus::WrongPassword;
  if (status == "inactive") return ServerLoginStatus::Inactive;
  if (status == "expired") return ServerLoginStatus::Expired;
  if (status == "must_change") return ServerLoginStatus::MustChange;
  throw EDatabaseError("the secured database answered the login with an unknown status '" + status + "'");
}

}  // namespace

bool IsSecuredClient(const std::string& alias) {
  if (Session::Default().Database(alias).Engine() != EngineKind::PostgreSql) return false;
  Call installed(alias, "SELECT (to_regproc('qv_is_secured_client') IS NOT NULL)::integer");
  if (installed.Result().AsInteger() == 0) return false;
  Call client(alias, "SELECT QV_IS_SECURED_CLIENT()::integer");
  TField& answer = client.Result();
  return !answer.IsNull() && answer.AsInteger() != 0;
}

ServerLoginResult ServerLogin(const std::string& alias, const std::string& userName, const std::string& password,
                              const std::string& appKey) {
  Call login(alias, kLogin);
  login.ParamByName("USERQV_NAME").SetAsString(userName);
  login.ParamByName("PASSWORD").SetAsString(password);
  login.ParamByName("APP_KEY").SetAsString(appKey);
  ServerLoginResult result;
  result.Status = LoginStatusOf(login.Result().AsString());
  if (result.Status == ServerLoginStatus::UnknownUser || result.Status == ServerLoginStatus::WrongPassword)
    return result;
  result.Account = StoredAccountFromRow(login);
  // The rights are read once the connection is the user's, under the same
  // row rules as every other read.
  if (result.Status == ServerLoginStatus::Ok)
    result.Rights = ReadStoredRights(alias, appKey, result.Account->UserID);
  return result;
}

ServerPasswordChange ServerChangePassword(const std::string& alias, const std::string& userName,
                                          const std::string& current, const std::string& next) {
  Call change(alias, "SELECT QV_CHANGE_PASSWORD(:USERQV_NAME, :PASSWORD, :NEW_PASSWORD)");
  change.ParamByName("USERQV_NAME").SetAsString(userName);
  change.ParamByName("PASSWORD").SetAsString(current);
  change.ParamByName("NEW_PASSWORD").SetAsString(next);
  const std::string status = change.Result().AsString();
  if (status == "ok") return ServerPasswordChange::Ok;
  if (status == "unknown_user") return ServerPasswordChange::UnknownUser;
  if (status == "wrong_password") return ServerPasswordChange::WrongPassword;
  if (status == "former_password") return ServerPasswordChange::FormerPassword;
  if (status == "invalid") return ServerPasswordChange::Invalid;
  throw EDatabaseError("the secured database answered the password change with an unknown status '" + status +
                       "'");
}

bool ServerCheckPassword(const std::string& alias, const std::string& userName, const std::string& password) {
  Call check(alias, "SELECT QV_CHECK_PASSWORD(:USERQV_NAME, :PASSWORD)::integer");
  check.ParamByName("USERQV_NAME").SetAsString(userName);
  check.ParamByName("PASSWORD").SetAsString(password);
  TField& answer = check.Result();
  return !answer.IsNull() && answer.AsInteger() != 0;
}

bool ServerIsFormerPassword(const std::string& alias, const std::string& userName, const std::string& current,
                            const std::string& candidate) {
  Call check(alias, "SELECT QV_IS_FORMER_PASSWORD(:USERQV_NAME, :PASSWORD, :CANDIDATE)::integer");
  check.ParamByName("USERQV_NAME").SetAsString(userName);
  check.ParamByName("PASSWORD").SetAsString(current);
  check.ParamByName("CANDIDATE").SetAsString(candidate);
  TField& answer = check.Result();
  return !answer.IsNull() && answer.AsInteger() != 0;
}

std::optional<int> ServerSessionUserId(const std::string& alias) {
  Call session(alias, "SELECT QV_SESSION_USER_ID()");
  TField& answer = session.Result();
  if (answer.IsNull()) return std::nullopt;
  return answer.AsInteger();
}

}  // namespace qv
