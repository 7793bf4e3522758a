#pragma once
// One connection to a PostgreSQL server, kept for the process like a SQLite
// one, with the statements prepared on it. It speaks libpq; SQLdb turns its
// results into the rows callers read.
#include <memory>
#include <string>
#include <unordered_map>

#include "db/pooled_connection.h"
#include "db/sql_statement.h"

struct pg_conn;
struct pg_result;

namespace tarvelin {

// A result the connection hands over; freed with it.
struct PgResultFree {
  void operator()(pg_result* result) const;
};
using PgResult = std::unique_ptr<pg_result, PgResultFree>;

class PostgresConnection final : public PooledConnection {
 public:
  // What a statement came to, in SQLite's numbers so that callers comparing
  // result codes read both engines alike.
  static constexpr int Ok = 0;
  static constexpr int Failed = 1;  // SQLITE_ERROR
  static constexpr int Busy = 5;    // SQLITE_BUSY: a lock not granted in time, a serialization failure
  static constexpr int Lost = 10;   // SQLITE_IOERR: the server went away or cannot take writes

  // Connects with `conninfo` (libpq's connection string). Null, with `error`
  // saying why, when no server answers or its database would not match and
  // sort text the way the SQLite files do.
  static std::unique_ptr<PostgresConnection> Open(const std::string& conninfo, int mode, std::string& error);
  ~PostgresConnection() override;
  PostgresConnection(const PostgresConnection&) = delete;
  PostgresConnection& operator=(const PostgresConnection&) = delete;

  const std::string& Where() const override { return conninfo_; }
  const std::string& Identity() const override { return identity_; }
  int Mode() const override { return mode_; }
  bool Idle() const override;
  void Clean() override {}

  // Runs one statement with its values bound ("?" in the text becomes $1,
  // $2…); the text is prepared once per connection. Returns one of the codes
  // above; `result` holds the rows, `error` the server's message.
  int Run(const SqlStatement& statement, PgResult& result, std::string& error);
  // Runs SQL text of one or more statements without values.
  int RunText(const std::string& sql, PgResult& result, std::string& error);

  // True from BEGIN to COMMIT or ROLLBACK, also after an error inside.
  bool InTransaction() const;
  // Rows changed by the last INSERT, UPDATE or DELETE.
  int ChangedRows() const { return changed_; }
  // False when the server closed the connection while it was kept.
  bool StillConnected();
  // Connects again after Lost (prepared statements go with the old session).
  bool Reconnect(std::string& error);

 private:
  PostgresConnection(pg_conn* handle, std::string conninfo, int mode);
  int Finish(PgResult& result, std::string& error);
  // The name of the prepared statement for `text`, preparing it first; "" on failure.
  std::string Prepared(const std::string& text, int& code, std::string& error);

  pg_conn* handle_;
  std::string conninfo_;
  std::string identity_;
  int mode_;
  int changed_ = 0;
  unsigned long long preparedSerial_ = 0;
  std::unordered_map<std::string, std::string> statements_;  // text -> prepared name
};

// The text PostgreSQL prepares for `text`: each "?" outside a literal
// numbered $1, $2… in order; `count` gets how many there were.
std::string NumberedParameters(const std::string& text, std::size_t& count);

}  // namespace tarvelin
