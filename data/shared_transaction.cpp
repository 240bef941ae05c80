#include "data/shared_transaction.h"

#include <string>

#include "platform/db/database.h"
#include "platform/db/database_error.h"

namespace qv {

namespace {

// One name serves every level: a savepoint of the same name as an enclosing
// one hides it until released or rolled back to, as nesting needs.
constexpr const char* kSavepoint = "qv_statement";

}  // namespace

SharedTransaction::SharedTransaction(TDatabase& database) : database_(database) {
  if (!database_.InTransaction()) {
    database_.StartTransaction();
    owned_ = true;
  }
}

SharedTransaction::~SharedTransaction() {
  try {
    Rollback();
  } catch (const EDatabaseError&) {
    // Reached while an error unwinds; that error is the one to report, and
    // the connection has ended the transaction either way.
  }
}

void SharedTransaction::Commit() {
  if (!owned_) return;
  owned_ = false;
  database_.Commit();
}

void SharedTransaction::Rollback() {
  if (!owned_) return;
  owned_ = false;
  if (database_.InTransaction()) database_.Rollback();
}

StatementSavepoint::StatementSavepoint(TDatabase& database) : database_(database) {
  if (database_.InTransaction() && database_.Engine() == EngineKind::PostgreSql) {
    database_.ExecDirect(std::string("SAVEPOINT ") + kSavepoint);
    active_ = true;
  }
}

StatementSavepoint::~StatementSavepoint() {
  if (!active_ || !database_.InTransaction()) return;
  try {
    database_.ExecDirect(std::string("ROLLBACK TO SAVEPOINT ") + kSavepoint);
    database_.ExecDirect(std::string("RELEASE SAVEPOINT ") + kSavepoint);
  } catch (const EDatabaseError&) {
    // The transaction stays spoiled; its owner's rollback ends it, and the
    // statement's own error is already on its way.
  }
}

void StatementSavepoint::Release() {
  if (!active_) return;
  active_ = false;
  database_.ExecDirect(std::string("RELEASE SAVEPOINT ") + kSavepoint);
}

}  // namespace qv
