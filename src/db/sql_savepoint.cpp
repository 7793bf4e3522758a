#include "db/sql_savepoint.h"

#include <utility>

#include "db/sqldb.h"

namespace tarvelin {

SQLSavepoint::SQLSavepoint(SQLdb& db, std::string name) : db_(db), name_(std::move(name)) {
  // Outside a transaction the unit takes the write lock at once: a unit that
  // reads and then writes on a shared lock would meet a concurrent writer as
  // a deadlock (SQLITE_BUSY that no waiting resolves) half-way through.
  if (!db_.InTransaction()) {
    transaction_.emplace(db_);
    if (!transaction_->Active()) return;
  }
  active_ = db_.Exec("SAVEPOINT " + name_) == 0;
  if (!active_) transaction_.reset();
}

SQLSavepoint::~SQLSavepoint() { RollBack(); }

bool SQLSavepoint::Release() {
  if (!active_) return false;
  active_ = false;
  if (db_.Exec("RELEASE " + name_) == 0) return !transaction_ || transaction_->Commit();
  const std::string reason = db_.ErrorText;
  db_.Exec("ROLLBACK TO " + name_);
  db_.Exec("RELEASE " + name_);
  transaction_.reset();
  db_.ErrorText = reason;
  return false;
}

void SQLSavepoint::RollBack() {
  if (!active_) return;
  active_ = false;
  // An error that rolled back the enclosing transaction took the savepoint with it.
  if (db_.InTransaction()) {
    db_.Exec("ROLLBACK TO " + name_);
    db_.Exec("RELEASE " + name_);
  }
  transaction_.reset();  // rolls back what this unit began
}

}  // namespace tarvelin
