#include "web_pages_fixture.h"

#include <sqlite3.h>

#include <sstream>

#include "db/sqldb.h"
#include "support/hostile_values.h"

std::vector<std::string> WebPagesTest::Rows(const std::string& sql) const {
  // Read past the wrapper, whose row format would change a ";" in a value.
  sqlite3* handle = nullptr;
  sqlite3_open_v2(DatabasePath("quillat").c_str(), &handle, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  std::vector<std::string> rows;
  if (sqlite3_prepare_v2(handle, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(handle);
  while (statement && sqlite3_step(statement) == SQLITE_ROW) {
    std::string row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
      row += (i ? "|" : "") + std::string(text ? text : "", sqlite3_column_bytes(statement, i));
    }
    rows.push_back(row);
  }
  sqlite3_finalize(statement);
  sqlite3_close(handle);
  return rows;
}

void WebPagesTest::Exec(const std::string& sql) const {
  SQLdb db("quillat", SQLdb::ReadWrite);
  EXPECT_EQ(db.Exec(sql), 0) << sql << ": " << db.ErrorText;
}

std::vector<std::string> WebPagesTest::LogLines() const {
  std::istringstream in(folder_->Log());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line.size() > 10 ? line.substr(10) : line);
  }
  return lines;
}

std::vector<std::string> HostileValues() {
  std::vector<std::string> values = HostileSqlValues();
  values.insert(values.end(), HostileMarkupValues().begin(), HostileMarkupValues().end());
  return values;
}
