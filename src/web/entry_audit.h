#pragma once
// The audit events of the web pages' changes to worklist entries: the
// fields that differ between the entry as it was and as it is now.
#include <string>

#include "db/worklistdb.h"
#include "service/audit_event.h"

namespace tarvelin {

class SQLdb;

// Writes `event` for the entry keyed by `before.AccessionNumber` (or, on a
// create, `after`'s): one change per column whose stored text differs.
// A create passes an empty `before`, a delete an empty `after`.
void AuditEntryChange(const char* event, AuditAction action, const WorklistDB& before, const WorklistDB& after);

// The stored row of `accession` (an empty record when there is none), read
// through `db` so it sees the caller's transaction.
WorklistDB StoredEntry(SQLdb& db, const std::string& accession);

}  // namespace tarvelin
