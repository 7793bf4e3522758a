#pragma once
// A fresh instance folder with an empty database and its own log file, on the
// storage engine the tests run on (support/test_backend.h).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "support/database_folder.h"

namespace tarvelin {

class DbTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Log lines written since the last ClearLog, without time stamps.
  std::vector<std::string> LogLines() const;
  void ClearLog() const;

  // A column value read past the gateway, exactly as stored ("<NULL>" for NULL,
  // "<none>" when no row).
  std::string Stored(const std::string& sql) const;
  // Runs SQL past the gateway, failing the test on error.
  void Raw(const std::string& sql) const;

  std::unique_ptr<DatabaseFolder> instance_;
  std::string folder_;
  std::string dbPath_;  // the SQLite file (SQLite-only tests)
  std::string logPath_;
};

// Collects the SQL text of every statement a SQLite connection runs.
class StatementRecorder {
 public:
  explicit StatementRecorder(sqlite3* handle);
  std::vector<std::string> statements;
};

}  // namespace tarvelin
