#pragma once
// Which schema version a database is at, and moving it to the current one
// through the steps of db/schema_steps.h.
#include <functional>
#include <string>

#include "db/schema_steps.h"

namespace tarvelin {

class SQLdb;

// The version recorded in the database's SchemaVersion table. A database made
// before versions were recorded counts as version 1 when it has the Worklist
// table, an empty file as 0. False (`error` set) when it cannot be read.
bool ReadSchemaVersion(SQLdb& db, int& version, std::string& error);

// Whether a server of this build may run on the database. One at an older
// version holds tables and text this build would misread (8-bit names read
// as UTF-8), one at a newer version was written by a later build. False with
// `problem` naming both versions and the remedy. A file that cannot be read,
// or holds no tables yet, passes: each operation reports that on its own.
bool SchemaFitsServer(SQLdb& db, std::string& problem);

enum class SchemaUpgrade {
  UpToDate,  // already at the current version; nothing written
  Upgraded,  // one or more steps taken
  Newer,     // the database is newer than this build knows; nothing written
  Failed     // a step failed (`error` set); the steps before it are kept
};

// Takes every step the database lacks, in order, each in its own transaction
// with the version it reaches, so an interrupted upgrade resumes where it
// stopped. `taken` hears of each step once it is committed; `found` receives
// the version the database had.
SchemaUpgrade UpgradeSchema(SQLdb& db, const std::function<void(const SchemaStep&)>& taken, int& found,
                            std::string& error);

}  // namespace tarvelin
