// Creating a user or a profile together with its rights rows in the
// application, all or nothing.
#include <optional>
#include <string>

#include "data/dm_quarvel.h"
#include "platform/db/database.h"

namespace qv {

void TUsers::PostNewUser(const std::string& appKey) {
  PostWithRights(
      qryUsers,
      [&] {
        AddDeniedRights(qryUAccess, "USER_ID", postedUserId_, appKey);
        // The after-post step has put the cursor on the new user, whose
        // USER_ID the statement takes.
        if (qryUsersPROFILE_ID.AsInteger() != 0) UpdateUFromProfile.ExecSQL();
        qryUAccess.Reopen();
      },
      {&qryUsers, &qryUserInfo, &qryUAccess});
}

void TUsers::PostNewProfile(const std::string& appKey) {
  PostWithRights(
      qryProfiles,
      [&] {
        AddDeniedRights(qryPAccess, "PROF_ID", postedProfId_, appKey);
        qryPAccess.Reopen();
      },
      {&qryProfiles, &qryPAccess});
}

// The row's own post runs inside the transaction too, so that its key, its
// USERINFO row and whatever its after-post steps write go with the rights
// rows. A transaction the caller already holds is joined, and is the
// caller's to end.
void TUsers::PostWithRights(TModuleQuery& rows, const std::function<void()>& rights,
                            std::initializer_list<TQuery*> reread) {
  TDatabase& database = rows.Database();
  std::optional<TransactionGuard> transaction;
  if (!database.InTransaction()) transaction.emplace(database);
  try {
    rows.Post();
    rights();
    if (transaction) transaction->Commit();
  } catch (...) {
    transaction.reset();
    if (rows.State() == TDataSetState::Insert) {
      rows.Cancel();
    } else {
      // The row had been stored and the datasets reopened on it; they show
      // the tables as the rollback left them again.
      for (TQuery* query : reread) query->Reopen();
    }
    throw;
  }
}

void TUsers::AddDeniedRights(TQuery& rights, const char* ownerColumn, int owner, const std::string& appKey) {
  TField& app = rights.FieldByName("APP_KEY");
  TField& ownerField = rights.FieldByName(ownerColumn);
  TField& menu = rights.FieldByName("MENU_ID");
  TField& authorized = rights.FieldByName("AUTHORIZED");
  TField& catalogueId = qryProgs.FieldByName("MENU_ID");
  for (qryProgs.First(); !qryProgs.Eof(); qryProgs.Next()) {
    rights.Append();
    app.SetAsString(appKey);
    ownerField.SetAsInteger(owner);
    menu.SetAsInteger(catalogueId.AsInteger());
    authorized.SetAsString("0");
    rights.Post();
  }
}

}  // namespace qv
