// Creating a user or a profile together with its rights rows in the
// application, all or nothing.
#include <optional>
#include <string>
#include <vector>

#include "qvd3/data/dm_quarvel.h"
#include "qvd3/platform/db/database.h"

namespace qv {

// The new user's rights rows are stored with the profile's rights at once,
// as copying them afterwards would leave them: the profile's AUTHORIZED of
// the item in this application, null where the profile has no row for it,
// "0" for a user without profile. So the rights dataset already shows what
// is stored and need not be read again (it holds every user's rights).
void TUsers::PostNewUser(const std::string& appKey) {
  // A user being created has no rights rows to re-derive when the row is
  // posted; they are made below.
  SavedProfileId = qryUsersPROFILE_ID.AsInteger();
  PostWithRights(
      qryUsers,
      [&] {
        const int profile = qryUsersPROFILE_ID.AsInteger();
        if (profile != 0 && !qryPAccess.Active()) qryPAccess.Open();
        AddRights(qryUAccess, "USER_ID", postedUserId_, appKey, [&](int menuId) {
          if (profile == 0) return Value("0");
          return qryPAccess.Lookup("PROF_ID;MENU_ID", {Value(profile), Value(menuId)}, "AUTHORIZED");
        });
      },
      {&qryUsers, &qryUserInfo, &qryUAccess});
}

void TUsers::PostNewProfile(const std::string& appKey) {
  PostWithRights(
      qryProfiles,
      [&] { AddRights(qryPAccess, "PROF_ID", postedProfId_, appKey, [](int) { return Value("0"); }); },
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

// One rights row per catalogue item, stored together (a few statements
// rather than one per item).
void TUsers::AddRights(TQuery& rights, const char* ownerColumn, int owner, const std::string& appKey,
                       const std::function<Value(int menuId)>& authorized) {
  TField& catalogueId = qryProgs.FieldByName("MENU_ID");
  std::vector<std::vector<Value>> rows;
  for (qryProgs.First(); !qryProgs.Eof(); qryProgs.Next()) {
    const int menuId = catalogueId.AsInteger();
    rows.push_back({Value(appKey), Value(owner), Value(menuId), authorized(menuId)});
  }
  rights.AppendRows(std::string("APP_KEY;") + ownerColumn + ";MENU_ID;AUTHORIZED", rows);
}

}  // namespace qv
