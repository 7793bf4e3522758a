#pragma once
// A copy of a database file taken while a read transaction keeps writers
// out, so the copy is one consistent state of the database.
#include <string>

namespace tarvelin {

class SQLdb;

enum class DatabaseCopy {
  Copied,
  Unreadable,  // the read transaction could not begin (`error`: SQLite's text)
  NotWritten   // the copy failed and was removed (`error`: the file system's text)
};

// Copies the file `from`, which `db` has open, to `to`.
DatabaseCopy CopyDatabaseFile(SQLdb& db, const std::string& from, const std::string& to, std::string& error);

}  // namespace tarvelin
