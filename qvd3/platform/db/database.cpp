#include "qvd3/platform/db/database.h"

#include <memory>
#include <string>

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/engine.h"

namespace qv {

TDatabase::TDatabase(AliasDefinition alias, std::unique_ptr<dbimpl::Engine> engine)
    : alias_(std::move(alias)), engine_(std::move(engine)) {}

TDatabase::~TDatabase() = default;

void TDatabase::StartTransaction() {
  if (in_transaction_) throw EDatabaseError("Alias '" + alias_.name + "': a transaction is already active");
  engine_->Exec(alias_.engine == EngineKind::Sqlite ? "BEGIN IMMEDIATE" : "BEGIN");
  in_transaction_ = true;
}

void TDatabase::Commit() {
  if (!in_transaction_) throw EDatabaseError("Alias '" + alias_.name + "': no transaction is active");
  // Whatever the outcome, the transaction is over: a failed COMMIT has
  // rolled back on both engines.
  in_transaction_ = false;
  try {
    engine_->Exec("COMMIT");
  } catch (...) {
    try {
      engine_->Exec("ROLLBACK");
    } catch (const EDatabaseError&) {
      // Nothing left to roll back.
    }
    throw;
  }
}

void TDatabase::Rollback() {
  if (!in_transaction_) throw EDatabaseError("Alias '" + alias_.name + "': no transaction is active");
  in_transaction_ = false;
  engine_->Exec("ROLLBACK");
}

void TDatabase::ExecDirect(std::string_view sql) {
  BeforeStatement(sql);
  engine_->Exec(sql);
}

std::string TDatabase::EncryptRolePassword(const std::string& role, const std::string& password) {
  return engine_->EncryptRolePassword(role, password);
}

void TDatabase::SetStatementHook(StatementHook hook) { hook_ = std::move(hook); }

void TDatabase::FailNthStatement(int nth, std::string message) {
  auto remaining = std::make_shared<int>(nth);
  hook_ = [remaining, message = std::move(message)](std::string_view) {
    if (*remaining > 0 && --*remaining == 0) throw EDatabaseError(message);
  };
}

// Both engines would read the text only up to a NUL byte, and PostgreSQL
// alone refuses malformed UTF-8: such a statement is refused before either
// sees it.
void TDatabase::BeforeStatement(std::string_view sql) {
  CheckStorableText(sql, "The SQL text");
  if (hook_) {
    StatementHook hook = hook_;  // the hook may replace itself
    hook(sql);
  }
}

// Savepoints share one name: both engines resolve a name to the latest
// savepoint that carries it, which is the innermost one still open.
namespace {
constexpr const char* kSavepoint = "qv_savepoint";
}  // namespace

TSavepoint::TSavepoint(TDatabase& database) : database_(database) {
  if (!database_.InTransaction()) return;
  database_.engine().Exec(std::string("SAVEPOINT ") + kSavepoint);
  open_ = true;
}

TSavepoint::~TSavepoint() {
  try {
    Undo();
  } catch (const EDatabaseError&) {
    // A destructor cannot report; the end of the transaction reports a
    // connection that failed here.
  }
}

void TSavepoint::Release() {
  if (!open_) return;
  open_ = false;
  if (database_.InTransaction()) database_.engine().Exec(std::string("RELEASE SAVEPOINT ") + kSavepoint);
}

void TSavepoint::Undo() {
  if (!open_) return;
  open_ = false;
  if (!database_.InTransaction()) return;
  database_.engine().Exec(std::string("ROLLBACK TO SAVEPOINT ") + kSavepoint);
  database_.engine().Exec(std::string("RELEASE SAVEPOINT ") + kSavepoint);
}

TransactionGuard::TransactionGuard(TDatabase& database) : database_(database) {
  database_.StartTransaction();
}

TransactionGuard::~TransactionGuard() {
  if (done_ || !database_.InTransaction()) return;
  try {
    database_.Rollback();
  } catch (const EDatabaseError&) {
    // A destructor cannot report; the connection ends the transaction anyway.
  }
}

void TransactionGuard::Commit() {
  done_ = true;
  database_.Commit();
}

}  // namespace qv
