#include "db/worklist_listing.h"

#include <cstdint>
#include <cstdio>

#include "db/name_match.h"
#include "db/sqldb.h"
#include "db/sqlquote.h"
#include "db/worklist_columns.h"
#include "service/text.h"

namespace tarvelin {

namespace {
std::string Condition(const WorklistFilter& f) {
  std::string condition;
  const auto add = [&](const std::string& text) { condition += (condition.empty() ? " WHERE " : " AND ") + text; };
  if (!f.DateFrom.empty()) add("SPSDate >= " + SqlQuote(f.DateFrom));
  if (!f.DateTo.empty()) add("SPSDate <= " + SqlQuote(f.DateTo));
  if (!f.Status.empty()) add("SPSStatus = " + SqlQuote(f.Status));
  if (!f.Modality.empty()) add("Modality = " + SqlQuote(f.Modality));
  if (!f.Station.empty()) add("ScheduledStation = " + SqlQuote(f.Station));
  if (!f.PatientID.empty()) add("PatientID = " + SqlQuote(f.PatientID));
  if (!f.Family.empty() || !f.Given.empty())
    add("name_matches(PatientName, " + SqlQuote(f.Family) + ", " + SqlQuote(f.Given) + ")");
  return condition;
}

std::string OrderBy(WorklistOrder order, bool descending) {
  const char* first = "";
  switch (order) {
    case WorklistOrder::Start: break;
    case WorklistOrder::Name: first = "PatientName"; break;
    case WorklistOrder::PatientID: first = "PatientID"; break;
    case WorklistOrder::Accession: first = "AccessionNumber"; break;
    case WorklistOrder::Modality: first = "Modality"; break;
    case WorklistOrder::Station: first = "ScheduledStation"; break;
    case WorklistOrder::Status: first = "SPSStatus"; break;
    case WorklistOrder::Description: first = "SPSDescription"; break;
  }
  const std::string direction = descending ? " DESC" : "";
  std::string sql = " ORDER BY ";
  if (*first) sql += std::string(first) + direction + ", ";
  return sql + "SPSDate" + direction + ", SPSTime" + direction + ", AccessionNumber" + direction;
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

bool SelectEntries(SQLdb& db, const std::string& tail, std::vector<WorklistDB>& entries) {
  TextRows rows;
  if (db.QueryValues("SELECT " + WorklistColumnList() + " FROM Worklist" + tail, rows) != 0) return false;
  for (std::size_t r = 0; r < rows.Count(); ++r) {
    WorklistDB& entry = entries.emplace_back();
    for (std::size_t c = 0; c < kWorklistColumns.size(); ++c) entry.*kWorklistColumns[c].second = rows.Value(r, c);
  }
  return true;
}
}  // namespace

bool ListWorklist(SQLdb& db, const WorklistFilter& filter, WorklistOrder order, bool descending, int pageSize,
                  long long offset, ListedEntries& page) {
  page = ListedEntries();
  if (!RegisterNameMatch(db.Handle)) {
    db.ErrorText = "cannot register name_matches";
    return false;
  }
  const std::string condition = Condition(filter);
  std::vector<std::string> count;
  if (db.Query("SELECT COUNT(*) FROM Worklist" + condition, count) != 0 || count.empty()) return false;
  page.Total = ToIntDef(Piece(count[0], ";", 1), 0);
  if (page.Total == 0) return true;
  return SelectEntries(db,
                       condition + OrderBy(order, descending) + " LIMIT " + std::to_string(pageSize) + " OFFSET " +
                           std::to_string(offset),
                       page.Rows);
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
  std::vector<WorklistDB> entries;
  if (!SelectEntries(db,
                     " WHERE PatientID = " + SqlQuote(entry.PatientID) + " AND Modality = " + SqlQuote(entry.Modality) +
                         " AND SPSDate = " + SqlQuote(entry.SPSDate) + " AND IFNULL(SPSDescription, '') = " +
                         SqlQuote(entry.SPSDescription) + " ORDER BY AccessionNumber",
                     entries))
    return false;
  for (const auto& found : entries) accessions.push_back(found.AccessionNumber);
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
