#include "db/sql_transaction.h"

#include <sqlite3.h>

#include <string>

#include "db/sqldb.h"

namespace tarvelin {

SQLTransaction::SQLTransaction(SQLdb& db) : db_(db) { active_ = db_.Exec("BEGIN IMMEDIATE") == SQLITE_OK; }

SQLTransaction::~SQLTransaction() {
  if (active_ && sqlite3_get_autocommit(db_.Handle) == 0) db_.Exec("ROLLBACK");
}

bool SQLTransaction::Commit() {
  if (!active_) return true;
  active_ = false;
  // A failed statement may already have rolled the whole transaction back.
  if (sqlite3_get_autocommit(db_.Handle) != 0) {
    db_.ErrorText = "the transaction was rolled back";
    return false;
  }
  if (db_.Exec("COMMIT") == SQLITE_OK) return true;
  const std::string reason = db_.ErrorText;
  if (sqlite3_get_autocommit(db_.Handle) == 0) db_.Exec("ROLLBACK");
  db_.ErrorText = reason;
  return false;
}

}  // namespace tarvelin
