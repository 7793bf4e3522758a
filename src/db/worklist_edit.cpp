#include "db/worklist_edit.h"

#include "db/sps_status.h"
#include "db/sql_transaction.h"
#include "db/sqldb.h"
#include "db/worklist_listing.h"
#include "service/log.h"

namespace tarvelin {

namespace {
// The fields an edit form shows; an empty one clears the stored value.
constexpr std::pair<const char*, std::string WorklistDB::*> kEditable[] = {
    {"PatientID", &WorklistDB::PatientID},
    {"PatientName", &WorklistDB::PatientName},
    {"PatientBD", &WorklistDB::PatientBD},
    {"PatientSex", &WorklistDB::PatientSex},
    {"Modality", &WorklistDB::Modality},
    {"ReferringPhysician", &WorklistDB::ReferringPhysician},
    {"SPSDescription", &WorklistDB::SPSDescription},
    {"SPSDate", &WorklistDB::SPSDate},
    {"SPSTime", &WorklistDB::SPSTime},
};
}  // namespace

EntrySave SaveEditedEntry(SQLdb& db, const EntryEdit& edit) {
  SQLTransaction transaction(db);
  // The fingerprint and the status rule are judged on what is read here, so
  // the write lock must be held from this read to the write.
  if (!transaction.Active()) {
    WriteLog("ERROR, SaveEditedEntry, " + db.ErrorText);
    return EntrySave::Failed;
  }
  WorklistDB stored;
  if (!FindEntry(db, edit.Entry.AccessionNumber, stored))
    return db.ResultCode == 0 ? EntrySave::NotFound : EntrySave::Failed;
  if (EntryFingerprint(stored) != edit.Fingerprint) return EntrySave::ChangedMeanwhile;
  const bool statusChanges = !edit.NewStatus.empty() && edit.NewStatus != stored.SPSStatus;
  if (statusChanges && (!IsDefinedStatus(edit.NewStatus) ||
                        (!MovesForward(stored.SPSStatus, edit.NewStatus) && !edit.Override)))
    return EntrySave::StatusRefused;

  WorklistDB change;
  change.AccessionNumber = stored.AccessionNumber;
  for (const auto& [column, field] : kEditable) {
    change.*field = edit.Entry.*field;
    if (change.*field == "") change.Cleared.insert(column);
  }
  if (statusChanges) change.SPSStatus = edit.NewStatus;
  const StatusWriter writer = edit.Override ? StatusWriter::Administrator(edit.User) : StatusWriter::Workflow();
  // The entry's presence and the status were judged above under this lock,
  // so anything but Done is a failed statement.
  if (change.Update(db, writer) == WriteResult::Done && transaction.Commit()) return EntrySave::Saved;
  WriteLog("ERROR, SaveEditedEntry, " + db.ErrorText);
  return EntrySave::Failed;
}

}  // namespace tarvelin
