#include "db_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "db/schema.h"
#include "db/sqldb.h"
#include "service/log.h"
#include "service/settings.h"

void DbTest::SetUp() {
  char pattern[] = "/tmp/tarvelin-db-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  folder_ = std::string(pattern) + "/";
  std::filesystem::create_directory(folder_ + "database");
  ServerSettings.ProgramFolder = folder_;
  dbPath_ = DatabasePath("quillat");
  std::string error;
  ASSERT_TRUE(CreateDatabase(dbPath_, error)) << error;
  logPath_ = folder_ + "test.log";
  SetLogTarget(logPath_);
}

void DbTest::TearDown() {
  ClearLogTarget();
  std::filesystem::remove_all(folder_);
}

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

void DbTest::ClearLog() const { std::filesystem::remove(logPath_); }

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
