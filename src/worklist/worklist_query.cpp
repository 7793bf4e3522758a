#include "worklist/worklist_query.h"

#include <algorithm>
#include <cstring>

#include "db/sqldb.h"
#include "db/sqlquote.h"
#include "dicom/dump.h"
#include "service/log.h"
#include "service/settings.h"
#include "service/text.h"

namespace {

enum class Match { None, Equal, Prefix, Station, Date };

struct WorklistKey {
  std::uint16_t Group;
  std::uint16_t Element;
  const char* Columns;  // each followed by ", " in the column list
  const char* Column;   // the column a condition tests
  Match Kind;
};

// The attributes a worklist identifier can name, and what each adds.
constexpr WorklistKey WorklistKeys[] = {
    {0x0008, 0x0050, "AccessionNumber, ", "AccessionNumber", Match::Equal},
    {0x0008, 0x0060, "Modality, ", "Modality", Match::Equal},
    {0x0008, 0x0090, "ReferringPhysician, ", "ReferringPhysician", Match::Prefix},
    {0x0010, 0x0010, "PatientName, ", "PatientName", Match::Prefix},
    {0x0010, 0x0020, "PatientID, ", "PatientID", Match::Prefix},
    {0x0010, 0x0030, "PatientBD, ", "", Match::None},
    {0x0010, 0x0040, "PatientSex, ", "", Match::None},
    {0x0010, 0x2000, "MedicalAlerts, ", "", Match::None},
    {0x0010, 0x4000, "PatientState, ", "", Match::None},
    {0x0020, 0x000D, "StudyInstanceUID, ", "StudyInstanceUID", Match::Equal},
    {0x0032, 0x1060, "SPSDescription, RequestedProcedureDescription, ", "", Match::None},
    {0x0040, 0x0001, "ScheduledStation, ", "ScheduledStation", Match::Station},
    {0x0040, 0x0002, "SPSDate, ", "SPSDate", Match::Date},
    {0x0040, 0x0003, "SPSTime, ", "", Match::None},  // times never restrict
    {0x0040, 0x0006, "PerformingPhysician, ", "", Match::None},
    {0x0040, 0x0007, "SPSDescription, ", "", Match::None},
    {0x0040, 0x0009, "SPSID, ", "", Match::None},
    {0x0040, 0x1001, "RequestedProcedureID, ", "", Match::None},
    {0x0040, 0x1003, "RequestedProcedurePriority, ", "", Match::None},
    {0x0040, 0x1004, "PatientTransport, ", "", Match::None},
};

const WorklistKey* FindKey(const DcmTag& element) {
  for (const WorklistKey& key : WorklistKeys)
    if (element.Is(key.Group, key.Element)) return &key;
  return nullptr;
}

// The condition of one key with a non-empty value, without its leading
// " WHERE " / " AND "; "" when the key does not restrict.
std::string KeyCondition(const WorklistKey& key, const std::string& value) {
  switch (key.Kind) {
    case Match::Equal:
      return std::string(key.Column) + " = " + SqlQuote(value);
    case Match::Prefix:
      return std::string(key.Column) + " LIKE " + SqlQuote(value + "%");
    case Match::Station:
      if (!ServerSettings.FilterByAET) return "";
      return std::string(key.Column) + " = " + SqlQuote(value);
    case Match::Date:
      return DateCondition(value);
    case Match::None:
      break;
  }
  return "";
}

}  // namespace

std::string PrepareMatchValue(const DcmTag& element) {
  if (!element.HasValue()) return "";
  const char* bytes = reinterpret_cast<const char*>(element.Data.data());
  std::string value(bytes, strnlen(bytes, element.Data.size()));
  // A wildcard "*" at the end may be followed by the pad byte of an even length.
  auto n = value.size();
  if (n >= 2 && value[n - 2] == '*' && (value[n - 1] == ' ' || value[n - 1] == '\0')) value.pop_back();
  if (!value.empty() && value.back() == '*') value.pop_back();
  if (!value.empty() && value.back() == '*') value.pop_back();
  return Trim(value);
}

std::string DateCondition(const std::string& value) {
  const auto dash = value.find('-');
  if (dash == std::string::npos) return " SPSDate = " + SqlQuote(value);
  if (dash == 0) return " SPSDate <= " + SqlQuote(TrimLeft(value.substr(1)));
  const std::string from = TrimRight(value.substr(0, dash));
  const std::string to = TrimLeft(Piece(value, "-", 2));
  if (Piece(value, "-", 2).empty()) return " SPSDate >= " + SqlQuote(from);
  return " SPSDate >= " + SqlQuote(from) + " AND SPSDate <= " + SqlQuote(to);
}

void BuildWorklistSelect(const DcmObj& dataset, std::string& columns,
                         std::string& conditions, bool& whereWritten) {
  for (const DcmEntry& entry : dataset.Entries) {
    // A sequence item's keys count like top-level ones.
    if (entry.IsObj()) {
      BuildWorklistSelect(*entry.Obj, columns, conditions, whereWritten);
      continue;
    }
    const DcmTag& element = *entry.Tag;
    const std::string value = PrepareMatchValue(element);
    if (!value.empty() && DebugLogOn()) WriteLog("INFO, " + DumpLine(element, 0));
    const WorklistKey* key = FindKey(element);
    if (!key) continue;
    columns += key->Columns;
    if (value.empty()) continue;
    const std::string condition = KeyCondition(*key, value);
    if (condition.empty()) continue;
    conditions += whereWritten ? " AND " : " WHERE ";
    conditions += condition;
    whereWritten = true;
  }
}

std::string WorklistSelect(const DcmObj& identifier, const std::string& filterLine,
                           std::string& columns) {
  columns.clear();
  std::string conditions;
  bool whereWritten = false;
  BuildWorklistSelect(identifier, columns, conditions, whereWritten);
  if (columns.size() >= 2) columns.resize(columns.size() - 2);  // the final ", "
  if (conditions.empty())
    conditions = "WHERE SPSStatus='SCHEDULED'";
  else
    conditions += " AND SPSStatus='SCHEDULED'";
  if (!filterLine.empty()) {
    // A line without a modality field asks for an empty modality: the
    // station then sees nothing, which is how a station is shut out.
    conditions += " AND ScheduledStation=" + SqlQuote(Piece(filterLine, "|", 1));
    conditions += " AND Modality=" + SqlQuote(Piece(filterLine, "|", 2));
  }
  if (columns.empty()) columns = '*';
  return "SELECT " + columns + " from Worklist " + conditions + " ORDER BY PatientName";
}

bool WLQuery(const DcmObj& identifier, TextRows& rows, std::string& columns, const std::string& filterLine) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  if (!db.IsOpen) {
    WriteLog("ERROR, Couldn't open quillat database");
    return false;
  }
  const std::string sql = WorklistSelect(identifier, filterLine, columns);
  WriteLog("INFO, WLQuery=" + sql);
  if (db.QueryValues(sql, rows) != 0) {
    WriteLog("ERROR, WLQuery, " + db.ErrorText);
    return false;
  }
  // Modalities have always seen ":" where a stored value holds ";" (the
  // separator of the row text the answers were once cut from).
  rows.Replace(';', ':');
  WriteLog("INFO, WLQuery Count=" + std::to_string(rows.Count()));
  return true;
}
