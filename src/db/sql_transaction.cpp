#include "db/sql_transaction.h"

#include <string>

#include "db/sqldb.h"

namespace tarvelin {

SQLTransaction::SQLTransaction(SQLdb& db) : db_(db) { active_ = db_.BeginWrite() == 0; }

SQLTransaction::~SQLTransaction() {
  if (active_ && db_.InTransaction()) db_.Exec("ROLLBACK");
}

bool SQLTransaction::Commit() {
  if (!active_) return true;
  active_ = false;
  // A failed statement may already have rolled the whole transaction back.
  if (!db_.InTransaction()) {
    db_.ErrorText = "the transaction was rolled back";
    return false;
  }
  if (db_.Exec("COMMIT") == 0) return true;
  const std::string reason = db_.ErrorText;
  if (db_.InTransaction()) db_.Exec("ROLLBACK");
  db_.ErrorText = reason;
  return false;
}

}  // namespace tarvelin
