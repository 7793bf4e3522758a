#include "db/database_copy.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "db/sqldb.h"

namespace tarvelin {

DatabaseCopy CopyDatabaseFile(SQLdb& db, const std::string& from, const std::string& to, std::string& error) {
  // A deferred transaction takes its read lock at the first read.
  std::vector<std::string> rows;
  if (db.Exec("BEGIN") != 0 || db.Query("SELECT count(*) FROM sqlite_master", rows) != 0) {
    error = db.ErrorText;
    return DatabaseCopy::Unreadable;
  }
  std::error_code ec;
  std::filesystem::copy_file(from, to, ec);
  db.Exec("COMMIT");
  if (!ec) return DatabaseCopy::Copied;
  error = ec.message();
  std::error_code ignored;
  std::filesystem::remove(to, ignored);
  return DatabaseCopy::NotWritten;
}

}  // namespace tarvelin
