#pragma once
// One SQLite connection kept for the process, with the statements prepared on
// it. Used by one thread at a time: the pool hands it to one SQLdb, which
// gives it back when it is destroyed.
#include <sys/types.h>

#include <string>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace tarvelin {

// Which file a connection has open: a file replaced under the same name (a
// restored backup, a fresh set-up) is a different file.
struct DatabaseFile {
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const DatabaseFile& other) const {
    return path == other.path && device == other.device && inode == other.inode;
  }
};

// The file now at `path`; false when it cannot be examined (missing).
bool IdentifyDatabaseFile(const std::string& path, DatabaseFile& file);

class KeptConnection {
 public:
  // Takes ownership of the open `handle`, opened with `mode` on `file`.
  KeptConnection(sqlite3* handle, int mode, DatabaseFile file);
  // Finalizes the kept statements and closes the connection.
  ~KeptConnection();
  KeptConnection(const KeptConnection&) = delete;
  KeptConnection& operator=(const KeptConnection&) = delete;

  sqlite3* Handle() const { return handle_; }
  int Mode() const { return mode_; }
  const DatabaseFile& File() const { return file_; }

  // The statement for `sql`, prepared on first use and kept; null when it
  // cannot be prepared (the SQLite code in `resultCode`) or the text holds
  // no statement (`resultCode` 0). The caller resets it after stepping.
  sqlite3_stmt* Prepared(const std::string& sql, int& resultCode);
  // Finalizes a kept statement whose last run failed, so that the next use
  // starts from a fresh one.
  void Forget(const std::string& sql);

  // True when the connection can serve another operation: outside any
  // transaction and with no statement half-way through its rows.
  bool Idle() const;
  // Drops what a borrower may have attached (a trace, a busy time-out).
  void Clean();

 private:
  void FinalizeAll();

  sqlite3* handle_;
  int mode_;
  DatabaseFile file_;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
};

}  // namespace tarvelin
