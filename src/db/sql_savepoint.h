#pragma once
// A nestable unit of work on an open connection: everything between the
// constructor and Release() is kept, or none of it is (the destructor rolls
// back what was not released). Unlike a transaction it may run inside one,
// so one message of a group commit can be undone alone. Outside a transaction
// it begins one that holds the write lock from the start (and commits it at
// Release), so what it reads cannot change before it writes.
#include <optional>
#include <string>

#include "db/sql_transaction.h"

namespace tarvelin {

class SQLdb;

class SQLSavepoint {
 public:
  SQLSavepoint(SQLdb& db, std::string name);
  ~SQLSavepoint();
  SQLSavepoint(const SQLSavepoint&) = delete;
  SQLSavepoint& operator=(const SQLSavepoint&) = delete;

  // False when the savepoint could not be opened (nothing should be written).
  bool Active() const { return active_; }
  // Keeps the work; false (reason in the connection's ErrorText) when it was lost.
  bool Release();
  // Undoes the work now.
  void RollBack();

 private:
  SQLdb& db_;
  std::string name_;
  bool active_ = false;
  std::optional<SQLTransaction> transaction_;  // the one this unit began, if any
};

}  // namespace tarvelin
