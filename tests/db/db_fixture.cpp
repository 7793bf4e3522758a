#include "db_fixture.h"

#include <fstream>

#include "db/sqldb.h"
#include "support/test_backend.h"

namespace tarvelin {

void DbTest::SetUp() {
  instance_ = std::make_unique<DatabaseFolder>("db");
  ASSERT_EQ(instance_->Problem(), "");
  folder_ = instance_->Home();
  dbPath_ = DatabasePath("quillat");
  logPath_ = instance_->LogPath();
}

void DbTest::TearDown() { instance_.reset(); }

std::vector<std::string> DbTest::LogLines() const {
  std::ifstream in(logPath_, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line.size() > 10 ? line.substr(10) : line);  // drop "HH:MM:SS, "
  }
  return lines;
}

// Emptied, not removed: the log keeps its file open between lines.
void DbTest::ClearLog() const { std::ofstream(logPath_, std::ios::trunc); }

std::string DbTest::Stored(const std::string& sql) const {
  const RawResult result = RunRawSql(instance_->Storage(), sql, false);
  if (!result.error.empty()) {
    ADD_FAILURE() << "cannot read back: " << sql << ": " << result.error;
    return "<none>";
  }
  if (result.rows.empty() || result.rows[0].empty()) return "<none>";
  return result.rows[0][0].value_or("<NULL>");
}

void DbTest::Raw(const std::string& sql) const {
  EXPECT_EQ(RunRawSql(instance_->Storage(), sql, true).error, "") << sql;
}

StatementRecorder::StatementRecorder(sqlite3* handle) {
  sqlite3_trace_v2(
      handle, SQLITE_TRACE_STMT,
      [](unsigned, void* context, void* statement, void*) {
        char* sql = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(statement));
        static_cast<StatementRecorder*>(context)->statements.push_back(sql ? sql : "");
        sqlite3_free(sql);
        return 0;
      },
      this);
}

}  // namespace tarvelin
