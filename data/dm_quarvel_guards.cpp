// The two guards of the data module's writes: the transaction that holds a
// delete's cascade together with the row's own delete, and the retry of a
// post whose generated key another client took meanwhile.
#include <string>
#include <string_view>

#include "data/dm_quarvel.h"
#include "data/statements.h"
#include "platform/db/database.h"
#include "platform/db/database_error.h"
#include "platform/db/dataset_rows.h"
#include "platform/sys/text_case.h"

namespace qv {

namespace {

// Attempts of one post beyond the first, each under a newly generated key.
// A client losing the race this often in a row gets the key violation.
constexpr int kMaxKeyRetries = 5;

}  // namespace

// --- TModuleQuery ---------------------------------------------------------

// Each refused attempt may name a new key; the insert then runs again with
// the key column set to it. The row's other values stay as posted. Inside a
// transaction each attempt runs under a savepoint, so that a refused one
// leaves the transaction usable for the key generation and the next
// attempt, and the caller still sees the refusal's own error.
void TModuleQuery::DoInsert(dbimpl::RowChange& change) {
  for (;;) {
    try {
      if (!OnInsertRefused) {
        TQuery::DoInsert(change);
        return;
      }
      TSavepoint attempt(Database());
      TQuery::DoInsert(change);
      attempt.Release();
      return;
    } catch (const EDatabaseError& error) {
      const int key = OnInsertRefused ? OnInsertRefused(error) : 0;
      if (key <= 0) throw;
      bool found = false;
      for (int c = 0; c < change.data_columns; ++c) {
        if (!SameText((*change.columns)[c].name, key_field_)) continue;
        change.values[c] = Value(key);
        change.modified[c] = true;
        found = true;
      }
      if (!found) throw;
    }
  }
}

void TModuleQuery::DoDelete(dbimpl::RowChange& change) {
  try {
    TQuery::DoDelete(change);
  } catch (...) {
    if (OnDeleteRefused) OnDeleteRefused();
    throw;
  }
  if (OnDeleteStored) OnDeleteStored();
}

// --- Key retries -----------------------------------------------------------

// A key violation on an insert is either the generated key, taken by
// another client between the generation and the post, or another unique
// column (a user name already present). The two are told apart by the
// largest key now present: when it has reached the key just tried, the key
// is taken and the next one is tried; otherwise the key is still free and
// the violation is the other column's, which reaches the caller unchanged.
// Were both true at once, the retry under a free key reports the name.
int TUsers::RetryKey(const EDatabaseError& error, std::string_view maxSql, int& last, int& posted) {
  if (!error.IsKeyViolation() || keyRetries_ >= kMaxKeyRetries) return 0;
  const int next = NextKey(maxSql);
  if (next <= posted) return 0;
  ++keyRetries_;
  last = posted = next;
  return next;
}

void TUsers::BindKeyRetries() {
  qryUsers.SetKeyField("USER_ID");
  qryProfiles.SetKeyField("PROF_ID");
  qryProgs.SetKeyField("MENU_ID");
  qryUsers.OnInsertRefused = [this](const EDatabaseError& e) {
    return RetryKey(e, sql::GenerateUserId, LastUserId, postedUserId_);
  };
  qryProfiles.OnInsertRefused = [this](const EDatabaseError& e) {
    return RetryKey(e, sql::GenerateProfId, LastProfId, postedProfId_);
  };
  qryProgs.OnInsertRefused = [this](const EDatabaseError& e) {
    return RetryKey(e, sql::GenerateMenuId, LastMenuId, postedMenuId_);
  };
}

// --- Cascade transaction ---------------------------------------------------

// The row's own delete and the cascade run on the same connection (the
// command statements take the users dataset's alias when it opens). A
// transaction the caller already holds is joined, not ours to end.
void TUsers::RunCascade(TQuery& rows, const std::function<void()>& steps) {
  TDatabase& database = rows.Database();
  if (!database.InTransaction()) {
    database.StartTransaction();
    cascadeDb_ = &database;
  }
  try {
    steps();
  } catch (...) {
    RollbackCascade();
    throw;
  }
}

void TUsers::CommitCascade() {
  TDatabase* database = cascadeDb_;
  if (!database) return;
  cascadeDb_ = nullptr;
  try {
    database->Commit();
  } catch (...) {
    // The commit's error is the one to report; a failing rollback after it
    // adds nothing the caller could act on.
    if (database->InTransaction()) {
      try {
        database->Rollback();
      } catch (const EDatabaseError&) {
      }
    }
    throw;
  }
}

void TUsers::RollbackCascade() {
  TDatabase* database = cascadeDb_;
  if (!database) return;
  cascadeDb_ = nullptr;
  if (database->InTransaction()) database->Rollback();
}

// The cascade is committed the moment the engine has deleted the row, so
// nothing after it (the message, the reopening) can leave it pending. When
// the engine refuses, the cascade is undone and the datasets it reopened
// are reopened again to show the restored rows.
void TUsers::BindCascadeEvents() {
  for (TModuleQuery* rows : {&qryUsers, &qryProfiles, &qryProgs})
    rows->OnDeleteStored = [this] { CommitCascade(); };
  qryUsers.OnDeleteRefused = [this] {
    RollbackCascade();
    userActiveStale_ = true;
    qryUAccess.Reopen();
    qryHistory.Reopen();
  };
  qryProfiles.OnDeleteRefused = [this] {
    RollbackCascade();
    qryPAccess.Reopen();
  };
  qryProgs.OnDeleteRefused = [this] { RollbackCascade(); };
}

}  // namespace qv
