#include <sqlite3.h>

#include <chrono>
#include <filesystem>

#include "db/sqldb.h"
#include "support/text_rows_vectors.h"
#include "db_fixture.h"
#include "service/settings.h"

namespace tarvelin {

using ::testing::ElementsAre;

namespace {
using SQLdbTest = DbTest;

TEST_F(SQLdbTest, MissingFileIsNotCreatedAndLeavesTheObjectClosed) {
  SQLITE_ONLY("a database file");
  for (int mode : {SQLdb::ReadOnly, SQLdb::ReadWrite}) {
    ClearLog();
    SQLdb db("absent", mode);
    EXPECT_FALSE(db.IsOpen);
    EXPECT_EQ(db.ErrorText, "unable to open database file");
    EXPECT_THAT(LogLines(), ElementsAre("ERROR, SQLdb(), unable to open database file"));
    EXPECT_FALSE(std::filesystem::exists(folder_ + "database/absent.db"));
    // A closed object refuses quietly and never touches a connection.
    ClearLog();
    std::vector<std::string> rows;
    EXPECT_EQ(db.Exec("CREATE TABLE t (a)"), SQLITE_ERROR);
    EXPECT_EQ(db.Query("SELECT 1", rows), SQLITE_ERROR);
    EXPECT_TRUE(rows.empty());
    EXPECT_TRUE(LogLines().empty());
  }
}

TEST_F(SQLdbTest, OpensTheInstanceDatabaseWithTempStoreInMemory) {
  SQLITE_ONLY("a SQLite pragma");
  SQLdb db("quillat", SQLdb::ReadWrite);
  ASSERT_TRUE(db.IsOpen);
  EXPECT_EQ(db.Name, "quillat");
  std::vector<std::string> rows;
  EXPECT_EQ(db.Query("PRAGMA temp_store", rows), 0);
  EXPECT_THAT(rows, ElementsAre("2;"));  // 2 = MEMORY
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(SQLdbTest, RowsAreSemicolonTerminatedWithColonsForSemicolonsAndEmptyNulls) {
  Raw("CREATE TABLE t (a TEXT, b TEXT, c INTEGER); INSERT INTO t VALUES ('x;y', NULL, 42), ('', 'b', 7)");
  SQLdb db("quillat", SQLdb::ReadOnly);
  std::vector<std::string> rows{"kept"};
  EXPECT_EQ(db.Query("SELECT a, b, c FROM t ORDER BY c DESC", rows), 0);
  EXPECT_THAT(rows, ElementsAre("kept", "x:y;;42;", ";b;7;"));
  EXPECT_EQ(db.RowCount, 2);
  EXPECT_EQ(db.ColumnCount, 3);

  rows.clear();
  EXPECT_EQ(db.Query("SELECT a FROM t WHERE c = 0", rows), 0);
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(db.RowCount, 0);
  EXPECT_EQ(db.ColumnCount, 1);

  TextRows values;
  EXPECT_EQ(db.QueryValues("SELECT a, b, c FROM t ORDER BY c DESC", values), 0);
  EXPECT_THAT(AsVectors(values), ElementsAre(ElementsAre("x;y", "", "42"), ElementsAre("", "b", "7")));
  EXPECT_EQ(db.RowCount, 2);
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(SQLdbTest, FailuresReturnTheSqliteCodeAndLogTheirPlace) {
  SQLITE_ONLY("SQLite's result codes and messages");
  SQLdb readOnly("quillat", SQLdb::ReadOnly);
  const std::string write = "INSERT INTO Users VALUES ('u', 'p', 0)";
  EXPECT_EQ(readOnly.Exec(write), SQLITE_READONLY);
  EXPECT_EQ(readOnly.ErrorText, "attempt to write a readonly database");
  EXPECT_THAT(LogLines(), ElementsAre("ERROR, SQldb::Exec, command: " + write +
                                      ", attempt to write a readonly database"));
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Users"), "0");

  ClearLog();
  std::vector<std::string> rows;
  EXPECT_EQ(readOnly.Query("SELECT x FROM nowhere", rows), SQLITE_ERROR);
  EXPECT_EQ(readOnly.ErrorText, "no such table: nowhere");
  EXPECT_THAT(LogLines(), ElementsAre("ERROR, SQLdb::Query, sqlite3_prepare_v2, no such table: nowhere"));

  ClearLog();
  SQLdb db("quillat", SQLdb::ReadWrite);
  EXPECT_EQ(db.Exec("INSERT INTO Users VALUES ('u', 'p', 0)"), 0);
  EXPECT_EQ(db.Exec("INSERT INTO Users VALUES ('u', 'q', 0)"), SQLITE_CONSTRAINT);
  ASSERT_EQ(LogLines().size(), 1u);
  EXPECT_EQ(LogLines()[0], "ERROR, SQldb::Exec, command: INSERT INTO Users VALUES ('u', 'q', 0), "
                           "UNIQUE constraint failed: Users.UserName");
}

TEST_F(SQLdbTest, ExecGivesUpAfterFourBusyRetriesOneSecondApart) {
  SQLITE_ONLY("SQLite's file lock");
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open_v2(dbPath_.c_str(), &holder, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

  SQLdb db("quillat", SQLdb::ReadWrite);
  const std::string write = "UPDATE Users SET Rights = 1";
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(db.Exec(write), SQLITE_BUSY);
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, std::chrono::milliseconds(3900));
  const std::string warning = "WARNING, SQldb::Exec, SQLITE_BUSY: sleeping for a while...";
  EXPECT_THAT(LogLines(), ElementsAre(warning, warning, warning, warning,
                                      "ERROR, SQldb::Exec, SQLITE_BUSY: time_out reached (20 sec), "
                                      "command: " + write));

  // Query waits out the lock for one second through the busy time-out.
  ClearLog();
  ASSERT_EQ(sqlite3_exec(holder, "INSERT INTO Users VALUES ('a', 'b', 0)", nullptr, nullptr, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
  std::vector<std::string> rows;
  EXPECT_EQ(db.Exec(write), 0);  // the lock is gone: no retries
  EXPECT_EQ(db.Query("SELECT Rights FROM Users", rows), 0);
  EXPECT_THAT(rows, ElementsAre("1;"));
  EXPECT_TRUE(LogLines().empty());
  sqlite3_close(holder);
}

TEST_F(SQLdbTest, QueryReportsALockHeldLongerThanOneSecond) {
  SQLITE_ONLY("SQLite's file lock");
  SQLdb db("quillat", SQLdb::ReadOnly);
  std::vector<std::string> rows;
  ASSERT_EQ(db.Query("SELECT * FROM Users", rows), 0);  // schema read: the lock now meets the step
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open_v2(dbPath_.c_str(), &holder, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(db.Query("SELECT * FROM Users", rows), SQLITE_BUSY);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));
  EXPECT_EQ(db.ErrorText, "database is locked");
  EXPECT_THAT(LogLines(), ElementsAre("ERROR, SQLdb::Query, sqlite3_step, database is locked"));
  sqlite3_close(holder);
}

TEST_F(SQLdbTest, AFileThatIsNotADatabaseFailsOnFirstUse) {
  SQLITE_ONLY("a database file");
  {
    std::FILE* f = std::fopen((folder_ + "database/junk.db").c_str(), "wb");
    std::fputs("this is not an SQLite database, not even close to one................", f);
    std::fclose(f);
  }
  SQLdb db("junk", SQLdb::ReadWrite);
  std::vector<std::string> rows;
  EXPECT_NE(db.Query("SELECT * FROM Users", rows), 0);
  EXPECT_EQ(db.ErrorText, "file is not a database");
}
}  // namespace

}  // namespace tarvelin
