#pragma once
// The worklist as staff browse it: one page of the entries a filter selects,
// in a chosen order, with the total; the values the filters offer; one entry
// by its key. Read-only; the caller opens the connection.
#include <string>
#include <vector>

#include "db/worklist_selection.h"
#include "db/worklistdb.h"

namespace tarvelin {

class SQLdb;

// The web list's filter form; where a value is empty it does not restrict.
// Asked through the same selection as the worklist answer (db/worklist_selection.h).
struct WorklistFilter {
  std::string DateFrom{}, DateTo{};  // yyyymmdd, inclusive
  std::string Status{}, Modality{}, Station{}, PatientID{};  // exact
  std::string Family{}, Given{};     // name prefixes, any letter case (see NameMatches)
};

struct ListedEntries {
  long long Total = 0;            // entries the filter selects
  std::vector<WorklistDB> Rows;   // the page asked for
};

// One page of `pageSize` entries from `offset`. False (db.ErrorText) when a
// query failed.
bool ListWorklist(SQLdb& db, const WorklistFilter& filter, WorklistOrder order, bool descending, int pageSize,
                  long long offset, ListedEntries& page);

// The distinct non-empty values stored in Modality or ScheduledStation, sorted.
bool StoredModalities(SQLdb& db, std::vector<std::string>& codes);
bool StoredStations(SQLdb& db, std::vector<std::string>& stations);

// The entry with this accession number (WorklistDB::Load); false when there
// is none or the query failed.
bool FindEntry(SQLdb& db, const std::string& accession, WorklistDB& entry);

// The accession numbers of entries for the same patient, modality and
// procedure description on the same start date as `entry`.
bool SameDayEntries(SQLdb& db, const WorklistDB& entry, std::vector<std::string>& accessions);

// A short fingerprint of every stored field of an entry, to tell whether it
// changed between showing a form and saving it (stable across restarts).
std::string EntryFingerprint(const WorklistDB& entry);

}  // namespace tarvelin
