#pragma once
// The tables the service expects in its database file. The service itself
// never creates them; the set-up tool (and tests) use this to build a file.
#include <string>

namespace tarvelin {

// CREATE TABLE statements for Worklist, Users, Referrers, StudyDescription and
// the performed procedure steps
// plus the indexes that keep worklist queries proportional to their matches.
const std::string& DatabaseSchemaSql();

// The worklist indexes alone (CREATE INDEX IF NOT EXISTS), to bring a
// database made by an older set-up tool up to date.
const std::string& WorklistIndexSql();

// The tables of performed procedure steps (CREATE TABLE IF NOT EXISTS), also
// to bring a database made by an older set-up tool up to date.
const std::string& PerformedStepSql();

// Creates a new database file at `path` holding the schema. Refuses (false,
// `error` set) when the file already exists or anything fails; a partly
// created file is removed.
bool CreateDatabase(const std::string& path, std::string& error);

}  // namespace tarvelin
