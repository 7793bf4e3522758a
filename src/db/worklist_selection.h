#pragma once
// Which worklist entries a reader wants, said without SQL: the conditions
// they must all meet, the columns wanted, the order and the page. The
// worklist answer (from a C-FIND identifier) and the web list (from its
// filter form) both ask through this; only the storage code turns it into a
// statement, with every value bound.
#include <string>
#include <vector>

#include "db/sql_engine.h"
#include "db/sql_statement.h"
#include "db/text_rows.h"

namespace tarvelin {

class SQLdb;

// What a condition compares.
enum class WorklistOperand {
  Column,      // the column as stored
  FoldedName,  // a name column without trailing empty components, letters upper-cased (ASCII)
  StepTime,    // SPSTime as HHMMSS ("0930" and "09:30" read as "093000")
  StepStart,   // SPSDate and StepTime joined: YYYYMMDDHHMMSS
};

// How it compares; every value is bound, never part of the text.
enum class WorklistCompare {
  Equal,       // = the one value
  Pinned,      // = the one value, a condition the server adds itself (status, station filter)
  Wildcard,    // the one value with "*" (any run) and "?" (any one character)
  OneOf,       // any of the values
  AtLeast,     // >= the one value, as text
  AtMost,      // <= the one value, as text
  NotEmpty,    // any value but the empty one
  NameStarts,  // values: family and given name prefixes, any letter case (db/name_match.h)
  Nothing,     // no entry at all (a key no stored value can match)
};

struct WorklistCondition {
  WorklistOperand Operand = WorklistOperand::Column;
  std::string Column;  // a column of the Worklist table (not for StepTime, StepStart)
  WorklistCompare Compare = WorklistCompare::Equal;
  std::vector<std::string> Values;
};

// The orders a list may be sorted in. All but NameAlone end with start date,
// start time and accession number, so paging neither repeats nor skips an
// entry; NameAlone is the worklist answer's order as modalities know it.
enum class WorklistOrder { Start, Name, PatientID, Accession, Modality, Station, Status, Description, NameAlone };

struct WorklistSelection {
  std::vector<std::string> Columns;  // in the order wanted, repeats allowed; none: every column
  std::vector<WorklistCondition> Conditions;  // all must hold
  WorklistOrder Order = WorklistOrder::Start;
  bool Descending = false;
  long long Limit = 0;  // 0: every row
  long long Offset = 0;
};

// The SELECT, and the COUNT(*) of the same conditions. False (`error` set)
// when a column is not one of the Worklist table's or a condition lacks its
// values: nothing a caller sends reaches the text unchecked.
bool WorklistSelectStatement(const WorklistSelection& selection, SqlStatement& statement, std::string& error,
                             SqlEngine engine = SqlEngine::SQLite);
bool WorklistCountStatement(const WorklistSelection& selection, SqlStatement& statement, std::string& error,
                            SqlEngine engine = SqlEngine::SQLite);

// Runs the selection on `db`: `rows` gets one value per selected column (NULL
// as ""). With `logAs`, logs "INFO, " + logAs + "=" + the statement (values
// written out) before running it. False with db.ErrorText set when it cannot
// be run.
bool SelectWorklist(SQLdb& db, const WorklistSelection& selection, TextRows& rows, const std::string& logAs = "");
// The number of entries the conditions select; -1 with db.ErrorText on failure.
long long CountWorklist(SQLdb& db, const WorklistSelection& selection);

}  // namespace tarvelin
