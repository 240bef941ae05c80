// The transaction that writes belonging together run in, shared by nested
// callers: the outermost scope starts and ends it, inner scopes join it.
//
//   SharedTransaction transaction(query.Database());
//   ...statements...
//   transaction.Commit();   // ends it only when this scope started it
//
// An inner scope that fails lets its error reach the outer one, which rolls
// everything back. A statement that is allowed to fail inside a transaction
// while the work goes on (an insert retried under another key) runs under a
// StatementSavepoint, so that on engines where a failed statement spoils
// the whole transaction the work can go on, and the error keeps its own
// code.
#pragma once

namespace qv {

class TDatabase;

class SharedTransaction {
 public:
  // Starts a transaction on `database`, or joins the one already active.
  explicit SharedTransaction(TDatabase& database);
  // Rolls back a transaction this scope started and did not commit; a
  // joined transaction is left to its owner.
  ~SharedTransaction();
  SharedTransaction(const SharedTransaction&) = delete;
  SharedTransaction& operator=(const SharedTransaction&) = delete;

  // Commits when this scope started the transaction; a failed commit has
  // rolled everything back and raises. Does nothing for a joined one.
  void Commit();

 private:
  void Rollback();

  TDatabase& database_;
  bool owned_ = false;
};

// A savepoint around one statement inside a transaction, taken only on the
// engines that need one (PostgreSQL refuses every statement after a failed
// one until the transaction ends). Outside a transaction, and on SQLite,
// it does nothing.
class StatementSavepoint {
 public:
  explicit StatementSavepoint(TDatabase& database);
  // Goes back to the savepoint when Release was not called: the statement's
  // effects are undone and the transaction can go on.
  ~StatementSavepoint();
  StatementSavepoint(const StatementSavepoint&) = delete;
  StatementSavepoint& operator=(const StatementSavepoint&) = delete;

  // The statement succeeded: keeps its effects.
  void Release();

 private:
  TDatabase& database_;
  bool active_ = false;
};

}  // namespace qv
