#pragma once
// Saving an entry that staff edited in a form: all of its editable fields at
// once (an empty field clears the stored value), only when nobody changed the
// entry since the form showed it, and with its status moved only forward
// (SCHEDULED -> IN PROGRESS -> COMPLETED or DISCONTINUED) unless an
// administrator explicitly overrides, which is logged.
#include <string>

#include "db/worklistdb.h"

namespace tarvelin {

class SQLdb;

enum class EntrySave {
  Saved,
  NotFound,          // no entry with that accession number
  ChangedMeanwhile,  // the stored entry no longer has the fingerprint the form was made from
  StatusRefused,     // the status would move backwards without an override, or is no status word
  Failed,            // SQLite failed (db.ErrorText)
};

struct EntryEdit {
  WorklistDB Entry;         // AccessionNumber is the key; the editable fields are written
  std::string Fingerprint;  // EntryFingerprint of the entry the form showed
  std::string NewStatus;    // "" leaves the status as stored
  bool Override = false;    // an administrator's explicit status change
  std::string User;         // named in the log line of an override
};

// One transaction; the stored entry is read and written under the write lock.
// The fields are written by WorklistDB::Update, the one place that applies
// the status rule.
EntrySave SaveEditedEntry(SQLdb& db, const EntryEdit& edit);

}  // namespace tarvelin
