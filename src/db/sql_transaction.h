#pragma once

namespace tarvelin {
// One write transaction on an open connection: many statements, one durable
// commit. Used by one thread with its own SQLdb.
class SQLdb;

class SQLTransaction {
 public:
  // Begins an immediate transaction (taking the write lock now, so the
  // statements inside never meet a busy database half-way).
  explicit SQLTransaction(SQLdb& db);
  // Rolls back what was not committed.
  ~SQLTransaction();
  SQLTransaction(const SQLTransaction&) = delete;
  SQLTransaction& operator=(const SQLTransaction&) = delete;

  // False when BEGIN failed: the statements then run one by one, each
  // committed on its own.
  bool Active() const { return active_; }
  // Commits; false (the reason in the connection's ErrorText) when the
  // changes did not reach the file and were rolled back. True when the
  // transaction never began (each statement committed itself).
  bool Commit();

 private:
  SQLdb& db_;
  bool active_ = false;
};

}  // namespace tarvelin
