#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "db/schema.h"
#include "db/sqldb.h"
#include "db_fixture.h"

namespace tarvelin {

using ::testing::ElementsAre;

namespace {
// SQLite's handles, kept statements and files: nothing of it on PostgreSQL.
class KeptConnectionTest : public DbTest {
 protected:
  void SetUp() override {
    SQLITE_ONLY("SQLite's connection handles, statements and files");
    DbTest::SetUp();
  }
};

int KeptStatements(sqlite3* handle) {
  int count = 0;
  for (sqlite3_stmt* s = sqlite3_next_stmt(handle, nullptr); s; s = sqlite3_next_stmt(handle, s)) ++count;
  return count;
}

// What the first borrower does to its connection, and whether the next
// borrower of the same mode must get that same connection back.
struct Case {
  const char* name;
  std::function<void(SQLdb&)> first;
  bool kept;
  const char* users;  // what the next borrower counts
};

TEST_F(KeptConnectionTest, AConnectionIsKeptOnlyWhenItIsCleanAndItsFileIsTheSame) {
  const Case cases[] = {
      {"a finished query", [](SQLdb& db) {
         std::vector<std::string> rows;
         EXPECT_EQ(db.Query("SELECT * FROM Users", rows), 0);
       }, true, "1;"},
      {"a committed write", [](SQLdb& db) {
         EXPECT_EQ(db.Exec("INSERT INTO Users VALUES ('k', 'p', 0)"), 0);
       }, true, "2;"},
      {"left inside a transaction", [](SQLdb& db) {
         EXPECT_EQ(db.Exec("BEGIN IMMEDIATE"), 0);
         EXPECT_EQ(db.Exec("DELETE FROM Users"), 0);
       }, false, "1;"},
      {"its file replaced by a restored copy", [](SQLdb&) {
         const std::string copy = DatabasePath("quillat") + ".restored";
         std::string error;
         ASSERT_TRUE(CreateDatabase(copy, error)) << error;
         std::filesystem::rename(copy, DatabasePath("quillat"));
       }, false, "0;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Raw("DELETE FROM Users; INSERT INTO Users VALUES ('u', 'p', 1)");
    {
      SQLdb db("quillat", SQLdb::ReadWrite);
      ASSERT_TRUE(db.IsOpen);
      // A temporary table lives only as long as its connection.
      ASSERT_EQ(db.Exec("CREATE TEMP TABLE IF NOT EXISTS marker (a)"), 0);
      c.first(db);
    }
    SQLdb next("quillat", SQLdb::ReadWrite);
    ASSERT_TRUE(next.IsOpen);
    EXPECT_FALSE(next.InTransaction());
    std::vector<std::string> rows;
    EXPECT_EQ(next.Query("SELECT count(*) FROM temp.sqlite_master WHERE name = 'marker'", rows), 0);
    EXPECT_THAT(rows, ElementsAre(c.kept ? "1;" : "0;"));
    // Whatever connection it got, it sees the file as it is now, and the
    // abandoned transaction left no lock and no change behind.
    rows.clear();
    EXPECT_EQ(next.Query("SELECT count(*) FROM Users", rows), 0);
    EXPECT_THAT(rows, ElementsAre(c.users));
    EXPECT_EQ(next.Exec("UPDATE Users SET Rights = 0"), 0);
  }
}

TEST_F(KeptConnectionTest, ModesAreKeptApartAndBorrowersLeaveNothingAttached) {
  sqlite3* writer = nullptr;
  {
    SQLdb db("quillat", SQLdb::ReadWrite);
    writer = db.Handle;
  }
  std::vector<std::string> traced;
  {
    SQLdb reader("quillat", SQLdb::ReadOnly);
    EXPECT_NE(reader.Handle, writer);
    EXPECT_EQ(sqlite3_db_readonly(reader.Handle, "main"), 1);
    sqlite3_trace_v2(
        reader.Handle, SQLITE_TRACE_STMT,
        [](unsigned, void* context, void*, void*) {
          static_cast<std::vector<std::string>*>(context)->push_back("ran");
          return 0;
        },
        &traced);
  }
  SQLdb again("quillat", SQLdb::ReadOnly);
  std::vector<std::string> rows;
  EXPECT_EQ(again.Query("SELECT 1", rows), 0);
  EXPECT_TRUE(traced.empty());  // the trace went with its borrower
}

TEST_F(KeptConnectionTest, KeptStatementsFollowSchemaChangesAndFailuresAreNotKept) {
  Raw("CREATE TABLE t (a); INSERT INTO t VALUES ('x')");
  SQLdb db("quillat", SQLdb::ReadOnly);
  std::vector<std::string> rows;
  ASSERT_EQ(db.Query("SELECT * FROM t", rows), 0);
  const int kept = KeptStatements(db.Handle);
  ASSERT_EQ(db.Query("SELECT * FROM t", rows), 0);
  EXPECT_EQ(KeptStatements(db.Handle), kept);  // prepared once
  EXPECT_THAT(rows, ElementsAre("x;", "x;"));

  // Another connection adds a column: the kept statement answers with it.
  Raw("ALTER TABLE t ADD COLUMN b DEFAULT 'y'");
  rows.clear();
  TextRows values;
  ASSERT_EQ(db.QueryValues("SELECT * FROM t", values), 0);
  EXPECT_EQ(db.ColumnCount, 2);
  ASSERT_EQ(db.Query("SELECT * FROM t", rows), 0);
  EXPECT_THAT(rows, ElementsAre("x;y;"));

  // A statement that fails part-way is dropped, not kept half-run.
  Raw("DROP TABLE t");
  EXPECT_NE(db.Query("SELECT * FROM t", rows), 0);
  EXPECT_EQ(KeptStatements(db.Handle), kept - 1);
}
}  // namespace

}  // namespace tarvelin
