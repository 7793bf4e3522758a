#pragma once
// The database schema as a list of numbered steps, from the empty file to the
// schema this build works with. A database records the last step it has
// taken (table SchemaVersion); `tarvelin-setup upgrade` takes the missing
// ones in order and `init` takes them all. A change to the schema, or to the
// stored data that a new version needs, is one more row at the end of the
// table in schema_steps.cpp.
#include <string>
#include <vector>

namespace tarvelin {

class SQLdb;

struct SchemaStep {
  int version;       // the version the database has once the step is taken
  const char* what;  // shown by the set-up tool: "the tables of ..."
  // Runs inside the transaction that also records `version`; false with
  // `error` set rolls the step back and stops the upgrade.
  bool (*apply)(SQLdb& db, std::string& error);
};

// Every step, in version order, the first from the empty file.
const std::vector<SchemaStep>& SchemaSteps();

// The version of the last step: the schema this build writes and expects.
int CurrentSchemaVersion();

}  // namespace tarvelin
