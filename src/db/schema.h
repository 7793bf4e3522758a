#pragma once
// A new database file. The service itself never creates one; the set-up tool
// (and tests) use this to build a file at the current schema version.
#include <string>

namespace tarvelin {

// Creates a new database file at `path` and takes every schema step
// (db/schema_steps.h) on it. Refuses (false, `error` set) when the file
// already exists or anything fails; a partly created file is removed.
bool CreateDatabase(const std::string& path, std::string& error);

// Takes every schema step in the schema that `conninfo`'s search_path names
// on a PostgreSQL server (its first, usually "public"), in the same
// transactions as on a file, and adds name_matches(). Refuses (false,
// `error` set) when that schema already holds Tarvelin's tables or the
// database does not match text as Tarvelin needs.
bool CreatePostgresSchema(const std::string& conninfo, std::string& error);

}  // namespace tarvelin
