#pragma once
// A PostgreSQL connection of its own, beside the process's pool, for the few
// things that belong to one session of this server: an advisory lock that
// must last as long as the session, a number taken once at start. Used by
// one thread at a time.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/postgres_connection.h"

namespace tarvelin {

class SideConnection {
 public:
  // Closing ends the session, and with it every lock the session holds.
  void Close() { connection_.reset(); }
  bool IsOpen() const { return connection_ != nullptr; }

  // Connects with `conninfo` (libpq's connection string), closing an earlier
  // session first; a server that does not answer costs seconds, not TCP's
  // minutes. False, with `error` saying why, when no session came of it.
  bool Open(const std::string& conninfo, std::string& error);

  // Runs `sql` with `values` bound to its "?" in order; the first column of
  // the first row ("" for NULL, no row, or a statement that returns none).
  // Nothing, with `error` saying why, when the statement failed or the
  // session is gone.
  std::optional<std::string> Value(const std::string& sql, const std::vector<std::string>& values,
                                   std::string& error);

 private:
  std::unique_ptr<PostgresConnection> connection_;
};

}  // namespace tarvelin
