#include "db/dbinsert.h"

#include <exception>
#include <vector>

#include "db/sqldb.h"
#include "db/sqlquote.h"
#include "service/log.h"

namespace tarvelin {

void dbInsert::Add(const std::string& column, const std::string& value) {
  Columns += column + ", ";
  Values += SqlQuote(value) + ", ";
}

void dbInsert::AddSecret(const std::string& column, const std::string& value) {
  Add(column, value);
  Secrets.push_back(value);
}

void dbInsert::AddInt(const std::string& column, long long value) {
  Columns += column + ", ";
  Values += std::to_string(value) + ", ";
}

namespace {
// Cuts a ", "-separated list just before its last ",".
std::string WithoutLastSeparator(const std::string& list) {
  const auto comma = list.rfind(',');
  return comma == std::string::npos ? list : list.substr(0, comma);
}
}  // namespace

bool dbInsert::Execute(SQLdb& db, const std::string& table) {
  const std::string statement = "INSERT OR IGNORE INTO " + table + " (" + WithoutLastSeparator(Columns) +
                                ") VALUES (" + WithoutLastSeparator(Values) + ")";
  Columns.clear();
  Values.clear();
  const bool done = db.Exec(statement, Secrets) == 0;
  Statement = WithSecretsHidden(statement, Secrets);
  Secrets.clear();
  return done;
}

bool dbLocate(SQLdb& db, const std::string& table, const std::string& column,
              const std::string& value) {
  const std::string statement =
      "SELECT * FROM " + table + " WHERE " + table + "." + column + "=" + SqlQuote(value);
  try {
    std::vector<std::string> rows;
    if (db.Query(statement, rows) != 0) {
      WriteLog("ERROR, dbLocate for: " + value + ", " + db.ErrorText);
      return false;
    }
    return !rows.empty();
  } catch (const std::exception& e) {
    WriteLog("ERROR, Exception at dbLocate, " + statement + ", " + e.what());
    return true;
  }
}

}  // namespace tarvelin
