#pragma once
// The connections the process keeps between operations, so that an
// operation does not open the file (or log in to the server), read the
// schema and fill a cache again. Safe to call from any thread.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "db/pooled_connection.h"

namespace tarvelin {

class ConnectionPool {
 public:
  // The process's pool.
  static ConnectionPool& Process();

  // An idle connection opened with `mode` on `where` whose identity is
  // `identityNow`, or null when none is kept (the caller opens one).
  // Connections to `where` with another identity, or to a `where` that has
  // gone (no identity), are closed on the way.
  std::unique_ptr<PooledConnection> Take(const std::string& where, const std::optional<std::string>& identityNow,
                                         int mode);
  // Keeps `connection` for a later Take; closes it instead when it is not
  // idle, `where` now has another identity (or none), or enough connections
  // are kept already.
  void Give(std::unique_ptr<PooledConnection> connection, const std::optional<std::string>& identityNow);

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<PooledConnection>> idle_;
};

}  // namespace tarvelin
