#pragma once
// The tables the service expects in its database file. The service itself
// never creates them; the set-up tool (and tests) use this to build a file.
#include <string>

// CREATE TABLE statements for Worklist, Users, Referrers and StudyDescription
// plus the indexes that keep worklist queries proportional to their matches.
const std::string& DatabaseSchemaSql();

// Creates a new database file at `path` holding the schema. Refuses (false,
// `error` set) when the file already exists or anything fails; a partly
// created file is removed.
bool CreateDatabase(const std::string& path, std::string& error);
