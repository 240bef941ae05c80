// The password change of the logged-in user: the dialog, the refusal of
// passwords the user has had before, and the storing of the new password
// with its date and the history row of the replaced one.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "qvd3/component/date_format.h"
#include "qvd3/component/password.h"
#include "qvd3/component/quarvel.h"
#include "qvd3/component/quarvel_res.h"
#include "qvd3/component/user.h"
#include "qvd3/data/secured_client.h"
#include "qvd3/data/stored_account.h"
#include "qvd3/dialogs/chng_pwd_qv.h"
#include "qvd3/dialogs/dialog_scope.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/date_time.h"
#include "qvd3/platform/sys/string_table.h"
#include "qvd3/platform/ui/application.h"

namespace qv {

namespace {

void Tell(int entry, TMsgDlgType type) { MessageDlg(LoadStr(entry), type, TMsgDlgButtons{mbOK}); }

// What the person confirmed in the dialog: the new password, and the
// current password as typed (checked again against the stored one before
// anything is written). An empty new password means cancelled.
struct ConfirmedChange {
  std::string NewPassword;
  std::string TypedCurrent;
};

// A new password the user has had before: `candidate` against the current
// password as typed in the dialog.
using UsedBefore = std::function<bool(const std::string& candidate, const std::string& typedCurrent)>;

// Asks for the new password until the user gives one that is neither the
// current password nor any former password of this user (exact, letter case
// counts; the history is read as it is now), or cancels. `prepare` tells
// the dialog how to check the current password. The dialog is gone when
// this returns.
ConfirmedChange AskForNewPassword(const std::function<void(TMudaPwd&)>& prepare, const UsedBefore& usedBefore) {
  DialogScope<TMudaPwd> dialog(uMudaPwd);
  prepare(*dialog);
  for (;;) {
    if (dialog->ShowModal() != mrOk) return {};
    const std::string candidate = dialog->Password1->Text();
    if (!usedBefore(candidate, dialog->SenhaAntiga->Text())) return {candidate, dialog->SenhaAntiga->Text()};

    Tell(kStrPasswordUsedBefore, mtWarning);
    dialog->Password1->SetText("");
    dialog->Password2->SetText("");
    dialog->SetActiveControl(dialog->Password1);
  }
}

// The dialog compares the current password with the one stored now.
ConfirmedChange AskForNewPassword(const std::string& alias, int userId, const std::string& current) {
  return AskForNewPassword([&](TMudaPwd& dialog) { dialog.OldPassword = current; },
                           [&](const std::string& candidate, const std::string&) {
                             return candidate == current || IsFormerPassword(alias, userId, candidate);
                           });
}

// On a secured database the server checks the current password as typed
// and the history; the dialog never learns the stored password.
ConfirmedChange AskForNewPasswordThroughServer(const std::string& alias, const std::string& userName) {
  return AskForNewPassword(
      [&](TMudaPwd& dialog) {
        dialog.CheckCurrent = [&alias, &userName](const std::string& typed) {
          return ServerCheckPassword(alias, userName, typed);
        };
      },
      [&](const std::string& candidate, const std::string& typedCurrent) {
        return candidate == typedCurrent || ServerIsFormerPassword(alias, userName, typedCurrent, candidate);
      });
}

// Raised inside the store when the current password typed is not the one
// stored at that moment; nothing has been written then.
struct WrongCurrentPassword {};

// After a failed store: drops any edit the failure left pending (moving the
// cursor later would otherwise post it behind the user's back) and reloads
// both datasets so they show what the database really holds after the
// rollback. A dataset that cannot be reloaded stays closed; the next login
// opens it again.
void ResynchronizeAfterFailure(TQuery& users, TQuery& history) {
  for (TQuery* dataset : {&users, &history}) {
    try {
      if (dataset->State() == TDataSetState::Edit || dataset->State() == TDataSetState::Insert) {
        dataset->Cancel();
      }
      dataset->Reopen();
    } catch (const Exception&) {
      // The failure has already been reported to the user; a second one
      // here adds nothing they could act on.
    }
  }
}

}  // namespace

void TQuarvel::ChangeUserPassword() {
  if (!FUser) throw EQuarvelError("ChangeUserPassword needs a loaded component at run time.");
  if (!RefuseWhileNobodyLoggedIn()) ChangePassword(*FUser);
}

// Stores the new password (scrambled) and today's date in the user's row
// and the replaced password (plain, as typed) in the history, both or
// neither. The current password is the one stored now, not the one typed
// at login: the dialog checks it as the person leaves its box and on OK,
// and the store checks the typed text once more against the row it is about
// to change, inside the transaction, whatever path the focus took. A wrong
// one writes nothing and says "Senha inválida".
//
// Everything that can fail, the reading back of both datasets included,
// happens before the commit, so the message tells the truth: a failure
// leaves the stored password, the history and the record as they were and
// is reported with 40005; after the commit only the record is brought in
// step and 40004 is shown. The change needs a transaction of its own:
// inside one a caller holds, it could not tell whether the password will be
// kept, so it stores nothing and reports the failure.
//
// On a secured database the server checks the current password and the
// history and stores all three in one call; its refusals take the same
// messages.
void TQuarvel::ChangePassword(TUser& user) {
  if (FSecured) {
    ChangePasswordThroughServer(user);
    return;
  }
  const std::optional<StoredAccount> stored = ReadStoredAccount(FDatabaseName, FAppKey, user.FUserName);
  if (!stored) return;
  const std::string current = DecodePassword(stored->ScrambledPassword);

  const ConfirmedChange change = AskForNewPassword(FDatabaseName, user.FUserID, current);
  if (change.NewPassword.empty()) return;

  std::string today;
  try {
    ScopedNormalizedDateFormat normalized;
    today = DateToStr(Date());

    TransactionGuard transaction(qryUsers->Database());
    qryUsers->Reopen();
    if (!qryUsers->Locate("USERQV_NAME", Value(user.FUserName))) return;
    const std::string storedNow = DecodePassword(qryUsers->FieldByName("USER_PWD").AsString());
    if (storedNow != change.TypedCurrent) throw WrongCurrentPassword{};

    qryUsers->Edit();
    qryUsers->FieldByName("USER_PWD").SetValue(Value::Bytes(EncodePassword(change.NewPassword)));
    qryUsers->FieldByName("LAST_PWD_CHANGE").SetAsString(today);
    qryUsers->Post();

    qryHistory->Insert();
    qryHistory->FieldByName("USER_ID").SetAsInteger(user.FUserID);
    qryHistory->FieldByName("USER_PWD").SetAsString(storedNow);
    qryHistory->FieldByName("CHANGE_DATE").SetAsString(today);
    qryHistory->Post();
    qryUsers->Reopen();
    qryHistory->Reopen();
    transaction.Commit();
  } catch (const WrongCurrentPassword&) {
    ResynchronizeAfterFailure(*qryUsers, *qryHistory);
    Tell(kStrInvalidPassword, mtWarning);
    return;
  } catch (const Exception&) {
    ResynchronizeAfterFailure(*qryUsers, *qryHistory);
    Tell(kStrPasswordChangeFailed, mtInformation);
    return;
  }

  user.FPassword = change.NewPassword;
  user.FLastPwdChange = today;
  Tell(kStrPasswordChanged, mtInformation);
}

void TQuarvel::ChangePasswordThroughServer(TUser& user) {
  const ConfirmedChange change = AskForNewPasswordThroughServer(FDatabaseName, user.FUserName);
  if (change.NewPassword.empty()) return;

  ServerPasswordChange status = ServerPasswordChange::Invalid;
  try {
    status = ServerChangePassword(FDatabaseName, user.FUserName, change.TypedCurrent, change.NewPassword);
  } catch (const Exception&) {
    Tell(kStrPasswordChangeFailed, mtInformation);
    return;
  }
  switch (status) {
    case ServerPasswordChange::Ok:
      break;
    case ServerPasswordChange::WrongPassword:
      Tell(kStrInvalidPassword, mtWarning);
      return;
    case ServerPasswordChange::FormerPassword:
      Tell(kStrPasswordUsedBefore, mtWarning);
      return;
    default:
      Tell(kStrPasswordChangeFailed, mtInformation);
      return;
  }
  // The server stored the change: what the administrator's datasets show
  // of the row and the history is read again (an ordinary user's read
  // nothing of them).
  ResynchronizeAfterFailure(*qryUsers, *qryHistory);
  {
    ScopedNormalizedDateFormat normalized;
    user.FLastPwdChange = DateToStr(Date());
  }
  user.FPassword = change.NewPassword;
  Tell(kStrPasswordChanged, mtInformation);
}

}  // namespace qv
