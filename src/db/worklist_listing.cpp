#include "db/worklist_listing.h"

#include <cstdint>
#include <cstdio>

#include "db/sqldb.h"
#include "db/worklist_columns.h"
#include "service/text.h"

namespace tarvelin {

namespace {
WorklistSelection SelectionOf(const WorklistFilter& f) {
  WorklistSelection selection;
  const auto add = [&](const char* column, WorklistCompare compare, const std::string& value) {
    if (!value.empty()) selection.Conditions.push_back({WorklistOperand::Column, column, compare, {value}});
  };
  add("SPSDate", WorklistCompare::AtLeast, f.DateFrom);
  add("SPSDate", WorklistCompare::AtMost, f.DateTo);
  add("SPSStatus", WorklistCompare::Equal, f.Status);
  add("Modality", WorklistCompare::Equal, f.Modality);
  add("ScheduledStation", WorklistCompare::Equal, f.Station);
  add("PatientID", WorklistCompare::Equal, f.PatientID);
  if (!f.Family.empty() || !f.Given.empty())
    selection.Conditions.push_back({WorklistOperand::Column, "PatientName", WorklistCompare::NameStarts, {f.Family, f.Given}});
  return selection;
}

void ReadEntries(const TextRows& rows, std::vector<WorklistDB>& entries) {
  for (std::size_t r = 0; r < rows.Count(); ++r) {
    WorklistDB& entry = entries.emplace_back();
    for (std::size_t c = 0; c < kWorklistColumns.size(); ++c) entry.*kWorklistColumns[c].second = rows.Value(r, c);
  }
}

bool Distinct(SQLdb& db, const char* column, std::vector<std::string>& values) {
  values.clear();
  TextRows rows;
  if (db.QueryValues(std::string("SELECT DISTINCT ") + column + " FROM Worklist WHERE " + column + " <> '' ORDER BY " +
                         column,
                     rows) != 0)
    return false;
  for (std::size_t r = 0; r < rows.Count(); ++r) values.emplace_back(rows.Value(r, 0));
  return true;
}

}  // namespace

bool ListWorklist(SQLdb& db, const WorklistFilter& filter, WorklistOrder order, bool descending, int pageSize,
                  long long offset, ListedEntries& page) {
  page = ListedEntries();
  WorklistSelection selection = SelectionOf(filter);
  page.Total = CountWorklist(db, selection);
  if (page.Total <= 0) return page.Total == 0;
  for (const auto& [column, field] : kWorklistColumns) selection.Columns.emplace_back(column);
  selection.Order = order;
  selection.Descending = descending;
  selection.Limit = pageSize;
  selection.Offset = offset;
  TextRows rows;
  if (!SelectWorklist(db, selection, rows)) return false;
  ReadEntries(rows, page.Rows);
  return true;
}

bool StoredModalities(SQLdb& db, std::vector<std::string>& codes) { return Distinct(db, "Modality", codes); }

bool StoredStations(SQLdb& db, std::vector<std::string>& stations) {
  return Distinct(db, "ScheduledStation", stations);
}

bool FindEntry(SQLdb& db, const std::string& accession, WorklistDB& entry) {
  WorklistDB found;
  found.AccessionNumber = accession;
  if (accession.empty() || !found.Load(db)) return false;
  entry = std::move(found);
  return true;
}

bool SameDayEntries(SQLdb& db, const WorklistDB& entry, std::vector<std::string>& accessions) {
  TextRows rows;
  if (db.QueryValues(SqlStatement{"SELECT AccessionNumber FROM Worklist WHERE PatientID = ? AND Modality = ? AND "
                                  "SPSDate = ? AND COALESCE(SPSDescription, '') = ? ORDER BY AccessionNumber",
                                  {entry.PatientID, entry.Modality, entry.SPSDate, entry.SPSDescription}},
                     rows) != 0)
    return false;
  for (std::size_t r = 0; r < rows.Count(); ++r) accessions.emplace_back(rows.Value(r, 0));
  return true;
}

std::string EntryFingerprint(const WorklistDB& entry) {
  // FNV-1a over every field, each ended by a byte no text field holds.
  std::uint64_t hash = 14695981039346656037ULL;
  for (const auto& [column, field] : kWorklistColumns) {
    for (const unsigned char c : entry.*field + '\x1f') {
      hash ^= c;
      hash *= 1099511628211ULL;
    }
  }
  char text[24];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

}  // namespace tarvelin
