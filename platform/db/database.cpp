#include "platform/db/database.h"

#include <memory>

#include "platform/db/database_error.h"
#include "platform/db/engine.h"

namespace qv {

TDatabase::TDatabase(AliasDefinition alias, std::unique_ptr<dbimpl::Engine> engine)
    : alias_(std::move(alias)), engine_(std::move(engine)) {}

TDatabase::~TDatabase() = default;

void TDatabase::StartTransaction() {
  if (in_transaction_) throw EDatabaseError("Alias '" + alias_.name + "': a transaction is already active");
  engine_->Exec("BEGIN");
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

void TDatabase::SetStatementHook(StatementHook hook) { hook_ = std::move(hook); }

void TDatabase::FailNthStatement(int nth, std::string message) {
  auto remaining = std::make_shared<int>(nth);
  hook_ = [remaining, message = std::move(message)](std::string_view) {
    if (*remaining > 0 && --*remaining == 0) throw EDatabaseError(message);
  };
}

void TDatabase::BeforeStatement(std::string_view sql) {
  if (hook_) {
    StatementHook hook = hook_;  // the hook may replace itself
    hook(sql);
  }
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

namespace {
constexpr const char* kSavepointName = "qv_savepoint";
}  // namespace

TSavepoint::TSavepoint(TDatabase& database) : database_(nullptr) {
  if (!database.InTransaction()) return;
  database.engine().Exec(std::string("SAVEPOINT ") + kSavepointName);
  database_ = &database;
}

TSavepoint::~TSavepoint() {
  if (database_ == nullptr || !database_->InTransaction()) return;
  try {
    database_->engine().Exec(std::string("ROLLBACK TO SAVEPOINT ") + kSavepointName);
    database_->engine().Exec(std::string("RELEASE SAVEPOINT ") + kSavepointName);
  } catch (const EDatabaseError&) {
    // The error being handled is the one to report; the transaction it
    // belongs to fails at its commit if undoing did not work.
  }
}

void TSavepoint::Release() {
  TDatabase* database = database_;
  database_ = nullptr;
  if (database != nullptr && database->InTransaction())
    database->engine().Exec(std::string("RELEASE SAVEPOINT ") + kSavepointName);
}

}  // namespace qv
