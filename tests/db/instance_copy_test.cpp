// Copying an instance's tables between two databases through the gateway:
// every value arrives exactly (checked past the gateway), and a target that
// holds data, refuses a row or changes one keeps nothing of the copy.
#include "db/instance_copy.h"

#include <sqlite3.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "db/instance_tables.h"
#include "db/schema.h"
#include "db/sqldb.h"
#include "support/instance_sample.h"

namespace tarvelin {

namespace {
// Two database files of their own, whatever engine the rest of the run uses:
// the copy itself is the same code on both.
class InstanceCopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(mkdtemp(folder_.data()), nullptr);
    sourcePath_ = folder_ + "/source.db";
    targetPath_ = folder_ + "/target.db";
    std::string error;
    ASSERT_TRUE(CreateDatabase(sourcePath_, error)) << error;
    ASSERT_TRUE(CreateDatabase(targetPath_, error)) << error;
    ASSERT_EQ(FillSampleInstance(sourcePath_), "");
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  void RawTarget(const std::string& sql) const {
    sqlite3* handle = nullptr;
    sqlite3_open_v2(targetPath_.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
    ASSERT_EQ(sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(handle);
    sqlite3_close(handle);
  }
  InstanceCopy Copy(std::vector<TableComparison>& tables, std::string& error) const {
    SQLdb from(DatabaseAt{sourcePath_}, SQLdb::ReadWrite);
    SQLdb to(DatabaseAt{targetPath_}, SQLdb::ReadWrite);
    return CopyInstanceData(from, to, tables, error);
  }
  std::string folder_ = "/tmp/tarvelin-copy-XXXXXX";
  std::string sourcePath_, targetPath_;
};

TEST_F(InstanceCopyTest, EveryValueArrivesExactlyAndEachTableIsCompared) {
  std::vector<TableComparison> tables;
  std::string error;
  ASSERT_EQ(Copy(tables, error), InstanceCopy::Copied) << error;
  const std::string source = DumpInstance(sourcePath_);
  EXPECT_EQ(DumpInstance(targetPath_), source);
  EXPECT_NE(source.find("blob:000000"), std::string::npos);  // the NUL bytes of a data set, as a blob
  ASSERT_EQ(tables.size(), InstanceTables().size());
  EXPECT_EQ(tables[0].table, "Worklist");
  EXPECT_EQ(tables[0].sourceRows, 1234u);  // three pages
  for (const auto& table : tables) EXPECT_TRUE(table.Matches()) << table.table;
}

// The copy's own fingerprint must notice a target that stores something
// else than it was given, and a target that refuses a row: either way
// nothing of the copy is kept.
TEST_F(InstanceCopyTest, TargetThatDiffersOrRefusesKeepsNothing) {
  const struct {
    const char* name;
    const char* trigger;
    InstanceCopy expected;
  } cases[] = {
      {"changed", "CREATE TRIGGER t AFTER INSERT ON Users BEGIN UPDATE Users SET Rights = 9 WHERE UserName = "
                  "NEW.UserName; END",
       InstanceCopy::Differs},
      {"added", "CREATE TRIGGER t AFTER INSERT ON Referrers WHEN NEW.Name = 'O''BRIEN' BEGIN INSERT INTO "
                "Referrers (Name) VALUES ('extra'); END",
       InstanceCopy::Differs},
      {"refused", "CREATE TRIGGER t BEFORE INSERT ON PerformedSteps WHEN NEW.SOPInstanceUID = '1.2.3.4' BEGIN "
                  "SELECT RAISE(ABORT, 'refused by the target'); END",
       InstanceCopy::Failed},
  };
  const std::string empty = DumpInstance(targetPath_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RawTarget(c.trigger);
    std::vector<TableComparison> tables;
    std::string error;
    EXPECT_EQ(Copy(tables, error), c.expected);
    if (c.expected == InstanceCopy::Failed) {
      EXPECT_NE(error.find("refused by the target"), std::string::npos) << error;
    }
    if (c.expected == InstanceCopy::Differs) {
      std::set<std::string> differing;
      for (const auto& table : tables)
        if (!table.Matches()) differing.insert(table.table);
      EXPECT_EQ(differing.size(), 1u);
    }
    EXPECT_EQ(DumpInstance(targetPath_), empty);
    RawTarget("DROP TRIGGER t");
  }
}

TEST_F(InstanceCopyTest, TargetWithDataIsLeftAlone) {
  RawTarget("INSERT INTO StudyDescription (Code, Modality, Description) VALUES (1, 'CT', 'Head')");
  const std::string before = DumpInstance(targetPath_);
  std::vector<TableComparison> tables;
  std::string error;
  EXPECT_EQ(Copy(tables, error), InstanceCopy::TargetHoldsData);
  EXPECT_EQ(DumpInstance(targetPath_), before);
}

// A schema step that adds a table or a column must add it to the copy too.
TEST_F(InstanceCopyTest, TablesNameEveryTableAndColumnOfANewDatabase) {
  sqlite3* handle = nullptr;
  ASSERT_EQ(sqlite3_open_v2(targetPath_.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  std::set<std::string> inDatabase, listed;
  sqlite3_stmt* statement = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(handle,
                               "SELECT m.name || '.' || p.name FROM sqlite_master m, pragma_table_info(m.name) p "
                               "WHERE m.type = 'table' AND m.name <> 'SchemaVersion'",
                               -1, &statement, nullptr),
            SQLITE_OK);
  while (sqlite3_step(statement) == SQLITE_ROW)
    inDatabase.insert(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
  sqlite3_finalize(statement);
  sqlite3_close(handle);
  for (const InstanceTable& table : InstanceTables())
    for (const auto* part : {&table.key, &table.others})
      for (const TableColumn& column : *part) listed.insert(std::string(table.name) + "." + column.name);
  EXPECT_EQ(listed, inDatabase);
}

}  // namespace
}  // namespace tarvelin
