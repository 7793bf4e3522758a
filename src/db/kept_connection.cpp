#include "db/kept_connection.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <utility>

namespace tarvelin {

namespace {
// The worklist query's text carries its values, so a kept statement pays off
// for the questions modalities repeat all day; this many distinct texts per
// connection covers them without keeping every web search ever made.
constexpr std::size_t kMaxKeptStatements = 32;
}  // namespace

bool IdentifyDatabaseFile(const std::string& path, DatabaseFile& file) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return false;
  file = {path, status.st_dev, status.st_ino};
  return true;
}

KeptConnection::KeptConnection(sqlite3* handle, int mode, DatabaseFile file)
    : handle_(handle), mode_(mode), file_(std::move(file)), identity_(file_.Identity()) {}

KeptConnection::~KeptConnection() {
  FinalizeAll();
  sqlite3_close(handle_);
}

sqlite3_stmt* KeptConnection::Prepared(const std::string& sql, int& resultCode) {
  resultCode = SQLITE_OK;
  if (const auto kept = statements_.find(sql); kept != statements_.end()) return kept->second;
  // Forgetting all at once is simpler than ordering them by use, and a
  // connection that meets this many texts is serving ad hoc searches anyway.
  if (statements_.size() >= kMaxKeptStatements) FinalizeAll();
  sqlite3_stmt* statement = nullptr;
  resultCode = sqlite3_prepare_v3(handle_, sql.c_str(), static_cast<int>(sql.size()),
                                  SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  if (resultCode != SQLITE_OK || !statement) return nullptr;
  statements_.emplace(sql, statement);
  return statement;
}

void KeptConnection::Forget(const std::string& sql) {
  const auto kept = statements_.find(sql);
  if (kept == statements_.end()) return;
  sqlite3_finalize(kept->second);
  statements_.erase(kept);
}

bool KeptConnection::Idle() const {
  if (sqlite3_get_autocommit(handle_) == 0) return false;
  for (sqlite3_stmt* s = sqlite3_next_stmt(handle_, nullptr); s; s = sqlite3_next_stmt(handle_, s))
    if (sqlite3_stmt_busy(s)) return false;
  return true;
}

void KeptConnection::Clean() {
  sqlite3_trace_v2(handle_, 0, nullptr, nullptr);
  sqlite3_busy_timeout(handle_, 0);
}

void KeptConnection::FinalizeAll() {
  for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
  statements_.clear();
}

}  // namespace tarvelin
