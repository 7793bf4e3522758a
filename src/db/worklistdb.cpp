#include "db/worklistdb.h"

#include <set>
#include <utility>
#include <vector>

#include "db/sps_status.h"
#include "db/sql_savepoint.h"
#include "db/sqldb.h"
#include "db/worklist_columns.h"
#include "service/log.h"
#include "service/text.h"

namespace tarvelin {

namespace {
// Appends the condition that picks the entry with `accession`.
SqlStatement& WhereKey(SqlStatement& statement, const std::string& accession) {
  return statement.Add(" WHERE AccessionNumber=?", {accession});
}

// Columns an update never empties: the key, what every entry must have, and
// the two the status rule guards.
bool MayClear(const std::string& column) {
  static const std::set<std::string> kept{"AccessionNumber", "PatientID", "PatientName", "Modality",
                                          "SPSStatus", "StudyInstanceUID"};
  return kept.count(column) == 0;
}

// The stored status of an entry; false when there is no such row.
bool StoredStatus(SQLdb& db, const std::string& accession, std::string& status) {
  SqlStatement select{"SELECT SPSStatus FROM Worklist", {}};
  std::vector<std::string> rows;
  if (db.Query(WhereKey(select, accession), rows) != 0 || rows.empty()) return false;
  status = Piece(rows[0], ";", 1);
  return true;
}

// The assignment of one column of an update, with the status rule applied
// inside the statement (SET expressions see the row as it was); its one "?"
// takes `value`.
std::string Assignment(const std::string& column, const std::string& value, const StatusWriter& writer) {
  if (column == "SPSStatus" && !writer.administrator)
    return "SPSStatus=CASE WHEN " + StatusRankSql("SPSStatus") + " < " + std::to_string(StatusRank(value)) +
           " THEN ? ELSE SPSStatus END";
  // A started step's images already carry its Study Instance UID.
  if (column == "StudyInstanceUID")
    return "StudyInstanceUID=CASE WHEN SPSStatus='SCHEDULED' OR StudyInstanceUID='' THEN ? ELSE StudyInstanceUID END";
  return column + "=?";
}

void LogBackwardMove(const std::string& accession, const std::string& from, const std::string& to,
                     const StatusWriter& writer) {
  if (writer.administrator && from != to && !MovesForward(from, to))
    WriteLog("WARNING, Status of AccessionNumber=" + accession + " moved back from " + from + " to " + to +
             " by administrator " + writer.user);
}
}  // namespace

WriteResult WorklistDB::Insert(SQLdb& db) {
  const std::pair<const std::string*, const char*> required[] = {
      {&PatientName, "ERROR, WorklistDB::Insert, Patient Name is empty"},
      {&PatientID, "ERROR, WorklistDB::Insert, Patient ID is empty"},
      {&AccessionNumber, "ERROR, WorklistDB::Insert, AccessionNumber is empty"},
      {&Modality, "ERROR, WorklistDB::Insert, Modality is empty"},
  };
  for (const auto& [field, line] : required) {
    if (field->empty()) {
      WriteLog(line);
      return WriteResult::Invalid;
    }
  }
  // An empty status stays possible (an order file may leave it out); any
  // other text outside the four words would be a state no rule knows.
  if (!SPSStatus.empty() && !IsDefinedStatus(SPSStatus)) {
    WriteLog("ERROR, WorklistDB::Insert, AccessionNumber=" + AccessionNumber + ", not a status: " + SPSStatus);
    return WriteResult::Invalid;
  }
  // The key decides inside the one statement: of two senders inserting the
  // same accession number at once, exactly one inserts and the other is told.
  SqlStatement insert{"INSERT INTO Worklist (" + WorklistColumnList() + ") VALUES (", {}};
  for (const auto& [column, field] : kWorklistColumns) {
    insert.Text += insert.Values.empty() ? "?" : ", ?";
    insert.Values.push_back(this->*field);
  }
  insert.Text += ") ON CONFLICT DO NOTHING";
  if (db.Exec(insert) != 0) {
    WriteLog("ERROR, WorklistDB::Insert, QueryString: " + insert.Logged() + ", " + db.ErrorText);
    return WriteResult::Failed;
  }
  if (db.ChangedRows() == 0) {
    WriteLog("WARNING, WorklistDB::Insert, Accession Number already used: " + AccessionNumber);
    return WriteResult::AlreadyExists;
  }
  return WriteResult::Done;
}

WriteResult WorklistDB::Update(SQLdb& db, const StatusWriter& writer) {
  if (AccessionNumber.empty()) {
    WriteLog("ERROR, WorklistDB::Update, AccessionNumber can't be empty");
    return WriteResult::Invalid;
  }
  if (!SPSStatus.empty() && !IsDefinedStatus(SPSStatus)) {
    WriteLog("ERROR, WorklistDB::Update, AccessionNumber=" + AccessionNumber + ", not a status: " + SPSStatus);
    return WriteResult::Invalid;
  }
  SqlStatement update{"UPDATE Worklist SET ", {}};
  for (const auto& [column, field] : kWorklistColumns) {
    const std::string& value = this->*field;
    const bool clear = value.empty() && Cleared.count(column) != 0 && MayClear(column);
    if (field == &WorklistDB::AccessionNumber || (value.empty() && !clear)) continue;
    update.Add((update.Values.empty() ? "" : ", ") + Assignment(column, value, writer), {value});
  }
  // One unit holding the write lock: the UPDATE's changed rows say whether
  // the entry exists, and the status read around it is the one it changed.
  SQLSavepoint unit(db, "WorklistUpdate");
  if (!unit.Active()) {
    // Without the lock the look-up below could be stale by the write.
    WriteLog("ERROR, WorklistDB::Update, " + db.ErrorText);
    return WriteResult::Failed;
  }
  std::string before, after;
  const bool found = StoredStatus(db, AccessionNumber, before);
  if (!found && db.ResultCode != 0) {
    WriteLog("ERROR, WorklistDB::Update, " + db.ErrorText);
    return WriteResult::Failed;
  }
  if (!found || update.Values.empty()) {
    unit.Release();
    if (found) return WriteResult::Done;
    WriteLog("WARNING, WorklistDB::Update, AccessionNumber=" + AccessionNumber + ", does not exists");
    return WriteResult::NotFound;
  }
  if (db.Exec(WhereKey(update, AccessionNumber)) != 0 || !StoredStatus(db, AccessionNumber, after) || !unit.Release()) {
    WriteLog("ERROR, WorklistDB::Update, " + db.ErrorText);
    return WriteResult::Failed;
  }
  WriteLog("INFO, WorklistDB::Update, Worklist updated for AccessionNumber=" + AccessionNumber);
  if (!SPSStatus.empty()) {
    if (after != SPSStatus)
      WriteLog("WARNING, WorklistDB::Update, AccessionNumber=" + AccessionNumber + " keeps status " + after +
               ": " + SPSStatus + " would move it back");
    LogBackwardMove(AccessionNumber, before, after, writer);
  }
  return WriteResult::Done;
}

WriteResult WorklistDB::ChangeStatus(SQLdb& db, const std::string& status, const StatusWriter& writer,
                                     const std::string& requiredCurrent, std::string* previous) {
  if (AccessionNumber.empty()) {
    WriteLog("ERROR, SetStatus, AccessionNumber can't be empty");
    return WriteResult::Invalid;
  }
  if (!IsDefinedStatus(status)) {
    WriteLog("ERROR, SetStatus, AccessionNumber=" + AccessionNumber + ", not a status: " + status);
    return WriteResult::Invalid;
  }
  SQLSavepoint unit(db, "WorklistStatus");
  if (!unit.Active()) {
    WriteLog("ERROR, WorklistDB::SetStatus, " + db.ErrorText);
    return WriteResult::Failed;
  }
  std::string before;
  const bool found = StoredStatus(db, AccessionNumber, before);
  if (previous) *previous = before;
  // The rule is part of the statement, so a writer that races another one
  // can never move the row back, whatever it read before.
  SqlStatement update{"UPDATE Worklist SET SPSStatus=?", {status}};
  WhereKey(update, AccessionNumber).Add(" AND SPSStatus<>?", {status});
  if (!writer.administrator)
    update.Add(" AND " + StatusRankSql("SPSStatus") + " < " + std::to_string(StatusRank(status)));
  if (!requiredCurrent.empty()) update.Add(" AND SPSStatus=?", {requiredCurrent});
  if (db.Exec(update) != 0) {
    WriteLog("ERROR, WorklistDB::SetStatus, " + db.ErrorText);
    return WriteResult::Failed;
  }
  const bool changed = db.ChangedRows() > 0;
  if (!unit.Release()) {
    WriteLog("ERROR, WorklistDB::SetStatus, " + db.ErrorText);
    return WriteResult::Failed;
  }
  if (changed) {
    WriteLog("INFO, Status set to:" + status + " for AccessionNumber=" + AccessionNumber);
    LogBackwardMove(AccessionNumber, before, status, writer);
    return WriteResult::Done;
  }
  if (!found) return WriteResult::NotFound;
  if (before == status) return WriteResult::AlreadySo;
  WriteLog("WARNING, SetStatus, AccessionNumber=" + AccessionNumber + " keeps status " + before + ", " +
           (requiredCurrent.empty() ? status + " would move it back" : "no longer " + requiredCurrent));
  return WriteResult::Refused;
}

WriteResult WorklistDB::Delete(SQLdb& db, const std::string& requiredStatus) {
  if (AccessionNumber.empty()) {
    WriteLog("ERROR, WorklistDB::Delete, Accession Number is empty");
    return WriteResult::Invalid;
  }
  // The DELETE decides; only when it removed nothing is the row looked at,
  // to say why (of two deleting at once, one deletes and one hears "not found").
  SQLSavepoint unit(db, "WorklistDelete");
  if (!unit.Active()) {
    WriteLog("ERROR, WorklistDB::Delete, " + db.ErrorText);
    return WriteResult::Failed;
  }
  SqlStatement remove{"DELETE FROM Worklist", {}};
  WhereKey(remove, AccessionNumber);
  if (!requiredStatus.empty()) remove.Add(" AND SPSStatus=?", {requiredStatus});
  std::string status;
  const bool failed = db.Exec(remove) != 0;
  const bool deleted = !failed && db.ChangedRows() > 0;
  const bool present = !failed && !deleted && StoredStatus(db, AccessionNumber, status);
  if (failed || !unit.Release()) {
    WriteLog("ERROR, WorklistDB::Delete, " + db.ErrorText);
    return WriteResult::Failed;
  }
  if (deleted) return WriteResult::Done;
  if (present) return WriteResult::Refused;
  WriteLog("WARNING, WorklistDB::Delete, Accession Number does not exist, " + AccessionNumber);
  return WriteResult::NotFound;
}

bool WorklistDB::Load(SQLdb& db) {
  SqlStatement select{"SELECT " + WorklistColumnList() + " FROM Worklist", {}};
  TextRows rows;
  if (db.QueryValues(WhereKey(select, AccessionNumber), rows) != 0 || rows.Count() == 0)
    return false;
  for (std::size_t i = 0; i < kWorklistColumns.size(); ++i)
    this->*kWorklistColumns[i].second = std::string(rows.Value(0, i));
  return true;
}

bool WorklistDB::SelectScheduled(SQLdb& db, std::vector<WorklistDB>& entries) {
  std::vector<std::string> rows;
  if (db.Query("SELECT PatientID, AccessionNumber, SPSDate, SPSTime FROM Worklist WHERE SPSStatus='SCHEDULED'", rows) !=
      0)
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

}  // namespace tarvelin
