// The login: the dialog, the checks of name and password, the refusals of
// inactive and expired users, the profile's password rule, and the filling
// of the current-user record.
#include <string>

#include "component/password.h"
#include "component/quarvel.h"
#include "component/quarvel_res.h"
#include "component/user.h"
#include "dialogs/dialog_scope.h"
#include "dialogs/login_qv.h"
#include "platform/db/query.h"
#include "platform/sys/date_time.h"
#include "platform/sys/format.h"
#include "platform/sys/string_table.h"
#include "platform/ui/application.h"

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
// refused user ends the login at once; Cancel ends it silently. The rights
// of the user are applied to the menu only when the login succeeds.
bool TQuarvel::Login() {
  if (!FUser) throw EQuarvelError("Login needs a loaded component at run time.");
  OpenTables();
  TUser& user = *FUser;

  // Fills the record from the user's row of qryUsers (the current row), the
  // user's UserInfo row of this application and the user's profile. The
  // filter "USER_ID=<id>" stays on qryUserInfo afterwards, as every other
  // user of that dataset expects.
  auto loadUserRecord = [&] {
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

    user.FProfile = ProfileDescription();
  };

  // The refusals and the profile's rules for a user whose password matched:
  // true when the user is admitted. The built-in administrator skips them.
  // An expired account is switched off in this application for good
  // (USER_ACTIVE "0") before it is refused.
  auto admits = [&]() -> bool {
    if (user.FUserName == kBuiltInAdministrator) return true;

    const std::string notAuthorized = Format(LoadStr(kStrUserNotAuthorized), {user.FUserName});
    if (!user.GetUserActive()) {
      Warn(notAuthorized);
      return false;
    }
    if (user.GetUserExpire() && Date() >= user.GetExpirationDate()) {
      qryUserInfo->Edit();
      qryUserInfo->FieldByName("USER_ACTIVE").SetAsString("0");
      qryUserInfo->Post();
      qryUserInfo->Reopen();
      Warn(notAuthorized);
      return false;
    }

    if (qryProfiles->Locate("PROF_ID", Value(user.FProfileID))) {
      if (IsFlagSet(*qryProfiles, "AUDIT_MODE")) user.FAuditMode = "1";
      if (IsFlagSet(*qryProfiles, "MUST_CHANGE_PWD")) {
        // A null interval reads as 0: the change is due at every login.
        const int interval = qryProfiles->FieldByName("INTERVAL_CHANGE_PWD").AsInteger();
        if (Date() >= user.GetLastPwdChange() + interval && !ForcePasswordChange()) {
          return false;
        }
      }
    }
    return true;
  };

  bool admitted = false;
  {
    DialogScope<TLogin> dialog(uLogin);
    for (int attempt = 1; attempt <= kMaxLoginAttempts; ++attempt) {
      if (dialog->ShowModal() == mrCancel) break;

      user.FUserName = dialog->Usuario->Text();
      user.FPassword = dialog->Senha->Text();

      if (!qryUsers->Locate("USERQV_NAME", Value(user.FUserName))) {
        Warn(LoadStr(kStrInvalidUserName));
        continue;
      }
      if (DecodePassword(qryUsers->FieldByName("USER_PWD").AsString()) != user.FPassword) {
        Warn(LoadStr(kStrInvalidPassword));
        continue;
      }

      loadUserRecord();
      admitted = admits();
      break;
    }
  }

  if (admitted) ApplyRights();
  return admitted;
}

std::string TQuarvel::ProfileDescription() {
  if (qryProfiles->Locate("PROF_ID", Value(FUser->FProfileID))) {
    return qryProfiles->FieldByName("PROF_DESCRIPTION").AsString();
  }
  return LoadStr(kStrNoProfile);
}

// Tells the user the password has expired and runs the password change
// until the password really changed (True) or the user declines to try
// again (False).
bool TQuarvel::ForcePasswordChange() {
  const std::string before = FUser->FPassword;
  Warn(LoadStr(kStrPasswordExpired));
  for (;;) {
    ChangeUserPassword();
    if (FUser->FPassword != before) return true;
    if (MessageDlg(LoadStr(kStrMustChangePassword), mtWarning, mbYesNo) == mrNo) return false;
  }
}

}  // namespace qv
