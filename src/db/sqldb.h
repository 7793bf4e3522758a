#pragma once
// The gateway to the service's database: a SQLite file, or a PostgreSQL
// server when the storage location names one. One object is one connection,
// used by one thread for one logical operation and then destroyed; the
// connection itself, with its schema and prepared statements, is kept by the
// process for the next operation. The database and its tables must exist: a
// SQLite file is opened without the create flag.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/sql_engine.h"
#include "db/sql_statement.h"
#include "db/text_rows.h"

struct sqlite3;
struct sqlite3_stmt;
struct pg_result;

namespace tarvelin {

class KeptConnection;
class PostgresConnection;

// A database file named by its path rather than by a name under the
// instance folder: for the set-up tool, which builds and upgrades files the
// server does not run on. Such a connection is closed afterwards, not kept.
struct DatabaseAt {
  std::string path;
};

// A PostgreSQL database named by its connection string rather than by the
// storage location: for the set-up tool, which builds a schema before any
// server runs on it. Such a connection is closed afterwards, not kept.
struct PostgresAt {
  std::string conninfo;
};

class SQLdb {
 public:
  // Open modes: SQLite's open flags, never combined with the create flag.
  static constexpr int ReadOnly = 1;   // SQLITE_OPEN_READONLY
  static constexpr int ReadWrite = 2;  // SQLITE_OPEN_READWRITE

  // Takes a kept connection to DatabasePath(name), or to the PostgreSQL
  // server of the storage location in use, or opens one. Check IsOpen
  // afterwards; a failure is logged and leaves IsOpen false.
  SQLdb(const std::string& name, int openMode);
  // Opens the file at `file.path` (which must exist) for this object alone.
  SQLdb(const DatabaseAt& file, int openMode);
  SQLdb(const PostgresAt& server, int openMode);
  // Gives the connection back to the process; one left inside a transaction
  // is closed instead, which rolls the transaction back.
  ~SQLdb();
  SQLdb(const SQLdb&) = delete;
  SQLdb& operator=(const SQLdb&) = delete;

  // Runs SQL that yields no rows. Returns the SQLite result code (0 success;
  // PostgreSQL's outcomes are given the same numbers); waits up to one second
  // for a locked database, then retries four times, one second apart, and
  // gives up with 5.
  // A failure's log line shows `sql` with the `secrets` hidden.
  int Exec(const std::string& sql, const std::vector<std::string>& secrets = {});

  // Runs one SELECT and appends one line per row to `rows`: every column's
  // text followed by ";" (a ";" inside a value becomes ":", NULL gives an
  // empty field). Waits up to one second for a locked database. Returns the
  // SQLite result code (0 when every row was read).
  int Query(const std::string& sql, std::vector<std::string>& rows);

  // Like Query, but `rows` (emptied first) gets the column values exactly as
  // stored: for the worklist answer, and for pages that show values and send
  // them back as keys.
  int QueryValues(const std::string& sql, TextRows& rows);

  // The same with bound values: the text is prepared once per connection and
  // kept, whatever the values.
  int Query(const SqlStatement& statement, std::vector<std::string>& rows);
  int QueryValues(const SqlStatement& statement, TextRows& rows);
  // Runs one statement with bound values that yields no rows; retries a
  // locked database like Exec. ChangedRows() then tells what it touched.
  // A failure's log line shows statement.Logged() with the `secrets` hidden.
  int Exec(const SqlStatement& statement, const std::vector<std::string>& secrets = {});

  // Begins a write transaction that holds the write lock from the start, so
  // what it reads cannot change before it writes: SQLite's BEGIN IMMEDIATE;
  // on PostgreSQL one lock that every server's writers take in turn. Returns
  // like Exec.
  int BeginWrite();

  // True between BEGIN and the COMMIT or ROLLBACK (or the error that ended it).
  bool InTransaction() const;
  // True when, since the last call, a statement failed for a passing reason
  // of the server's (a lost connection, a failover, a serialization failure
  // or deadlock): a unit of work that failed may succeed when done again.
  bool TakeInterruption();
  // Rows changed by the last INSERT, UPDATE or DELETE.
  int ChangedRows() const;
  // Lets SQLite wait up to `ms` for a lock before Exec's own retries start;
  // for this object only.
  void WaitWhenBusy(int ms);

  SqlEngine Engine() const { return engine_; }

  sqlite3* Handle = nullptr;  // SQLite's connection; null on PostgreSQL
  int ResultCode = 0;   // SQLite result code of the last call
  int RowCount = 0;     // rows delivered by the last Query
  int ColumnCount = 0;  // result columns of the last Query
  std::string ErrorText;  // the engine's message of the last failure
  bool IsOpen = false;
  std::string Name;

 private:
  std::unique_ptr<KeptConnection> connection_;
  std::unique_ptr<PostgresConnection> postgres_;
  SqlEngine engine_ = SqlEngine::SQLite;
  bool interrupted_ = false;
  bool keep_ = true;  // given back to the process's pool when destroyed
  bool waitSet_ = false;  // the connection's busy time-out is this object's

  // Lets SQLite wait up to one second for a lock (unless WaitWhenBusy chose
  // otherwise) before a statement reports SQLITE_BUSY.
  void WaitForLock();

  void Open(const std::string& path, int openMode);
  void OpenPostgres(const std::string& conninfo, int openMode);
  // Runs `once` on PostgreSQL; when the connection was lost before or while
  // it ran, and `mayRepeat` (it wrote nothing that could have been kept),
  // connects again and repeats it for up to half a minute: a failover.
  int OnPostgres(bool mayRepeat, const std::function<int()>& once);
  // Runs one SELECT on PostgreSQL and hands its rows to `onRows`.
  int SelectPostgres(const SqlStatement& statement, const std::function<void(const pg_result*)>& onRows);

  // Prepares and steps one SELECT, handing each row to `onRow`.
  int Select(const SqlStatement& statement, const std::function<void(sqlite3_stmt*)>& onRow);
  // The kept statement for `statement` with its values bound; null (with
  // ResultCode, ErrorText and the SQLite call that failed set) when it cannot
  // be prepared or bound, or the text holds no statement (ResultCode 0).
  sqlite3_stmt* Bound(const SqlStatement& statement, std::string& failedCall);
};

// The file a database name stands for: name + ".db" in the database folder
// of the storage location in use (see UseStorage).
std::string DatabasePath(const std::string& name);

}  // namespace tarvelin
