#pragma once
// INSERT statement builder and existence test shared by the table records.
#include <string>
#include <vector>

namespace tarvelin {

class SQLdb;

class dbInsert {
 public:
  // Appends a column and its text value (stored exactly as given).
  void Add(const std::string& column, const std::string& value);
  // Appends a column whose value (a password hash) never reaches the log.
  void AddSecret(const std::string& column, const std::string& value);
  // Appends a column and its integer value.
  void AddInt(const std::string& column, long long value);
  // Runs "INSERT OR IGNORE INTO table (...) VALUES (...)" and empties both
  // lists; Statement keeps the text that ran, secrets hidden. True when Exec returned 0
  // (an insert ignored because the key exists counts as success).
  bool Execute(SQLdb& db, const std::string& table);

  std::string Columns;    // "col1, col2, "
  std::string Values;     // "'v1', 2, "
  std::string Statement;  // the last statement built by Execute, fit for the log
  std::vector<std::string> Secrets;  // values of AddSecret since the last Execute
};

// True when at least one row of `table` has column = value. A failed query
// answers false (logged); an exception answers true so the key counts as taken.
bool dbLocate(SQLdb& db, const std::string& table, const std::string& column,
              const std::string& value);

}  // namespace tarvelin
