#include "qvd3/data/shared_transaction.h"

#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"

namespace qv {

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

}  // namespace qv
