#pragma once
// The storage engine the tests run on, chosen by TARVELIN_TEST_BACKEND:
// "sqlite" (or unset) for the database files of each instance folder,
// "postgresql" for a schema of each test's own on a PostgreSQL server: the
// one TARVELIN_TEST_POSTGRES names (a libpq connection string) or, unset, the
// throwaway server the CTest run started (tests/support/postgres_server.sh,
// fixture "postgresql").
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/storage_location.h"
#include "support/scratch_schema.h"

namespace tarvelin {

// True when the tests run on PostgreSQL.
bool TestsOnPostgres();

// For tests of SQLite itself (its files, handles and statements): skipped,
// with the reason, when the tests run on PostgreSQL.
#define SQLITE_ONLY(reason)                                      \
  if (::tarvelin::TestsOnPostgres()) GTEST_SKIP() << "SQLite only: " << (reason)

// A schema of one test's own on the PostgreSQL server (a ScratchSchema),
// dropped with all it holds at the end; nothing at all on SQLite.
class TestSchema {
 public:
  TestSchema();
  ~TestSchema();
  TestSchema(const TestSchema&) = delete;
  TestSchema& operator=(const TestSchema&) = delete;

  // "" when the schema is ready (always on SQLite), else what failed.
  const std::string& Problem() const;
  // The connection string whose search_path is the schema; "" on SQLite.
  const std::string& ConnectionString() const;
  // The schema itself; null on SQLite.
  const ScratchSchema* Scratch() const { return scratch_.get(); }

 private:
  std::unique_ptr<ScratchSchema> scratch_;
};

// Where an instance in `home` (ending with "/") keeps its data on the engine
// in use: its database folder, and on PostgreSQL the schema as well.
StorageLocation TestStorage(const std::string& home, const TestSchema& schema);

// The "Database" setting that names `location` ("" for SQLite files).
std::string DatabaseSetting(const StorageLocation& location);

// Makes the empty service database of `location` at the current schema
// version: the SQLite file, or the tables in the PostgreSQL schema.
bool CreateTestDatabase(const StorageLocation& location, std::string& error);

// SQL run past the storage gateway, straight through sqlite3 or libpq, for
// tests that set up or read back what the gateway cannot be trusted to show.
struct RawResult {
  std::string error;  // "" when every statement ran
  // Each row's column values; nullopt for NULL.
  std::vector<std::vector<std::optional<std::string>>> rows;
};
// Runs `sql` (one or more statements; the rows are the last one's) on the
// service database of `location`, waiting up to 5 s for SQLite's locks. A
// SQLite file is opened read-only unless `write`.
RawResult RunRawSql(const StorageLocation& location, const std::string& sql, bool write);

// The engine's message for a write on a connection opened read-only, for
// `verb` ("INSERT", "UPDATE", "DELETE").
std::string ReadOnlyRefusal(const std::string& verb);

// The tables of the service database of `location`, in lower case (as
// PostgreSQL folds unquoted names), sorted and joined by ","; "" on failure.
std::string TableNames(const StorageLocation& location);

}  // namespace tarvelin
