#pragma once
// One row of the Worklist table (one scheduled procedure step, keyed by its
// accession number). An empty field means "no value".
#include <set>
#include <string>
#include <vector>

#include "db/status_writer.h"
#include "db/write_result.h"

namespace tarvelin {

class SQLdb;

class WorklistDB {
 public:
  std::string PatientID;
  std::string PatientName;
  std::string PatientBD;
  std::string PatientSex;
  std::string ReferringPhysician;
  std::string AccessionNumber;
  std::string MedicalAlerts;
  std::string PatientState;
  std::string PatientTransport;
  std::string StudyInstanceUID;
  std::string RequestedProcedureDescription;
  std::string Modality;
  std::string SPSDate;
  std::string SPSTime;
  std::string PerformingPhysician;
  std::string SPSDescription;
  std::string SPSID;
  std::string SPSStatus;
  std::string ScheduledStation;
  std::string RequestedProcedureID;
  std::string SOPInstanceUID;
  std::string RequestedProcedurePriority;

  // Columns an Update empties (a field the sender cleared explicitly); any
  // other empty field keeps its stored value. The accession number, patient
  // ID and name, modality, status and Study Instance UID are never emptied.
  std::set<std::string> Cleared;

  // Done; AlreadyExists when the accession number is taken (nothing
  // written); Invalid when a required field (PatientName, PatientID,
  // AccessionNumber, Modality) is empty or SPSStatus is neither empty nor a
  // defined status word; Failed when the statement failed.
  WriteResult Insert(SQLdb& db);
  // Writes every non-empty field and empties the Cleared ones. The status
  // rule holds: for a workflow writer SPSStatus only moves forward (a backward
  // status is kept and logged, and the update is still Done) and, for every
  // writer, the Study Instance UID of a step that is no longer SCHEDULED never
  // changes. Done (also when there is nothing to write); NotFound; Invalid for
  // an empty accession number or a status that is no defined word; Failed.
  WriteResult Update(SQLdb& db, const StatusWriter& writer = StatusWriter::Workflow());
  // Sets SPSStatus of the row under the status rule, decided by the one
  // UPDATE that touches the row. With `requiredCurrent` the row must still
  // hold that status (a pass that read it earlier must not overrule a
  // modality that started the step meanwhile). `before` receives the status
  // the row held. Done; AlreadySo; NotFound; Refused by the rule or by
  // `requiredCurrent`; Invalid for an empty accession number or a status
  // that is no defined word; Failed.
  WriteResult ChangeStatus(SQLdb& db, const std::string& status,
                           const StatusWriter& writer = StatusWriter::Workflow(),
                           const std::string& requiredCurrent = "", std::string* before = nullptr);
  // Done; NotFound; Refused when the row is not in `requiredStatus` (when
  // one is given; nothing deleted, nothing logged); Invalid for an empty
  // accession number; Failed. The status condition is part of the DELETE,
  // so a step that starts meanwhile is never deleted.
  WriteResult Delete(SQLdb& db, const std::string& requiredStatus = "");
  // Fills every field from the row of AccessionNumber. False when there is
  // no such row or the query failed.
  bool Load(SQLdb& db);

  // Every entry whose SPSStatus is SCHEDULED, with PatientID,
  // AccessionNumber, SPSDate and SPSTime filled (the fields ageing needs).
  // False when the query failed (logged).
  static bool SelectScheduled(SQLdb& db, std::vector<WorklistDB>& entries);
};

}  // namespace tarvelin
