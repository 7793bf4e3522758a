#include "db/schema_steps.h"

#include <regex>

#include "db/sqldb.h"
#include "db/stored_text_upgrade.h"

namespace tarvelin {

namespace {
// The statements for the connection's engine. The steps are written for
// SQLite; on PostgreSQL text columns are TEXT (a declared length would
// refuse longer values, which SQLite stores), data sets BYTEA, and an index
// on a case-folded name has no NOCASE collation to use.
std::string ForEngine(const SQLdb& db, const char* sql) {
  if (db.Engine() == SqlEngine::SQLite) return sql;
  std::string text = std::regex_replace(sql, std::regex("VARCHAR\\(\\d+\\)"), "TEXT");
  text = std::regex_replace(text, std::regex(" BLOB"), " BYTEA");
  return std::regex_replace(text, std::regex("\\(PatientName COLLATE NOCASE\\)"),
                            "(lower(btrim(split_part(PatientName, '^', 1))) text_pattern_ops)");
}

bool Run(SQLdb& db, const char* sql, std::string& error) {
  if (db.Exec(ForEngine(db, sql)) == 0) return true;
  error = db.ErrorText;
  return false;
}

// The four tables of the first version, as every older database has them.
bool CreateTables(SQLdb& db, std::string& error) {
  return Run(db,
             "CREATE TABLE Worklist ("
             "PatientID VARCHAR(64), "
             "PatientName VARCHAR(128), "
             "PatientBD VARCHAR(8), "
             "PatientSex VARCHAR(16), "
             "ReferringPhysician VARCHAR(64), "
             "AccessionNumber VARCHAR(16) PRIMARY KEY, "
             "MedicalAlerts VARCHAR(64), "
             "PatientState VARCHAR(64), "
             "PatientTransport VARCHAR(64), "
             "StudyInstanceUID VARCHAR(64), "
             "RequestedProcedureDescription VARCHAR(64), "
             "Modality VARCHAR(16), "
             "SPSDate VARCHAR(8), "
             "SPSTime VARCHAR(16), "
             "PerformingPhysician VARCHAR(64), "
             "SPSDescription VARCHAR(64), "
             "SPSID VARCHAR(32), "
             "SPSStatus VARCHAR(16), "
             "ScheduledStation VARCHAR(16), "
             "RequestedProcedureID VARCHAR(16), "
             "SOPInstanceUID VARCHAR(64), "
             "RequestedProcedurePriority VARCHAR(8));\n"
             "CREATE TABLE Users ("
             "UserName VARCHAR(64) PRIMARY KEY, "
             "PassWord VARCHAR(64), "
             "Rights INTEGER);\n"
             "CREATE TABLE Referrers ("
             "Name VARCHAR(64) PRIMARY KEY, "
             "Address VARCHAR(64), "
             "Phone VARCHAR(16), "
             "Email VARCHAR(32));\n"
             "CREATE TABLE StudyDescription ("
             "Code INTEGER PRIMARY KEY, "
             "Modality VARCHAR(16), "
             "Description VARCHAR(64));\n",
             error);
}

// Databases made before versions were recorded may already hold what the
// next steps add, so those steps tolerate finding it there.
bool AddWorklistIndexes(SQLdb& db, std::string& error) {
  return Run(db,
             // Modalities ask for what is scheduled, usually for a date range and
             // their modality (the date last, as it is often a range); MPPS
             // messages find their entry by the performed step's SOP Instance UID.
             "CREATE INDEX IF NOT EXISTS WorklistStatusDate ON Worklist (SPSStatus, SPSDate);\n"
             "CREATE INDEX IF NOT EXISTS WorklistStatusModality ON Worklist (SPSStatus, Modality, SPSDate);\n"
             "CREATE INDEX IF NOT EXISTS WorklistSOPInstance ON Worklist (SOPInstanceUID);\n"
             // The web list shows a day's entries (or a date range) by start time,
             // a page at a time (the accession number orders equal times), or by
             // patient name, or one patient ID. The start index also serves every
             // date range, so the older index on the date alone goes.
             "CREATE INDEX IF NOT EXISTS WorklistNameOrder ON Worklist (PatientName, AccessionNumber);\n"
             "CREATE INDEX IF NOT EXISTS WorklistNamePrefix ON Worklist (PatientName COLLATE NOCASE);\n"
             "CREATE INDEX IF NOT EXISTS WorklistStart ON Worklist (SPSDate, SPSTime, AccessionNumber);\n"
             "DROP INDEX IF EXISTS WorklistDate;\n"
             "CREATE INDEX IF NOT EXISTS WorklistPatientID ON Worklist (PatientID);\n",
             error);
}

bool AddPerformedSteps(SQLdb& db, std::string& error) {
  return Run(db,
             // One row per performed step: its status and its attributes as
             // received, encoded in the transfer syntax they came in.
             "CREATE TABLE IF NOT EXISTS PerformedSteps ("
             "SOPInstanceUID VARCHAR(64) PRIMARY KEY, "
             "Status VARCHAR(16), "
             "TransferSyntax VARCHAR(64), "
             "DataSet BLOB, "
             "Created VARCHAR(14), "
             "Updated VARCHAR(14));\n"
             // A step may perform several entries (grouped procedures) and an entry
             // may be performed by several steps (a series added later).
             "CREATE TABLE IF NOT EXISTS PerformedStepEntries ("
             "SOPInstanceUID VARCHAR(64), "
             "AccessionNumber VARCHAR(16), "
             "PRIMARY KEY (SOPInstanceUID, AccessionNumber));\n"
             "CREATE INDEX IF NOT EXISTS PerformedStepEntriesAccession ON PerformedStepEntries (AccessionNumber);\n",
             error);
}
}  // namespace

const std::vector<SchemaStep>& SchemaSteps() {
  // New steps go at the end, numbered on; a step once released never changes.
  static const std::vector<SchemaStep> steps = {
      {1, "the tables Worklist, Users, Referrers and StudyDescription", &CreateTables},
      {2, "the indexes of worklist queries and pages", &AddWorklistIndexes},
      {3, "the tables of performed procedure steps", &AddPerformedSteps},
      {4, "text stored as UTF-8 (8-bit text converted)", &ConvertStoredTextToUtf8},
  };
  return steps;
}

int CurrentSchemaVersion() { return SchemaSteps().back().version; }

}  // namespace tarvelin
