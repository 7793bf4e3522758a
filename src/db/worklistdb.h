#pragma once
// One row of the Worklist table (one scheduled procedure step, keyed by its
// accession number). An empty field means "no value".
#include <string>
#include <vector>

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

  // 0 inserted; 1 accession number already present (nothing written);
  // -1 a required field (PatientName, PatientID, AccessionNumber, Modality)
  // is empty or the statement failed.
  int Insert(SQLdb& db);
  // Writes every non-empty field. 0 updated (or nothing to update);
  // 3 accession number not found; -1 empty accession number or failure.
  int Update(SQLdb& db);
  // True when the row was found and its SPSStatus set to `status`.
  bool SetStatus(SQLdb& db, const std::string& status);
  // 0 deleted; 2 accession number not found; -1 empty accession number or failure.
  int Delete(SQLdb& db);

  // Every entry whose SPSStatus is SCHEDULED, with PatientID,
  // AccessionNumber, SPSDate and SPSTime filled (the fields ageing needs).
  // False when the query failed (logged).
  static bool SelectScheduled(SQLdb& db, std::vector<WorklistDB>& entries);
};
