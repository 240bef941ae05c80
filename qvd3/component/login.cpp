// The login: the dialog, the checks of name and password, the refusals of
// inactive and expired users, the profile's password rule, and the filling
// of the current-user record.
//
// Every decision is taken on what the database holds at the moment of the
// attempt (the user's row, the state row in this application, the profile
// and the rights), read afresh for each attempt: changes another
// administrator made since start-up hold at once.
#include <optional>
#include <string>
#include <unordered_map>

#include "qvd3/component/password.h"
#include "qvd3/component/quarvel.h"
#include "qvd3/component/quarvel_res.h"
#include "qvd3/component/user.h"
#include "qvd3/data/secured_client.h"
#include "qvd3/data/stored_account.h"
#include "qvd3/dialogs/dialog_scope.h"
#include "qvd3/dialogs/login_qv.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/sys/date_time.h"
#include "qvd3/platform/sys/format.h"
#include "qvd3/platform/sys/string_table.h"
#include "qvd3/platform/ui/application.h"

namespace qv {

namespace {

constexpr int kMaxLoginAttempts = 3;

void Warn(const std::string& text) { MessageDlg(text, mtWarning, TMsgDlgButtons{mbOK}); }

}  // namespace

// Shows the dialog up to three times and checks each confirmed attempt.
// A name that matches no user and a wrong password cost an attempt; a
// refused user ends the login at once; Cancel ends it silently.
//
// Every attempt works on a record of its own. Only a successful login puts
// it in place of the current-user record and applies the user's rights to
// the menu, and only once everything it needs has been read: a cancelled,
// refused or failed one (an error reading the rights included) leaves the
// record, and with it the menu, the audit attribution and the password
// change, with the user logged in before, or with nobody.
//
// On a secured database the server decides each attempt in one call
// (password, refusals, expiry write, rights) and binds the connection to
// the user only when it admits them; its answers take the same paths and
// messages as the decisions taken here otherwise.
bool TQuarvel::Login() {
  if (!FUser) throw EQuarvelError("Login needs a loaded component at run time.");
  OpenTables();

  // Fills the record of the user logging in from the stored account.
  auto loadUserRecord = [&](TUser& user, const StoredAccount& account) {
    user.FUserID = account.UserID;
    user.FRealName = account.RealName;
    user.FLastPwdChange = account.LastPwdChange;
    user.FProfileID = account.ProfileID;
    user.FAuditMode = account.AuditMode;
    user.FExpirationDate = account.ExpirationDate;
    user.FUserExpire = account.UserExpire;
    user.FUserActive = account.UserActive;
    user.FProfile = account.Profile ? account.Profile->Description : LoadStr(kStrNoProfile);
    // The user is audited when either the user or the profile says so.
    if (account.Profile && account.Profile->AuditMode == "1") user.FAuditMode = "1";
  };

  // The refusals and the profile's rules for a user whose password matched:
  // true when the user is admitted. The built-in administrator skips them.
  auto admits = [&](TUser& user, const StoredAccount& account) -> bool {
    if (IsBuiltInAdministrator(user.FUserName)) return true;

    const std::string notAuthorized = Format(LoadStr(kStrUserNotAuthorized), {user.FUserName});
    if (!user.GetUserActive()) {
      Warn(notAuthorized);
      return false;
    }
    if (user.GetUserExpire() && Date() >= user.GetExpirationDate()) {
      SwitchOffExpiredUser(user.FUserID, notAuthorized);
      return false;
    }
    if (account.Profile && account.Profile->MustChangePwd == "1" &&
        Date() >= user.GetLastPwdChange() + account.Profile->IntervalChangePwd &&
        !ForcePasswordChange(user)) {
      return false;
    }
    return true;
  };

  TUser candidate;
  std::optional<StoredAccount> account;
  std::optional<std::unordered_map<std::string, bool>> knownRights;

  // A secured attempt whose password matched: true when the server admitted
  // the user, after the forced password change when the profile demands
  // one (the identity is then taken by logging in with the new password).
  auto securedAdmits = [&](TUser& user, ServerLoginResult result) -> bool {
    if (result.Status == ServerLoginStatus::MustChange) {
      if (!ForcePasswordChange(user)) return false;
      result = ServerLogin(FDatabaseName, user.FUserName, user.FPassword, FAppKey);
      if (result.Account) {
        account = result.Account;
        loadUserRecord(user, *account);
      }
    }
    if (result.Status != ServerLoginStatus::Ok) {
      Warn(Format(LoadStr(kStrUserNotAuthorized), {user.FUserName}));
      return false;
    }
    knownRights = std::move(result.Rights);
    return true;
  };

  bool admitted = false;
  {
    DialogScope<TLogin> dialog(uLogin);
    for (int attempt = 1; attempt <= kMaxLoginAttempts; ++attempt) {
      if (dialog->ShowModal() == mrCancel) break;

      candidate.Reset();
      candidate.FUserName = dialog->Usuario->Text();
      candidate.FPassword = dialog->Senha->Text();

      if (FSecured) {
        ServerLoginResult result = ServerLogin(FDatabaseName, candidate.FUserName, candidate.FPassword, FAppKey);
        if (result.Status == ServerLoginStatus::UnknownUser) {
          Warn(LoadStr(kStrInvalidUserName));
          continue;
        }
        if (result.Status == ServerLoginStatus::WrongPassword) {
          Warn(LoadStr(kStrInvalidPassword));
          continue;
        }
        account = result.Account;
        loadUserRecord(candidate, *account);
        admitted = securedAdmits(candidate, std::move(result));
        break;
      }

      account = ReadStoredAccount(FDatabaseName, FAppKey, candidate.FUserName);
      if (!account) {
        Warn(LoadStr(kStrInvalidUserName));
        continue;
      }
      if (DecodePassword(account->ScrambledPassword) != candidate.FPassword) {
        Warn(LoadStr(kStrInvalidPassword));
        continue;
      }

      loadUserRecord(candidate, *account);
      admitted = admits(candidate, *account);
      break;
    }
  }
  if (!admitted) return false;

  // Everything the new identity needs is read before anything changes.
  // Commands the host added or re-wired since start-up are taken over
  // first, so that they are audited and judged like the others.
  if (FMenuHooked) HookLateMenuItems();
  const TRightsPlan plan = PlanRights(candidate, *account, knownRights ? &*knownRights : nullptr);
  qryUserInfo->SetFilter("USER_ID=" + std::to_string(candidate.FUserID));
  qryUserInfo->SetFiltered(true);

  *FUser = std::move(candidate);
  ApplyRights(plan);
  return true;
}

// An account past its expiration date is switched off in this application
// for good (USER_ACTIVE "0"), then refused. The state row is read again
// first, so the write reaches the row as it is now. The refusal is shown as
// soon as the change is stored, before the dataset is read again. A store
// that fails leaves no edit pending on qryUserInfo (a later move would post
// it behind the person's back) and its error propagates.
void TQuarvel::SwitchOffExpiredUser(int userId, const std::string& refusal) {
  qryUserInfo->Reopen();
  qryUserInfo->SetFilter("USER_ID=" + std::to_string(userId));
  qryUserInfo->SetFiltered(true);
  if (!qryUserInfo->IsEmpty()) {
    try {
      qryUserInfo->Edit();
      qryUserInfo->FieldByName("USER_ACTIVE").SetAsString("0");
      qryUserInfo->Post();
    } catch (...) {
      if (qryUserInfo->State() == TDataSetState::Edit) qryUserInfo->Cancel();
      throw;
    }
  }
  Warn(refusal);
  qryUserInfo->Reopen();
}

// Tells the user the password has expired and runs the password change for
// the user logging in until the password really changed (True) or the user
// declines to try again (False).
bool TQuarvel::ForcePasswordChange(TUser& user) {
  const std::string before = user.FPassword;
  Warn(LoadStr(kStrPasswordExpired));
  for (;;) {
    ChangePassword(user);
    if (user.FPassword != before) return true;
    if (MessageDlg(LoadStr(kStrMustChangePassword), mtWarning, mbYesNo) == mrNo) return false;
  }
}

}  // namespace qv
