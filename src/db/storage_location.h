#pragma once
// Where the stores find their data. The code that knows the instance (the
// service's start, the set-up tool, a test's fixture) says so once, before
// the first connection; the storage code reads no settings of its own. Any
// thread may read it; connections opened earlier keep their file.
#include <string>

namespace tarvelin {

struct StorageLocation {
  // The folder of the SQLite files, ending with "/": database/ of the
  // instance. It also holds what belongs to the instance alone when the
  // data lives on a PostgreSQL server.
  std::string databaseFolder;
  // A libpq connection string; set, the data lives on that PostgreSQL server
  // (the schema its search_path names) instead of in the folder's files.
  std::string postgres;

  bool OnPostgres() const { return !postgres.empty(); }

  // The location of the instance in `programFolder` (ending with "/").
  static StorageLocation OfInstance(const std::string& programFolder);
};

// The prefix of a "Database" setting that names a PostgreSQL server.
inline constexpr const char* kPostgresPrefix = "postgresql:";

// The location an instance's "Database" setting names: "" or "sqlite" for the
// files under database/, "postgresql:<libpq connection string>" for a
// PostgreSQL database. False, with `error` saying why, for anything else.
bool StorageOfInstance(const std::string& programFolder, const std::string& databaseSetting,
                       StorageLocation& location, std::string& error);

// Sets the location every later connection uses.
void UseStorage(const StorageLocation& location);

// The location set last; before any, "database/" under the working folder.
StorageLocation CurrentStorage();

}  // namespace tarvelin
