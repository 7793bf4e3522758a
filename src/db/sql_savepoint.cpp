#include "db/sql_savepoint.h"

#include <sqlite3.h>

#include <utility>

#include "db/sqldb.h"

namespace tarvelin {

SQLSavepoint::SQLSavepoint(SQLdb& db, std::string name) : db_(db), name_(std::move(name)) {
  active_ = db_.Exec("SAVEPOINT " + name_) == SQLITE_OK;
}

SQLSavepoint::~SQLSavepoint() { RollBack(); }

bool SQLSavepoint::Release() {
  if (!active_) return false;
  active_ = false;
  if (db_.Exec("RELEASE " + name_) == SQLITE_OK) return true;
  const std::string reason = db_.ErrorText;
  db_.Exec("ROLLBACK TO " + name_);
  db_.Exec("RELEASE " + name_);
  db_.ErrorText = reason;
  return false;
}

void SQLSavepoint::RollBack() {
  if (!active_) return;
  active_ = false;
  // An error that rolled back the enclosing transaction took the savepoint with it.
  if (sqlite3_get_autocommit(db_.Handle) != 0) return;
  db_.Exec("ROLLBACK TO " + name_);
  db_.Exec("RELEASE " + name_);
}

}  // namespace tarvelin
