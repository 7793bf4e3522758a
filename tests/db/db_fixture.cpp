#include "db_fixture.h"

#include <filesystem>
#include <fstream>

#include "db/sqldb.h"

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
  sqlite3* handle = nullptr;
  sqlite3_open_v2(dbPath_.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  std::string value = "<none>";
  if (sqlite3_prepare_v2(handle, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    const auto* text = sqlite3_column_text(statement, 0);
    value = text ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(statement, 0))
                 : "<NULL>";
  } else {
    ADD_FAILURE() << "cannot read back: " << sql << ": " << sqlite3_errmsg(handle);
  }
  sqlite3_finalize(statement);
  sqlite3_close(handle);
  return value;
}

void DbTest::Raw(const std::string& sql) const {
  sqlite3* handle = nullptr;
  sqlite3_open_v2(dbPath_.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
  char* message = nullptr;
  EXPECT_EQ(sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
      << sql << ": " << (message ? message : "");
  sqlite3_free(message);
  sqlite3_close(handle);
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
