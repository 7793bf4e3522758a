#include "db/schema.h"

#include <sqlite3.h>

#include <filesystem>
#include <system_error>

#include "db/schema_version.h"
#include "db/sqldb.h"

namespace tarvelin {

namespace {
// The empty file, made with the create flag that no other open carries.
bool CreateEmptyFile(const std::string& path, std::string& error) {
  sqlite3* handle = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) error = handle ? sqlite3_errmsg(handle) : sqlite3_errstr(rc);
  if (sqlite3_close(handle) != SQLITE_OK && rc == SQLITE_OK) {
    error = "cannot close " + path;
    return false;
  }
  return rc == SQLITE_OK;
}
// The SQLite connections' name_matches() (db/name_match.h) in SQL: each
// part, trimmed and in lower case, must start its component of the name.
constexpr const char* kNameMatchFunction =
    "CREATE OR REPLACE FUNCTION name_matches(name TEXT, family TEXT, given TEXT) RETURNS BOOLEAN "
    "LANGUAGE sql IMMUTABLE AS $$ SELECT "
    "lower(btrim(split_part(coalesce(name, ''), '^', 1))) LIKE replace(replace(replace(lower(btrim("
    "coalesce(family, ''))), '\\', '\\\\'), '%', '\\%'), '_', '\\_') || '%' ESCAPE '\\' AND "
    "lower(btrim(split_part(coalesce(name, ''), '^', 2))) LIKE replace(replace(replace(lower(btrim("
    "coalesce(given, ''))), '\\', '\\\\'), '%', '\\%'), '_', '\\_') || '%' ESCAPE '\\' $$";
}  // namespace

bool CreatePostgresSchema(const std::string& conninfo, std::string& error) {
  SQLdb db(PostgresAt{conninfo}, SQLdb::ReadWrite);
  if (!db.IsOpen) {
    error = "cannot use the PostgreSQL database: " + db.ErrorText;
    return false;
  }
  int found = 0;
  if (!ReadSchemaVersion(db, found, error)) return false;
  if (found != 0) {
    error = "the PostgreSQL schema already holds Tarvelin's tables (schema version " + std::to_string(found) +
            "), left untouched";
    return false;
  }
  if (db.Exec(kNameMatchFunction) != 0) {
    error = db.ErrorText;
    return false;
  }
  return UpgradeSchema(db, [](const SchemaStep&) {}, found, error) == SchemaUpgrade::Upgraded;
}

bool CreateDatabase(const std::string& path, std::string& error) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec) || ec) {
    error = ec ? "cannot check " + path + ": " + ec.message()
               : "database already exists, left untouched: " + path;
    return false;
  }
  bool ok = CreateEmptyFile(path, error);
  if (ok) {
    SQLdb db(DatabaseAt{path}, SQLdb::ReadWrite);
    int found = 0;
    ok = db.IsOpen && UpgradeSchema(db, [](const SchemaStep&) {}, found, error) == SchemaUpgrade::Upgraded;
    if (!db.IsOpen) error = db.ErrorText;
  }
  if (!ok) {
    error = "cannot create database " + path + ": " + error;
    std::filesystem::remove(path, ec);
    std::filesystem::remove(path + "-journal", ec);
  }
  return ok;
}

}  // namespace tarvelin
