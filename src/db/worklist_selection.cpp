#include "db/worklist_selection.h"

#include <algorithm>

#include "db/name_match.h"
#include "db/sqldb.h"
#include "db/worklist_columns.h"
#include "service/log.h"
#include "service/text.h"

namespace tarvelin {

namespace {
// A stored time in the form of range bounds: HHMMSS.
constexpr const char* kStepTimeDigits = "substr(replace(SPSTime, ':', '') || '000000', 1, 6)";

bool IsColumn(const std::string& name) {
  return std::any_of(kWorklistColumns.begin(), kWorklistColumns.end(),
                     [&](const WorklistField& column) { return name == column.first; });
}

// A GLOB pattern: "*" and "?" keep their meaning; "[" would open a
// character class, so it stands for itself as "[[]".
std::string GlobPattern(const std::string& text) {
  std::string pattern;
  for (char c : text) pattern += c == '[' ? std::string("[[]") : std::string(1, c);
  return pattern;
}

// A LIKE pattern for the same wildcards: "*" is "%", "?" is "_", and the
// LIKE wildcards and the escape character stand for themselves.
std::string LikePattern(const std::string& text) {
  std::string pattern;
  for (char c : text) {
    if (c == '*')
      pattern += '%';
    else if (c == '?')
      pattern += '_';
    else {
      if (c == '%' || c == '_' || c == '\\') pattern += '\\';
      pattern += c;
    }
  }
  return pattern;
}

std::string Operand(const WorklistCondition& c, SqlEngine engine) {
  switch (c.Operand) {
    case WorklistOperand::Column: return c.Column;
    // SQLite's upper() changes ASCII letters only; under the C collation
    // PostgreSQL's does the same.
    case WorklistOperand::FoldedName:
      return engine == SqlEngine::PostgreSQL ? "upper(rtrim(" + c.Column + ", '^ ') COLLATE \"C\")"
                                             : "upper(rtrim(" + c.Column + ", '^ '))";
    case WorklistOperand::StepTime: return kStepTimeDigits;
    case WorklistOperand::StepStart: return std::string("SPSDate || ") + kStepTimeDigits;
  }
  return "";
}

std::size_t ValuesNeeded(WorklistCompare compare) {
  switch (compare) {
    case WorklistCompare::NotEmpty:
    case WorklistCompare::Nothing: return 0;
    case WorklistCompare::NameStarts: return 2;
    default: return 1;
  }
}

bool AddCondition(SqlStatement& s, const WorklistCondition& c, std::string& error, SqlEngine engine) {
  const bool needsColumn = c.Operand == WorklistOperand::Column || c.Operand == WorklistOperand::FoldedName;
  if (needsColumn && c.Compare != WorklistCompare::Nothing && !IsColumn(c.Column)) {
    error = "not a worklist column: " + c.Column;
    return false;
  }
  const bool listed = c.Compare == WorklistCompare::OneOf;
  if (listed ? c.Values.empty() : c.Values.size() != ValuesNeeded(c.Compare)) {
    error = "wrong number of values for a condition on " + Operand(c, engine);
    return false;
  }
  const std::string operand = Operand(c, engine);
  switch (c.Compare) {
    case WorklistCompare::Equal: s.Add(operand + " = ?", {c.Values[0]}); break;
    case WorklistCompare::Pinned: s.Add(operand + "=?", {c.Values[0]}); break;
    case WorklistCompare::Wildcard:
      if (engine == SqlEngine::PostgreSQL)
        s.Add(operand + " LIKE ? ESCAPE '\\'", {LikePattern(c.Values[0])});
      else
        s.Add(operand + " GLOB ?", {GlobPattern(c.Values[0])});
      break;
    case WorklistCompare::AtLeast: s.Add(operand + " >= ?", {c.Values[0]}); break;
    case WorklistCompare::AtMost: s.Add(operand + " <= ?", {c.Values[0]}); break;
    case WorklistCompare::NotEmpty: s.Add(operand + " <> ''"); break;
    case WorklistCompare::NameStarts: s.Add("name_matches(" + c.Column + ", ?, ?)", {c.Values[0], c.Values[1]}); break;
    case WorklistCompare::Nothing: s.Add("1 = 0"); break;
    case WorklistCompare::OneOf: {
      std::string marks;
      for (std::size_t i = 0; i < c.Values.size(); ++i) marks += i ? ", ?" : "?";
      s.Text += operand + " IN (" + marks + ")";
      s.Values.insert(s.Values.end(), c.Values.begin(), c.Values.end());
      break;
    }
  }
  return true;
}

bool AddConditions(SqlStatement& s, const WorklistSelection& selection, std::string& error, SqlEngine engine) {
  bool first = true;
  for (const WorklistCondition& c : selection.Conditions) {
    s.Text += first ? " WHERE " : " AND ";
    first = false;
    if (!AddCondition(s, c, error, engine)) return false;
  }
  return true;
}

std::string OrderBy(WorklistOrder order, bool descending) {
  const char* first = "";
  switch (order) {
    case WorklistOrder::NameAlone: return " ORDER BY PatientName";
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

// name_matches() is a function of the PostgreSQL schema; a SQLite
// connection gets it before the first statement that uses it.
bool NameMatchReady(SQLdb& db, const WorklistSelection& selection) {
  const bool needed = std::any_of(selection.Conditions.begin(), selection.Conditions.end(),
                                  [](const WorklistCondition& c) { return c.Compare == WorklistCompare::NameStarts; });
  return !needed || db.Engine() == SqlEngine::PostgreSQL || RegisterNameMatch(db.Handle);
}
}  // namespace

bool WorklistSelectStatement(const WorklistSelection& selection, SqlStatement& statement, std::string& error,
                             SqlEngine engine) {
  std::string columns;
  for (const std::string& column : selection.Columns) {
    if (!IsColumn(column)) {
      error = "not a worklist column: " + column;
      return false;
    }
    columns += (columns.empty() ? "" : ", ") + column;
  }
  statement = SqlStatement{"SELECT " + (columns.empty() ? std::string("*") : columns) + " from Worklist", {}};
  if (!AddConditions(statement, selection, error, engine)) return false;
  statement.Text += OrderBy(selection.Order, selection.Descending);
  if (selection.Limit > 0)
    statement.Text += " LIMIT " + std::to_string(selection.Limit) + " OFFSET " + std::to_string(std::max(0LL, selection.Offset));
  return true;
}

bool WorklistCountStatement(const WorklistSelection& selection, SqlStatement& statement, std::string& error,
                            SqlEngine engine) {
  statement = SqlStatement{"SELECT COUNT(*) FROM Worklist", {}};
  return AddConditions(statement, selection, error, engine);
}

bool SelectWorklist(SQLdb& db, const WorklistSelection& selection, TextRows& rows, const std::string& logAs) {
  SqlStatement statement;
  if (!WorklistSelectStatement(selection, statement, db.ErrorText, db.Engine())) return false;
  if (!NameMatchReady(db, selection)) {
    db.ErrorText = "cannot register name_matches";
    return false;
  }
  if (!logAs.empty()) WriteLog("INFO, " + logAs + "=" + statement.Logged());
  return db.QueryValues(statement, rows) == 0;
}

long long CountWorklist(SQLdb& db, const WorklistSelection& selection) {
  SqlStatement statement;
  if (!WorklistCountStatement(selection, statement, db.ErrorText, db.Engine())) return -1;
  if (!NameMatchReady(db, selection)) {
    db.ErrorText = "cannot register name_matches";
    return -1;
  }
  std::vector<std::string> count;
  if (db.Query(statement, count) != 0 || count.empty()) return -1;
  return ToIntDef(Piece(count[0], ";", 1), 0);
}

}  // namespace tarvelin
