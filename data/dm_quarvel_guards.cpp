// The two guards of the data module's writes: the transaction around a
// delete's cascade and the retry of a post whose generated key was taken.
#include "data/dm_quarvel.h"

#include "platform/db/database.h"
#include "platform/db/database_error.h"

namespace qv {

// The row's own delete and the cascade run on the same connection (the
// command statements take the users dataset's alias when it opens). A
// transaction the caller already holds is joined, not ours to end.
void TUsers::BeginCascade(TQuery& rows) {
  TDatabase& database = rows.Database();
  if (database.InTransaction()) return;
  database.StartTransaction();
  cascadeDb_ = &database;
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

void TUsers::BindCascadeEvents() {}

void TUsers::BindKeyRetries() {}

}  // namespace qv
