#include "db/schema_version.h"

#include <vector>

#include "db/sql_transaction.h"
#include "db/sqldb.h"
#include "service/text.h"

namespace tarvelin {

namespace {
// The version as recorded, re-read inside each step's transaction: a second
// set-up tool upgrading the same file meanwhile has then already taken it.
bool StoredVersion(SQLdb& db, int& version, std::string& error) {
  std::vector<std::string> rows;
  // PostgreSQL keeps unquoted names in lower case.
  const char* tables = db.Engine() == SqlEngine::PostgreSQL
                           ? "SELECT lower(table_name) FROM information_schema.tables WHERE table_schema = "
                             "current_schema() AND lower(table_name) IN ('schemaversion', 'worklist') ORDER BY 1"
                           : "SELECT lower(name) FROM sqlite_master WHERE type='table' AND name IN ('SchemaVersion', "
                             "'Worklist') ORDER BY 1";
  if (db.Query(tables, rows) != 0) {
    error = db.ErrorText;
    return false;
  }
  if (rows.empty()) {
    version = 0;
    return true;
  }
  if (rows[0] != "schemaversion;") {
    version = 1;
    return true;
  }
  std::vector<std::string> value;
  if (db.Query("SELECT coalesce(max(Version), 0) FROM SchemaVersion", value) != 0 || value.size() != 1) {
    error = db.ErrorText.empty() ? "SchemaVersion holds no version" : db.ErrorText;
    return false;
  }
  version = static_cast<int>(ToIntDef(Piece(value[0], ";", 1), -1));
  if (version < 0) error = "SchemaVersion holds no version";
  return version >= 0;
}

bool RecordVersion(SQLdb& db, int version, std::string& error) {
  if (db.Exec("CREATE TABLE IF NOT EXISTS SchemaVersion (Version INTEGER NOT NULL);\n"
              "DELETE FROM SchemaVersion;\n"
              "INSERT INTO SchemaVersion (Version) VALUES (" + std::to_string(version) + ");") == 0)
    return true;
  error = db.ErrorText;
  return false;
}

// One step and its version in one transaction; false (`error` set) on failure.
bool TakeStep(SQLdb& db, const SchemaStep& step, bool& tookIt, std::string& error) {
  tookIt = false;
  SQLTransaction transaction(db);
  if (!transaction.Active()) {
    error = db.ErrorText;
    return false;
  }
  int version = 0;
  if (!StoredVersion(db, version, error)) return false;
  if (version >= step.version) return true;
  if (!step.apply(db, error) || !RecordVersion(db, step.version, error)) return false;
  if (!transaction.Commit()) {
    error = db.ErrorText;
    return false;
  }
  tookIt = true;
  return true;
}
}  // namespace

bool ReadSchemaVersion(SQLdb& db, int& version, std::string& error) { return StoredVersion(db, version, error); }

bool SchemaFitsServer(SQLdb& db, std::string& problem) {
  int found = 0;
  std::string unreadable;
  // A server is configured for PostgreSQL on purpose: unlike a file not made
  // yet, a database it cannot use or an empty schema is a fault to name.
  if (db.Engine() == SqlEngine::PostgreSQL) {
    if (!db.IsOpen || !ReadSchemaVersion(db, found, unreadable)) {
      problem = "the PostgreSQL database cannot be used: " + (db.IsOpen ? unreadable : db.ErrorText);
      return false;
    }
    if (found == 0) {
      problem = "the PostgreSQL schema holds no Tarvelin tables: run tarvelin-setup init --database first";
      return false;
    }
  }
  if (!db.IsOpen || !ReadSchemaVersion(db, found, unreadable) || found == 0) return true;
  const int current = CurrentSchemaVersion();
  if (found == current) return true;
  problem = "the database has schema version " + std::to_string(found) + ", this server works with version " +
            std::to_string(current) +
            (found < current ? ": run tarvelin-setup upgrade on the instance first"
                             : ": it was written by a newer Tarvelin; run that version or restore a backup made before it");
  return false;
}

SchemaUpgrade UpgradeSchema(SQLdb& db, const std::function<void(const SchemaStep&)>& taken, int& found,
                            std::string& error) {
  if (!ReadSchemaVersion(db, found, error)) return SchemaUpgrade::Failed;
  if (found > CurrentSchemaVersion()) return SchemaUpgrade::Newer;
  bool any = false;
  for (const SchemaStep& step : SchemaSteps()) {
    if (step.version <= found) continue;
    bool tookIt = false;
    if (!TakeStep(db, step, tookIt, error)) {
      error = "step to version " + std::to_string(step.version) + " (" + step.what + "): " + error;
      return SchemaUpgrade::Failed;
    }
    if (tookIt) taken(step);
    any = any || tookIt;
  }
  return any ? SchemaUpgrade::Upgraded : SchemaUpgrade::UpToDate;
}

}  // namespace tarvelin
