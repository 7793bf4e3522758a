#include "db/worklistdb.h"

#include <array>
#include <utility>
#include <vector>

#include "db/dbinsert.h"
#include "db/sqldb.h"
#include "db/sqlquote.h"
#include "service/log.h"
#include "service/text.h"

namespace {
using Field = std::pair<const char*, std::string WorklistDB::*>;

// The columns of the Worklist table in table order, with the record field of each.
constexpr std::array<Field, 22> kColumns{{
    {"PatientID", &WorklistDB::PatientID},
    {"PatientName", &WorklistDB::PatientName},
    {"PatientBD", &WorklistDB::PatientBD},
    {"PatientSex", &WorklistDB::PatientSex},
    {"ReferringPhysician", &WorklistDB::ReferringPhysician},
    {"AccessionNumber", &WorklistDB::AccessionNumber},
    {"MedicalAlerts", &WorklistDB::MedicalAlerts},
    {"PatientState", &WorklistDB::PatientState},
    {"PatientTransport", &WorklistDB::PatientTransport},
    {"StudyInstanceUID", &WorklistDB::StudyInstanceUID},
    {"RequestedProcedureDescription", &WorklistDB::RequestedProcedureDescription},
    {"Modality", &WorklistDB::Modality},
    {"SPSDate", &WorklistDB::SPSDate},
    {"SPSTime", &WorklistDB::SPSTime},
    {"PerformingPhysician", &WorklistDB::PerformingPhysician},
    {"SPSDescription", &WorklistDB::SPSDescription},
    {"SPSID", &WorklistDB::SPSID},
    {"SPSStatus", &WorklistDB::SPSStatus},
    {"ScheduledStation", &WorklistDB::ScheduledStation},
    {"RequestedProcedureID", &WorklistDB::RequestedProcedureID},
    {"SOPInstanceUID", &WorklistDB::SOPInstanceUID},
    {"RequestedProcedurePriority", &WorklistDB::RequestedProcedurePriority},
}};

std::string KeyCondition(const std::string& accession) {
  return " WHERE AccessionNumber=" + SqlQuote(accession);
}
}  // namespace

int WorklistDB::Insert(SQLdb& db) {
  const std::pair<const std::string*, const char*> required[] = {
      {&PatientName, "ERROR, WorklistDB::Insert, Patient Name is empty"},
      {&PatientID, "ERROR, WorklistDB::Insert, Patient ID is empty"},
      {&AccessionNumber, "ERROR, WorklistDB::Insert, AccessionNumber is empty"},
      {&Modality, "ERROR, WorklistDB::Insert, Modality is empty"},
  };
  for (const auto& [field, line] : required) {
    if (field->empty()) {
      WriteLog(line);
      return -1;
    }
  }
  if (dbLocate(db, "Worklist", "AccessionNumber", AccessionNumber)) {
    WriteLog("WARNING, WorklistDB::Insert, Accession Number already used: " + AccessionNumber);
    return 1;
  }
  dbInsert insert;
  for (const auto& [column, field] : kColumns) insert.Add(column, this->*field);
  if (!insert.Execute(db, "Worklist")) {
    WriteLog("ERROR, WorklistDB::Insert, QueryString: " + insert.Statement + ", " + db.ErrorText);
    return -1;
  }
  return 0;
}

int WorklistDB::Update(SQLdb& db) {
  if (AccessionNumber.empty()) {
    WriteLog("ERROR, WorklistDB::Update, AccessionNumber can't be empty");
    return -1;
  }
  if (!dbLocate(db, "Worklist", "AccessionNumber", AccessionNumber)) {
    WriteLog("WARNING, WorklistDB::Update, AccessionNumber=" + AccessionNumber + ", does not exists");
    return 3;
  }
  std::string assignments;
  for (const auto& [column, field] : kColumns) {
    const std::string& value = this->*field;
    if (field == &WorklistDB::AccessionNumber || value.empty()) continue;
    if (!assignments.empty()) assignments += ", ";
    assignments += std::string(column) + "=" + SqlQuote(value);
  }
  if (assignments.empty()) return 0;
  if (db.Exec("UPDATE Worklist SET " + assignments + KeyCondition(AccessionNumber)) != 0) {
    WriteLog("ERROR, WorklistDB::Update, " + db.ErrorText);
    return -1;
  }
  WriteLog("INFO, WorklistDB::Update, Worklist updated for AccessionNumber=" + AccessionNumber);
  return 0;
}

bool WorklistDB::SetStatus(SQLdb& db, const std::string& status) {
  if (AccessionNumber.empty()) {
    WriteLog("ERROR, SetStatus, AccessionNumber can't be empty");
    return false;
  }
  if (!dbLocate(db, "Worklist", "AccessionNumber", AccessionNumber)) return false;
  if (db.Exec("UPDATE Worklist SET SPSStatus=" + SqlQuote(status) + KeyCondition(AccessionNumber)) !=
      0) {
    WriteLog("ERROR, WorklistDB::SetStatus, " + db.ErrorText);
    return false;
  }
  WriteLog("INFO, Status set to:" + status + " for AccessionNumber=" + AccessionNumber);
  return true;
}

int WorklistDB::Delete(SQLdb& db) {
  if (AccessionNumber.empty()) {
    WriteLog("ERROR, WorklistDB::Delete, Accession Number is empty");
    return -1;
  }
  std::vector<std::string> rows;
  if (db.Query("SELECT * FROM Worklist" + KeyCondition(AccessionNumber), rows) != 0) {
    WriteLog("ERROR, WorklistDB::Delete, " + db.ErrorText);
    return -1;
  }
  if (rows.empty()) {
    WriteLog("WARNING, WorklistDB::Delete, Accession Number does not exist, " + AccessionNumber);
    return 2;
  }
  if (db.Exec("DELETE FROM Worklist" + KeyCondition(AccessionNumber)) != 0) {
    WriteLog("ERROR, WorklistDB::Delete, " + db.ErrorText);
    return -1;
  }
  return 0;
}

bool WorklistDB::SelectScheduled(SQLdb& db, std::vector<WorklistDB>& entries) {
  std::vector<std::string> rows;
  if (db.Query("SELECT PatientID, AccessionNumber, SPSDate, SPSTime from Worklist WHERE SPSStatus=='SCHEDULED'",
               rows) != 0)
    return false;
  entries.reserve(entries.size() + rows.size());
  for (const std::string& row : rows) {
    WorklistDB& entry = entries.emplace_back();
    entry.PatientID = Piece(row, ";", 1);
    entry.AccessionNumber = Piece(row, ";", 2);
    entry.SPSDate = Piece(row, ";", 3);
    entry.SPSTime = Piece(row, ";", 4);
  }
  return true;
}
