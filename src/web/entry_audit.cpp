#include "web/entry_audit.h"

#include "db/worklist_columns.h"
#include "service/audit_trail.h"

namespace tarvelin {

void AuditEntryChange(const char* event, AuditAction action, const WorklistDB& before, const WorklistDB& after) {
  AuditEvent audit;
  audit.event = event;
  audit.action = action;
  audit.objectType = "accession";
  const WorklistDB& known = after.AccessionNumber.empty() ? before : after;  // a delete knows only the old entry
  audit.object = before.AccessionNumber.empty() ? after.AccessionNumber : before.AccessionNumber;
  audit.patientId = known.PatientID;
  audit.patientName = known.PatientName;
  for (const auto& [column, field] : kWorklistColumns)
    if (before.*field != after.*field) audit.changes.push_back({column, before.*field, after.*field});
  WriteAudit(audit);
}

WorklistDB StoredEntry(SQLdb& db, const std::string& accession) {
  WorklistDB entry;
  entry.AccessionNumber = accession;
  if (accession.empty() || !entry.Load(db)) return WorklistDB();
  return entry;
}

}  // namespace tarvelin
