#include "worklist/worklist_query.h"

#include "db/sqldb.h"
#include "dicom/dump.h"
#include "dimse/command_set.h"
#include "service/log.h"
#include "service/settings.h"
#include "service/text.h"
#include "worklist/match_value.h"

namespace tarvelin {

namespace {

enum class Match {
  None,       // a return key only: a value sent restricts nothing
  Text,       // single value or wildcard, case-sensitive
  Name,       // single value or wildcard, letters without case
  Uids,       // list of UID matching
  Date,       // single date or date range
  StepDate,   // a date range that pairs with the step's start time
  StepTime,   // a time range that pairs with the step's start date
  Station,    // as Text, only with FilterByAET; otherwise a return key
};

struct WorklistKey {
  std::uint16_t Group;
  std::uint16_t Element;
  const char* Columns;  // each followed by ", " in the column list
  const char* Column;   // the column a condition tests
  Match Kind;
};

// The attributes a worklist identifier can name, and how each matches.
constexpr WorklistKey WorklistKeys[] = {
    {0x0008, 0x0050, "AccessionNumber, ", "AccessionNumber", Match::Text},
    {0x0008, 0x0060, "Modality, ", "Modality", Match::Text},
    {0x0008, 0x0090, "ReferringPhysician, ", "ReferringPhysician", Match::Name},
    {0x0010, 0x0010, "PatientName, ", "PatientName", Match::Name},
    {0x0010, 0x0020, "PatientID, ", "PatientID", Match::Text},
    {0x0010, 0x0030, "PatientBD, ", "PatientBD", Match::Date},
    {0x0010, 0x0040, "PatientSex, ", "PatientSex", Match::Text},
    {0x0010, 0x2000, "MedicalAlerts, ", "", Match::None},
    {0x0010, 0x4000, "PatientState, ", "", Match::None},
    {0x0020, 0x000D, "StudyInstanceUID, ", "StudyInstanceUID", Match::Uids},
    {0x0032, 0x1060, "SPSDescription, RequestedProcedureDescription, ", "", Match::None},
    {0x0040, 0x0001, "ScheduledStation, ", "ScheduledStation", Match::Station},
    {0x0040, 0x0002, "SPSDate, ", "SPSDate", Match::StepDate},
    {0x0040, 0x0003, "SPSTime, ", "SPSTime", Match::StepTime},
    {0x0040, 0x0006, "PerformingPhysician, ", "PerformingPhysician", Match::Name},
    {0x0040, 0x0007, "SPSDescription, ", "", Match::None},
    {0x0040, 0x0009, "SPSID, ", "SPSID", Match::Text},
    {0x0040, 0x0010, "ScheduledStation, ", "", Match::None},
    {0x0040, 0x0020, "SPSStatus, ", "SPSStatus", Match::Text},
    {0x0040, 0x1001, "RequestedProcedureID, ", "RequestedProcedureID", Match::Text},
    {0x0040, 0x1003, "RequestedProcedurePriority, ", "", Match::None},
    {0x0040, 0x1004, "PatientTransport, ", "", Match::None},
};

const WorklistKey* FindKey(const DcmTag& element) {
  for (const WorklistKey& key : WorklistKeys)
    if (element.Is(key.Group, key.Element)) return &key;
  return nullptr;
}

ValueKind KindOf(Match match) {
  switch (match) {
    case Match::Name:
      return ValueKind::PersonName;
    case Match::Uids:
      return ValueKind::UidList;
    case Match::Date:
    case Match::StepDate:
      return ValueKind::Date;
    case Match::StepTime:
      return ValueKind::Time;
    default:
      return ValueKind::Text;
  }
}

WorklistCondition Condition(WorklistOperand operand, const std::string& column, WorklistCompare compare,
                            std::vector<std::string> values = {}) {
  return {operand, column, compare, std::move(values)};
}

// An entry without a value is in no range, not even one open below.
void AddRange(std::vector<WorklistCondition>& conditions, WorklistOperand operand, const std::string& column,
              const MatchValue& value) {
  if (value.Low.empty())
    conditions.push_back(Condition(operand, column, WorklistCompare::NotEmpty));
  else
    conditions.push_back(Condition(operand, column, WorklistCompare::AtLeast, {value.Low}));
  if (!value.High.empty()) conditions.push_back(Condition(operand, column, WorklistCompare::AtMost, {value.High}));
}

void AddCondition(std::vector<WorklistCondition>& conditions, Match kind, const std::string& column,
                  const MatchValue& value) {
  // Names compare without their trailing empty components, letters upper-cased.
  const WorklistOperand stored = kind == Match::Name ? WorklistOperand::FoldedName : WorklistOperand::Column;
  switch (value.Form) {
    case MatchForm::Universal:
      return;
    case MatchForm::Single:
      conditions.push_back(Condition(stored, column, WorklistCompare::Equal, {value.Text}));
      return;
    case MatchForm::Wildcard:
      conditions.push_back(Condition(stored, column, WorklistCompare::Wildcard, {value.Text}));
      return;
    case MatchForm::UidList:
      conditions.push_back(Condition(WorklistOperand::Column, column, WorklistCompare::OneOf, value.Uids));
      return;
    case MatchForm::Range:
      AddRange(conditions, WorklistOperand::Column, column, value);
      return;
  }
}

// The step's start date and time match as one date-time range when both
// are given: "20270108-20270109" with "1400-" is "from 8 January 14:00".
void AddStepStart(std::vector<WorklistCondition>& conditions, const MatchValue& date, const MatchValue& time) {
  if (date.Form == MatchForm::Universal) {
    if (time.Form != MatchForm::Universal) AddRange(conditions, WorklistOperand::StepTime, "", time);
    return;
  }
  AddRange(conditions, WorklistOperand::Column, "SPSDate", date);  // keeps the date index in use
  if (time.Form == MatchForm::Universal) return;
  MatchValue combined;
  combined.Low = date.Low.empty() ? "" : date.Low + (time.Low.empty() ? "000000" : time.Low);
  combined.High = date.High.empty() ? "" : date.High + (time.High.empty() ? "999999" : time.High);
  AddRange(conditions, WorklistOperand::StepStart, "", combined);
}

struct Translation {
  std::string columns;
  std::vector<WorklistCondition> conditions;
  MatchValue stepDate, stepTime;
  WorklistQuery& query;
  Transcoder* keys;
};

// Reads a key's value in the stored text's set. False, with the refusal
// set, when it is not text of the request's set; `unmatchable` when it
// holds characters no stored value can hold.
bool StoredForm(Translation& t, const DcmTag& element, std::string& text, bool& unmatchable) {
  unmatchable = false;
  if (!t.keys) return true;
  std::string converted;
  const Transcoder::Outcome outcome = t.keys->Convert(text, converted);
  if (!outcome.Valid) {
    t.query.Refusal = {Cmd::UnableToProcess, "value is not text of the request's character set",
                       TagNumber(element.Group, element.Element)};
    return false;
  }
  unmatchable = outcome.Replaced > 0;
  text = converted;
  return true;
}

// Walks `dataset` (sequence items included: the one step of an entry is
// matched like its other attributes). False once a value is refused.
bool Walk(const DcmObj& dataset, Translation& t) {
  for (const DcmEntry& entry : dataset.Entries) {
    if (entry.IsObj()) {
      if (!Walk(*entry.Obj, t)) return false;
      continue;
    }
    const DcmTag& element = *entry.Tag;
    std::string text = KeyText(element);
    if (!text.empty() && DebugLogOn()) WriteLog("INFO, " + DumpLine(element, 0));
    const WorklistKey* key = FindKey(element);
    if (key) t.columns += key->Columns;
    if (!element.HasValue() || element.Element == 0x0000 || element.Is(0x0008, 0x0005)) continue;
    const bool matched = key && key->Kind != Match::None && (key->Kind != Match::Station || ServerSettings.FilterByAET);
    if (!matched) {
      // The configured station key is left out on purpose, not unsupported.
      if (!(key && key->Kind == Match::Station)) t.query.Unsupported.push_back(TagNumber(element.Group, element.Element));
      continue;
    }
    bool unmatchable = false;
    if (!StoredForm(t, element, text, unmatchable)) return false;
    if (unmatchable) {
      // "?" in its place would be a wildcard: such a key finds nothing.
      t.conditions.push_back(Condition(WorklistOperand::Column, "", WorklistCompare::Nothing));
      continue;
    }
    MatchValue value;
    std::string error;
    if (!ParseMatchValue(KindOf(key->Kind), text, value, error)) {
      t.query.Refusal = {Cmd::UnableToProcess, error, TagNumber(element.Group, element.Element)};
      return false;
    }
    if (key->Kind == Match::StepDate)
      t.stepDate = value;
    else if (key->Kind == Match::StepTime)
      t.stepTime = value;
    else
      AddCondition(t.conditions, key->Kind, key->Column, value);
  }
  return true;
}

}  // namespace

WorklistQuery TranslateWorklistQuery(const DcmObj& identifier, const std::string& filterLine, Transcoder* keys) {
  WorklistQuery query;
  Translation t{"", {}, {}, {}, query, keys};
  if (!Walk(identifier, t)) return query;
  AddStepStart(t.conditions, t.stepDate, t.stepTime);
  t.conditions.push_back(Condition(WorklistOperand::Column, "SPSStatus", WorklistCompare::Pinned, {"SCHEDULED"}));
  if (!filterLine.empty()) {
    // A line without a modality field asks for an empty modality: the
    // station then sees nothing, which is how a station is shut out.
    t.conditions.push_back(
        Condition(WorklistOperand::Column, "ScheduledStation", WorklistCompare::Pinned, {Piece(filterLine, "|", 1)}));
    t.conditions.push_back(
        Condition(WorklistOperand::Column, "Modality", WorklistCompare::Pinned, {Piece(filterLine, "|", 2)}));
  }
  query.Columns = t.columns.empty() ? "*" : t.columns.substr(0, t.columns.size() - 2);  // the final ", "
  for (std::size_t start = 0; !t.columns.empty() && start < t.columns.size();) {
    const std::size_t end = t.columns.find(", ", start);
    query.Selection.Columns.push_back(t.columns.substr(start, end - start));
    start = end + 2;
  }
  query.Selection.Conditions = std::move(t.conditions);
  query.Selection.Order = WorklistOrder::NameAlone;
  return query;
}

bool WLQuery(const WorklistQuery& query, TextRows& rows) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  if (!db.IsOpen) {
    WriteLog("ERROR, Couldn't open quillat database");
    return false;
  }
  if (!SelectWorklist(db, query.Selection, rows, "WLQuery")) {
    WriteLog("ERROR, WLQuery, " + db.ErrorText);
    return false;
  }
  // Modalities have always seen ":" where a stored value holds ";" (the
  // separator of the row text the answers were once cut from).
  rows.Replace(';', ':');
  WriteLog("INFO, WLQuery Count=" + std::to_string(rows.Count()));
  return true;
}

}  // namespace tarvelin
