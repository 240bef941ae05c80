// Creating a user or a profile together with its rights rows in the
// application, all or nothing.
#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "qvd3/data/dm_quarvel.h"
#include "qvd3/data/shared_transaction.h"
#include "qvd3/data/statements.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/sys/utf8.h"

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

// The keys are taken as a post takes one (the largest present plus one)
// for the first item, and the following ones for the rest. Each attempt runs
// under a savepoint, so a refused one leaves the transaction usable; a
// refusal for a key another client has just taken is retried under fresh
// keys, any other one propagates (see RetryKey).
std::vector<int> TUsers::CatalogueItems(const std::string& appKey, const std::vector<TCatalogueItem>& items) {
  // Rows per statement: three parameters each, well below every engine's
  // limit.
  constexpr std::size_t kBatch = 200;
  if (items.empty()) return {};
  auto cut = [this](const char* column, const std::string& text) {
    const int width = qryProgs.FieldByName(column).Size();
    return width > 0 ? Utf8Truncate(text, static_cast<std::size_t>(width)) : text;
  };
  TDatabase& database = qryProgs.Database();
  SharedTransaction transaction(database);
  keyRetries_ = 0;
  int first = NextKey(sql::GenerateMenuId);
  for (;;) {
    if (first > std::numeric_limits<int>::max() - static_cast<int>(items.size() - 1))
      throw EDatabaseError("No keys left for " + std::to_string(items.size()) + " catalogue rows after " +
                           std::to_string(first - 1));
    TSavepoint attempt(database);
    try {
      for (std::size_t from = 0; from < items.size(); from += kBatch) {
        const std::size_t to = std::min(items.size(), from + kBatch);
        TQuery insert;
        insert.SetDatabaseName(qryProgs.DatabaseName());
        insert.SetSQL(sql::InsertCatalogueRows(to - from));
        insert.ParamByName("APP_KEY").SetAsString(appKey);
        for (std::size_t i = from; i < to; ++i) {
          const std::string n = std::to_string(i - from);
          insert.ParamByName("N" + n).SetAsString(cut("MENU_NAME", items[i].Name));
          insert.ParamByName("I" + n).SetAsInteger(first + static_cast<int>(i));
          insert.ParamByName("C" + n).SetAsString(cut("MENU_CAPTION", items[i].Caption));
        }
        insert.ExecSQL();
      }
      attempt.Release();
      break;
    } catch (const EDatabaseError& error) {
      try {
        attempt.Undo();
      } catch (const EDatabaseError&) {
        throw error;  // the connection failed; the refusal says more
      }
      int posted = first;
      const int next = RetryKey(error, sql::GenerateMenuId, LastMenuId, posted);
      if (next <= 0) throw;
      first = next;
    }
  }
  transaction.Commit();
  std::vector<int> keys;
  for (std::size_t i = 0; i < items.size(); ++i) keys.push_back(first + static_cast<int>(i));
  LastMenuId = keys.back();
  qryProgs.Reopen();
  qryProgs.Locate("MENU_ID", Value(first));
  return keys;
}

}  // namespace qv
