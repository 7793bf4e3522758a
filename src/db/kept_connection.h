#pragma once
// One SQLite connection kept for the process, with the statements prepared on
// it.
#include <sys/types.h>

#include <string>
#include <unordered_map>

#include "db/pooled_connection.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tarvelin {

// Which file a connection has open: a file replaced under the same name (a
// restored backup, a fresh set-up) is a different file.
struct DatabaseFile {
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  // The device and inode as text: a pooled connection's identity.
  std::string Identity() const { return std::to_string(device) + ":" + std::to_string(inode); }
};

// The file now at `path`; false when it cannot be examined (missing).
bool IdentifyDatabaseFile(const std::string& path, DatabaseFile& file);

class KeptConnection final : public PooledConnection {
 public:
  // Takes ownership of the open `handle`, opened with `mode` on `file`.
  KeptConnection(sqlite3* handle, int mode, DatabaseFile file);
  // Finalizes the kept statements and closes the connection.
  ~KeptConnection() override;
  KeptConnection(const KeptConnection&) = delete;
  KeptConnection& operator=(const KeptConnection&) = delete;

  sqlite3* Handle() const { return handle_; }
  const std::string& Where() const override { return file_.path; }
  const std::string& Identity() const override { return identity_; }
  int Mode() const override { return mode_; }

  // The statement for `sql`, prepared on first use and kept; null when it
  // cannot be prepared (the SQLite code in `resultCode`) or the text holds
  // no statement (`resultCode` 0). The caller resets it after stepping.
  sqlite3_stmt* Prepared(const std::string& sql, int& resultCode);
  // Finalizes a kept statement whose last run failed, so that the next use
  // starts from a fresh one.
  void Forget(const std::string& sql);

  bool Idle() const override;
  void Clean() override;

 private:
  void FinalizeAll();

  sqlite3* handle_;
  int mode_;
  DatabaseFile file_;
  std::string identity_;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

}  // namespace tarvelin
