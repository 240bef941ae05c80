// TDatabase: one open connection to the database of an alias. Obtained from
// Session::Default().Database(alias); the session owns it. Datasets reach the
// engine through it; callers use it for transactions and raw DDL.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qvd3/platform/db/session.h"

namespace qv {

namespace dbimpl {
class Engine;
}

// Called with the SQL text (as written by the caller, before parameter
// translation) before each statement runs on a connection. It may throw
// EDatabaseError to make the statement fail.
using StatementHook = std::function<void(std::string_view sql)>;

class TDatabase {
 public:
  ~TDatabase();
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  const std::string& AliasName() const { return alias_.name; }
  EngineKind Engine() const { return alias_.engine; }

  // Transactions. StartTransaction while one is active, or Commit/Rollback
  // without one, raise EDatabaseError. Without a transaction every statement
  // commits on its own. On SQLite a transaction takes the write lock when it
  // starts (waiting for other writers up to the busy timeout), so what it
  // reads stays true until it commits: a key read as the largest present
  // cannot be taken by another client before the transaction's insert.
  void StartTransaction();
  void Commit();
  void Rollback();
  bool InTransaction() const { return in_transaction_; }

  // Runs `sql` (one or more statements without parameters or results, e.g.
  // DDL) as it stands.
  void ExecDirect(std::string_view sql);

  // The stored form (for example a SCRAM verifier) of `password` for the
  // server login role `role`, to put in CREATE or ALTER ROLE ... PASSWORD
  // instead of the password. PostgreSQL only; SQLite raises EDatabaseError.
  std::string EncryptRolePassword(const std::string& role, const std::string& password);

  // Installs (or, with an empty function, removes) the hook called before
  // every statement of datasets, commands and ExecDirect on this connection.
  // Transaction control statements do not pass through it.
  void SetStatementHook(StatementHook hook);
  // Test helper: the `nth` statement from now (1 = the next one) fails with
  // EDatabaseError(`message`) before it reaches the engine; the statements
  // before and after it run normally. Replaces the statement hook.
  void FailNthStatement(int nth, std::string message);

  // For the layer itself (datasets and commands): refuses SQL text with a NUL
  // byte or malformed UTF-8 (EDatabaseError), then runs the hook for `sql`.
  void BeforeStatement(std::string_view sql);
  dbimpl::Engine& engine() { return *engine_; }

 private:
  friend class Session;
  TDatabase(AliasDefinition alias, std::unique_ptr<dbimpl::Engine> engine);

  AliasDefinition alias_;
  std::unique_ptr<dbimpl::Engine> engine_;
  StatementHook hook_;
  bool in_transaction_ = false;
};

// A savepoint in the connection's active transaction, so that a statement
// that fails can be undone alone and the transaction goes on: PostgreSQL
// otherwise refuses every later statement of the transaction (and reports
// that refusal instead of the failure). Outside a transaction it does
// nothing, since every statement then stands alone anyway.
//   TSavepoint savepoint(db);
//   try { ...statement...; savepoint.Release(); }
//   catch (const EDatabaseError&) { savepoint.Undo(); ...; }
// Destroyed while still open (an exception passing through), it undoes.
class TSavepoint {
 public:
  explicit TSavepoint(TDatabase& database);
  ~TSavepoint();
  TSavepoint(const TSavepoint&) = delete;
  TSavepoint& operator=(const TSavepoint&) = delete;

  // Keeps what was done since the savepoint (as part of the transaction).
  void Release();
  // Takes the transaction back to the savepoint.
  void Undo();

 private:
  TDatabase& database_;
  bool open_ = false;
};

// Scoped transaction: starts one on construction and rolls it back on
// destruction unless Commit() was called.
//   TransactionGuard tx(db);
//   ...statements...
//   tx.Commit();
class TransactionGuard {
 public:
  explicit TransactionGuard(TDatabase& database);
  ~TransactionGuard();
  TransactionGuard(const TransactionGuard&) = delete;
  TransactionGuard& operator=(const TransactionGuard&) = delete;

  void Commit();

 private:
  TDatabase& database_;
  bool done_ = false;
};

}  // namespace qv
