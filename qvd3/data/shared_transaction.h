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
// TSavepoint (qvd3/platform/db/database.h).
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

}  // namespace qv
