#include "db/performed_step_db.h"

#include <functional>

#include "db/bytes_column.h"
#include "db/sps_status.h"
#include "db/sql_savepoint.h"
#include "db/sqldb.h"
#include "db/worklistdb.h"
#include "platform/clock.h"
#include "service/log.h"
#include "service/text.h"

namespace tarvelin {

namespace {

std::string Stamp() {
  std::tm t = LocalTime(Now());
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &t);
  return text;
}

PerformedStepResult Fail(SQLdb& db, const char* where) {
  WriteLog(std::string("ERROR, ") + where + ", " + db.ErrorText);
  return PerformedStepResult::Failed;
}

// The worklist entries a reference names.
bool MatchingEntries(SQLdb& db, const ScheduledStepRef& ref, std::vector<std::string>& accessions) {
  if (ref.AccessionNumber.empty()) return true;  // unscheduled: nothing to link
  SqlStatement select{"SELECT AccessionNumber FROM Worklist WHERE AccessionNumber=?", {ref.AccessionNumber}};
  if (!ref.SPSID.empty()) select.Add(" AND SPSID=?", {ref.SPSID});
  if (!ref.StudyInstanceUID.empty()) select.Add(" AND StudyInstanceUID=?", {ref.StudyInstanceUID});
  TextRows rows;
  if (db.QueryValues(select, rows) != 0) return false;
  for (std::size_t i = 0; i < rows.Count(); ++i) accessions.emplace_back(rows.Value(i, 0));
  return true;
}

// Entries whose steps are all finished take the outcome of their steps.
bool FinishEntries(SQLdb& db, const std::string& uid) {
  TextRows rows;
  const SqlStatement steps{"SELECT l.AccessionNumber, SUM(CASE WHEN p.Status=? THEN 1 ELSE 0 END), "
                           "SUM(CASE WHEN p.Status=? THEN 1 ELSE 0 END) FROM PerformedStepEntries l "
                           "JOIN PerformedStepEntries m ON m.AccessionNumber=l.AccessionNumber "
                           "JOIN PerformedSteps p ON p.SOPInstanceUID=m.SOPInstanceUID "
                           "WHERE l.SOPInstanceUID=? GROUP BY l.AccessionNumber",
                           {kInProgress, kCompleted, uid}};
  if (db.QueryValues(steps, rows) != 0) return false;
  for (std::size_t i = 0; i < rows.Count(); ++i) {
    if (rows.Value(i, 1) != "0") continue;  // another step of this entry still runs
    WorklistDB entry;
    entry.AccessionNumber = std::string(rows.Value(i, 0));
    // An entry already final (set by an order meanwhile) keeps its status:
    // only a failed statement undoes the step's change.
    if (entry.ChangeStatus(db, rows.Value(i, 2) != "0" ? kCompleted : kDiscontinued) == WriteResult::Failed)
      return false;
  }
  return true;
}

}  // namespace

PerformedStepResult PerformedStepDB::Create(SQLdb& db, const PerformedStep& step,
                                            const std::vector<ScheduledStepRef>& refs,
                                            std::vector<std::string>& linked) {
  SQLSavepoint unit(db, "PerformedStepCreate");
  if (!unit.Active()) return Fail(db, "CreateMPPS Query");
  // The key decides: of two N-CREATEs of one instance, exactly one inserts.
  const std::string now = Stamp();
  SqlStatement insert{"INSERT INTO PerformedSteps (SOPInstanceUID, Status, TransferSyntax, DataSet, Created, "
                      "Updated) VALUES (?, ?, ?, ",
                      {step.SOPInstanceUID, kInProgress, step.TransferSyntax}};
  AddBytes(db, insert, step.DataSet);
  insert.Add(", ?, ?) ON CONFLICT DO NOTHING", {now, now});
  if (db.Exec(insert) != 0) return Fail(db, "CreateMPPS Query");
  if (db.ChangedRows() == 0) return PerformedStepResult::AlreadyExists;
  std::vector<std::string> accessions;
  for (const ScheduledStepRef& ref : refs)
    if (!MatchingEntries(db, ref, accessions)) return Fail(db, "CreateMPPS Query");
  linked.clear();
  for (const std::string& accession : accessions) {
    const SqlStatement link{
        "INSERT INTO PerformedStepEntries (SOPInstanceUID, AccessionNumber) VALUES (?, ?) ON CONFLICT DO NOTHING",
        {step.SOPInstanceUID, accession}};
    if (db.Exec(link) != 0) return Fail(db, "CreateMPPS Query");
    if (db.ChangedRows() == 0) continue;  // named twice
    linked.push_back(accession);
    // The column keeps the step that started the entry.
    const SqlStatement start{"UPDATE Worklist SET SOPInstanceUID=? WHERE AccessionNumber=? AND SOPInstanceUID=''",
                             {step.SOPInstanceUID, accession}};
    if (db.Exec(start) != 0) return Fail(db, "CreateMPPS Query");
    WorklistDB entry;
    entry.AccessionNumber = accession;
    // An entry an order already ended stays ended; the step is kept all the same.
    if (entry.ChangeStatus(db, kInProgress) == WriteResult::Failed) return Fail(db, "CreateMPPS Query");
  }
  if (!unit.Release()) return Fail(db, "CreateMPPS Query");
  return PerformedStepResult::Done;
}

PerformedStepResult PerformedStepDB::Load(SQLdb& db, const std::string& sopInstanceUID, PerformedStep& step) {
  TextRows rows;
  const SqlStatement select{"SELECT Status, TransferSyntax, " + HexOfBytes(db, "DataSet") +
                                " FROM PerformedSteps WHERE SOPInstanceUID=?",
                            {sopInstanceUID}};
  if (db.QueryValues(select, rows) != 0) return Fail(db, "SetMPPS Query");
  if (rows.Count() == 0) return PerformedStepResult::NotFound;
  step.SOPInstanceUID = sopInstanceUID;
  step.Status = std::string(rows.Value(0, 0));
  step.TransferSyntax = std::string(rows.Value(0, 1));
  step.DataSet = FromHex(std::string(rows.Value(0, 2)));
  return PerformedStepResult::Done;
}

PerformedStepResult PerformedStepDB::Change(SQLdb& db, const std::string& sopInstanceUID,
                                            const std::function<PerformedStepResult(PerformedStep&)>& edit) {
  // The write lock is held from the read to the write, so two N-SETs of one
  // step take turns: neither merges into attributes the other has replaced.
  SQLSavepoint unit(db, "PerformedStepChange");
  if (!unit.Active()) return Fail(db, "SetMPPS Query");
  PerformedStep step;
  PerformedStepResult result = Load(db, sopInstanceUID, step);
  if (result == PerformedStepResult::Done) result = edit(step);
  if (result == PerformedStepResult::Done) result = Update(db, step);
  if (result == PerformedStepResult::Done && !unit.Release()) return Fail(db, "SetMPPS Query");
  return result;
}

PerformedStepResult PerformedStepDB::Update(SQLdb& db, const PerformedStep& step) {
  SQLSavepoint unit(db, "PerformedStepUpdate");
  if (!unit.Active()) return Fail(db, "SetMPPS Query");
  SqlStatement update{"UPDATE PerformedSteps SET Status=?, DataSet=", {step.Status}};
  AddBytes(db, update, step.DataSet);
  update.Add(", Updated=? WHERE SOPInstanceUID=? AND Status=?", {Stamp(), step.SOPInstanceUID, kInProgress});
  if (db.Exec(update) != 0) return Fail(db, "SetMPPS Query");
  if (db.ChangedRows() == 0) {
    std::vector<std::string> rows;
    if (db.Query(SqlStatement{"SELECT 1 FROM PerformedSteps WHERE SOPInstanceUID=?", {step.SOPInstanceUID}}, rows) != 0)
      return Fail(db, "SetMPPS Query");
    return rows.empty() ? PerformedStepResult::NotFound : PerformedStepResult::Finished;
  }
  if (step.Status != kInProgress && !FinishEntries(db, step.SOPInstanceUID)) return Fail(db, "SetMPPS Query");
  if (!unit.Release()) return Fail(db, "SetMPPS Query");
  return PerformedStepResult::Done;
}

}  // namespace tarvelin
