// The guards of the data module's writes: the transaction that holds a
// post's dependent writes together with the row's own write, the one that
// holds a delete's cascade together with the row's own delete, and the
// retry of a post whose generated key another client took meanwhile.
#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <thread>

#include "qvd3/data/dm_quarvel.h"
#include "qvd3/data/shared_transaction.h"
#include "qvd3/data/statements.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/dataset_rows.h"
#include "qvd3/platform/sys/text_case.h"

namespace qv {

namespace {

// After this many lost races in a row a client waits a little before its
// next attempt, a random time that doubles with every further loss up to
// kMaxBackoffMs, so that clients racing in step fall out of step.
constexpr int kRetriesWithoutWait = 2;
constexpr int kMaxBackoffMs = 16;

void WaitBeforeRetry(int retries) {
  if (retries <= kRetriesWithoutWait) return;
  const int shift = std::min(retries - kRetriesWithoutWait, 5);
  const int ceiling = std::min(1 << shift, kMaxBackoffMs);
  thread_local std::minstd_rand random{std::random_device{}()};
  std::this_thread::sleep_for(std::chrono::microseconds(
      std::uniform_int_distribution<int>(0, ceiling * 1000)(random)));
}

// After a rollback: reads datasets again so they show what the database
// holds. A dataset that cannot be read stays closed (showing nothing rather
// than rows that are gone); the error that caused the rollback is the one
// the caller gets.
void ReopenAfterRollback(std::initializer_list<TQuery*> datasets) {
  for (TQuery* dataset : datasets) {
    try {
      dataset->Reopen();
    } catch (const Exception&) {
      dataset->Close();
    }
  }
}

}  // namespace

// --- TModuleQuery ---------------------------------------------------------

// With dependent writes, the row and they share one transaction, joined
// when the caller holds one.
void TModuleQuery::DoInsert(dbimpl::RowChange& change) {
  if (!OnRowStored) {
    InsertWithRetries(change);
    return;
  }
  SharedTransaction transaction(Database());
  InsertWithRetries(change);
  OnRowStored();
  transaction.Commit();
}

void TModuleQuery::DoInsertRows(std::vector<dbimpl::RowChange>& changes) {
  if (!OnRowStored && !OnInsertRefused) {
    TQuery::DoInsertRows(changes);
    return;
  }
  SharedTransaction transaction(Database());
  for (dbimpl::RowChange& change : changes) DoInsert(change);
  transaction.Commit();
}

void TModuleQuery::DoUpdate(dbimpl::RowChange& change) {
  if (!OnRowStored) {
    TQuery::DoUpdate(change);
    return;
  }
  SharedTransaction transaction(Database());
  TQuery::DoUpdate(change);
  OnRowStored();
  transaction.Commit();
}

// Each refused attempt may name a new key; the insert then runs again with
// the key column set to it. The row's other values stay as posted. Inside a
// transaction each attempt runs under a savepoint, so that a refused one
// leaves the transaction usable (for the look at the keys and the next
// attempt) and its own error is what reaches the caller.
void TModuleQuery::InsertWithRetries(dbimpl::RowChange& change) {
  TDatabase& database = Database();
  for (;;) {
    TSavepoint attempt(database);
    try {
      TQuery::DoInsert(change);
      attempt.Release();
      return;
    } catch (const EDatabaseError& error) {
      try {
        attempt.Undo();
      } catch (const EDatabaseError&) {
        throw error;  // the connection failed; the refusal says more
      }
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

// A failure to complete the delete (its commit included) counts as a
// refusal: the row stays in the dataset.
void TModuleQuery::DoDelete(dbimpl::RowChange& change) {
  try {
    TQuery::DoDelete(change);
    if (OnDeleteStored) OnDeleteStored();
  } catch (...) {
    if (OnDeleteRefused) OnDeleteRefused();
    throw;
  }
}

// --- Key retries -----------------------------------------------------------

// A key violation on an insert is either the generated key, taken by
// another client between the generation and the post, or another unique
// column (a user name already present). The two are told apart by the
// largest key now present: when it has reached the key just tried, the key
// is taken and the next one is tried; otherwise the key is still free and
// the violation is the other column's, which reaches the caller unchanged.
// Were both true at once, the retry under a free key reports the name.
//
// There is no fixed number of attempts: a post is refused for its key only
// when another client has just stored a row under that key, so every lost
// race is another client's success, and every attempt uses a larger key
// than the one before. A client therefore retries only while others store
// rows, and succeeds once they pause; the short random waits after a few
// losses keep clients that keep colliding from staying in step.
int TUsers::RetryKey(const EDatabaseError& error, std::string_view maxSql, int& last, int& posted) {
  if (!error.IsKeyViolation()) return 0;
  const int next = NextKey(maxSql);
  if (next <= posted) return 0;
  WaitBeforeRetry(++keyRetries_);
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
  cascade_ = std::make_unique<SharedTransaction>(rows.Database());
  try {
    steps();
  } catch (...) {
    RollbackCascade();
    throw;
  }
}

void TUsers::CommitCascade() {
  if (auto cascade = std::move(cascade_)) cascade->Commit();
}

void TUsers::RollbackCascade() { cascade_.reset(); }

// The cascade is committed the moment the engine has deleted the row, so
// nothing after it (the message, the reopening) can leave it pending. When
// the engine refuses, or the commit fails, the cascade is undone and the
// datasets it reopened are read again to show the restored rows.
void TUsers::BindCascadeEvents() {
  for (TModuleQuery* rows : {&qryUsers, &qryProfiles, &qryProgs})
    rows->OnDeleteStored = [this] { CommitCascade(); };
  qryUsers.OnDeleteRefused = [this] {
    RollbackCascade();
    userActiveStale_ = true;
    ReopenAfterRollback({&qryUAccess, &qryHistory});
  };
  qryProfiles.OnDeleteRefused = [this] {
    RollbackCascade();
    ReopenAfterRollback({&qryPAccess});
  };
  qryProgs.OnDeleteRefused = [this] { RollbackCascade(); };
}

}  // namespace qv
