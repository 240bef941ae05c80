// The login: the dialog, the checks of name and password, the refusals of
// inactive and expired users, the profile's password rule, and the filling
// of the current-user record.
#include <string>

#include "qvd3/component/password.h"
#include "qvd3/component/quarvel.h"
#include "qvd3/component/quarvel_res.h"
#include "qvd3/component/user.h"
#include "qvd3/dialogs/dialog_scope.h"
#include "qvd3/dialogs/login_qv.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/sys/date_time.h"
#include "qvd3/platform/sys/format.h"
#include "qvd3/platform/sys/string_table.h"
#include "qvd3/platform/ui/application.h"

namespace qv {

namespace {

constexpr const char* kBuiltInAdministrator = "master";
constexpr int kMaxLoginAttempts = 3;

void Warn(const std::string& text) { MessageDlg(text, mtWarning, TMsgDlgButtons{mbOK}); }

bool IsFlagSet(TQuery& dataset, const char* field) {
  return dataset.FieldByName(field).AsString() == "1";
}

}  // namespace

// Shows the dialog up to three times and checks each confirmed attempt.
// A name that matches no user and a wrong password cost an attempt; a
// refused user ends the login at once; Cancel ends it silently.
//
// Every attempt works on a record of its own. Only a successful login puts
// it in place of the current-user record and applies the user's rights to
// the menu; a cancelled, refused or failed one (an error included) leaves
// the record, and with it the menu, the audit attribution and the password
// change, with the user logged in before, or with nobody.
bool TQuarvel::Login() {
  if (!FUser) throw EQuarvelError("Login needs a loaded component at run time.");
  OpenTables();

  // Fills the record from the user's row of qryUsers (the current row), the
  // user's UserInfo row of this application and the user's profile. The
  // filter "USER_ID=<id>" stays on qryUserInfo afterwards, as every other
  // user of that dataset expects.
  auto loadUserRecord = [&](TUser& user) {
    user.FUserID = qryUsers->FieldByName("USER_ID").AsInteger();
    user.FRealName = qryUsers->FieldByName("REAL_NAME").AsString();
    user.FLastPwdChange = qryUsers->FieldByName("LAST_PWD_CHANGE").AsString();
    user.FProfileID = qryUsers->FieldByName("PROFILE_ID").AsInteger();
    user.FAuditMode = qryUsers->FieldByName("AUDIT_MODE").AsString();

    qryUserInfo->SetFilter("USER_ID=" + std::to_string(user.FUserID));
    qryUserInfo->SetFiltered(true);
    const bool hasInfo = !qryUserInfo->IsEmpty();
    auto info = [&](const char* field) {
      return hasInfo ? qryUserInfo->FieldByName(field).AsString() : std::string();
    };
    user.FExpirationDate = info("EXPIRATION_DATE");
    user.FUserExpire = info("USER_EXPIRE");
    user.FUserActive = info("USER_ACTIVE");

    user.FProfile = ProfileDescription(user.FProfileID);
  };

  // The refusals and the profile's rules for a user whose password matched:
  // true when the user is admitted. The built-in administrator skips them.
  auto admits = [&](TUser& user) -> bool {
    if (user.FUserName == kBuiltInAdministrator) return true;

    const std::string notAuthorized = Format(LoadStr(kStrUserNotAuthorized), {user.FUserName});
    if (!user.GetUserActive()) {
      Warn(notAuthorized);
      return false;
    }
    if (user.GetUserExpire() && Date() >= user.GetExpirationDate()) {
      SwitchOffExpiredUser(notAuthorized);
      return false;
    }

    if (qryProfiles->Locate("PROF_ID", Value(user.FProfileID))) {
      if (IsFlagSet(*qryProfiles, "AUDIT_MODE")) user.FAuditMode = "1";
      if (IsFlagSet(*qryProfiles, "MUST_CHANGE_PWD")) {
        // A null interval reads as 0: the change is due at every login.
        const int interval = qryProfiles->FieldByName("INTERVAL_CHANGE_PWD").AsInteger();
        if (Date() >= user.GetLastPwdChange() + interval && !ForcePasswordChange(user)) {
          return false;
        }
      }
    }
    return true;
  };

  TUser candidate;
  bool admitted = false;
  {
    DialogScope<TLogin> dialog(uLogin);
    for (int attempt = 1; attempt <= kMaxLoginAttempts; ++attempt) {
      if (dialog->ShowModal() == mrCancel) break;

      candidate.Reset();
      candidate.FUserName = dialog->Usuario->Text();
      candidate.FPassword = dialog->Senha->Text();

      if (!qryUsers->Locate("USERQV_NAME", Value(candidate.FUserName))) {
        Warn(LoadStr(kStrInvalidUserName));
        continue;
      }
      if (DecodePassword(qryUsers->FieldByName("USER_PWD").AsString()) != candidate.FPassword) {
        Warn(LoadStr(kStrInvalidPassword));
        continue;
      }

      loadUserRecord(candidate);
      admitted = admits(candidate);
      break;
    }
  }

  if (admitted) {
    *FUser = std::move(candidate);
    ApplyRights();
  }
  return admitted;
}

// An account past its expiration date is switched off in this application
// for good (USER_ACTIVE "0"), then refused. The refusal is shown as soon as
// the change is stored, before the dataset is read again. A store that fails
// leaves no edit pending on qryUserInfo (a later move would post it behind
// the person's back) and its error propagates.
void TQuarvel::SwitchOffExpiredUser(const std::string& refusal) {
  try {
    qryUserInfo->Edit();
    qryUserInfo->FieldByName("USER_ACTIVE").SetAsString("0");
    qryUserInfo->Post();
  } catch (...) {
    if (qryUserInfo->State() == TDataSetState::Edit) qryUserInfo->Cancel();
    throw;
  }
  Warn(refusal);
  qryUserInfo->Reopen();
}

std::string TQuarvel::ProfileDescription(int profileId) {
  if (qryProfiles->Locate("PROF_ID", Value(profileId))) {
    return qryProfiles->FieldByName("PROF_DESCRIPTION").AsString();
  }
  return LoadStr(kStrNoProfile);
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
