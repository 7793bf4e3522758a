#pragma once
// The connections the process keeps between operations, so that an
// operation does not open the file, read the schema and fill a page cache
// again. Safe to call from any thread.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "db/kept_connection.h"

namespace tarvelin {

class ConnectionPool {
 public:
  // The process's pool.
  static ConnectionPool& Process();

  // An idle connection opened with `mode` on the file now at `path`, or null
  // when none is kept (the caller opens one). Connections to a file that has
  // gone or been replaced are closed on the way.
  std::unique_ptr<KeptConnection> Take(const std::string& path, int mode);
  // Keeps `connection` for a later Take; closes it instead when it is still
  // inside a transaction or a statement, its file was replaced, or enough
  // connections are kept already.
  void Give(std::unique_ptr<KeptConnection> connection);

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<KeptConnection>> idle_;
};

}  // namespace tarvelin
