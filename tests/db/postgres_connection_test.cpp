// What only the PostgreSQL side of the gateway does: numbering parameters,
// refusing a database that would match text differently, finding its way back
// after the server dropped the connection, and one writer at a time. Those that
// need a server use the test run's (support/scratch_schema.h).
#include "db/postgres_connection.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "db/schema.h"
#include "db/schema_version.h"
#include "db/sql_transaction.h"
#include "db/sqldb.h"
#include "db/storage_location.h"
#include "db/worklistdb.h"
#include "platform/clock.h"
#include "support/scratch_schema.h"

namespace tarvelin {
namespace {

TEST(PostgresParameters, QuestionMarksOutsideLiteralsAreNumberedInOrder) {
  struct Case {
    const char* text;
    const char* numbered;
    std::size_t count;
  };
  const Case cases[] = {
      {"SELECT 1", "SELECT 1", 0},
      {"a = ? AND b IN (?, ?)", "a = $1 AND b IN ($2, $3)", 3},
      {"a = '?' AND b = ?", "a = '?' AND b = $1", 1},
      {"a = 'it''s ?' AND b = ?", "a = 'it''s ?' AND b = $1", 1},
  };
  for (const Case& c : cases) {
    std::size_t count = 99;
    EXPECT_EQ(NumberedParameters(c.text, count), c.numbered);
    EXPECT_EQ(count, c.count) << c.text;
  }
}

// A schema of its own on the test server, dropped at the end.
class PostgresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!schema_.Named()) GTEST_SKIP() << schema_.Problem();
    ASSERT_EQ(schema_.Problem(), "");
    conninfo_ = schema_.Conninfo();
    std::string error;
    ASSERT_TRUE(CreatePostgresSchema(conninfo_, error)) << error;
    UseStorage({"/nonexistent/", conninfo_});
  }
  void TearDown() override { UseStorage(StorageLocation::OfInstance("/nonexistent/")); }
  int Admin(const std::string& sql) {
    SQLdb admin(PostgresAt{schema_.Server()}, SQLdb::ReadWrite);
    return admin.IsOpen ? admin.Exec(sql) : -1;
  }

  ScratchSchema schema_;
  std::string conninfo_;
};

WorklistDB Entry(const std::string& accession) {
  WorklistDB entry;
  entry.AccessionNumber = accession;
  entry.PatientID = "P-" + accession;
  entry.PatientName = "MÜLLER^JÜRGEN";
  entry.Modality = "CT";
  entry.SPSStatus = "SCHEDULED";
  return entry;
}

TEST_F(PostgresTest, AnotherSchemaCannotBeMadeOverTheTablesThere) {
  std::string error;
  EXPECT_FALSE(CreatePostgresSchema(conninfo_, error));
  EXPECT_NE(error.find("already holds Tarvelin's tables"), std::string::npos) << error;
  SQLdb db("quillat", SQLdb::ReadOnly);
  std::string problem;
  EXPECT_TRUE(SchemaFitsServer(db, problem)) << problem;
}

TEST_F(PostgresTest, ColumnsTakeWhatSqliteTakesLongValuesAndNumberedLookupRows) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  WorklistDB entry = Entry(std::string(100, 'A'));  // declared VARCHAR(16) on SQLite
  entry.RequestedProcedureDescription = std::string(300, 'd');
  ASSERT_EQ(entry.Insert(db), WriteResult::Done) << db.ErrorText;
  WorklistDB back;
  back.AccessionNumber = entry.AccessionNumber;
  ASSERT_TRUE(back.Load(db));
  EXPECT_EQ(back.RequestedProcedureDescription, entry.RequestedProcedureDescription);
  // SQLite numbers a lone INTEGER PRIMARY KEY by itself; so must the server.
  ASSERT_EQ(db.Exec("INSERT INTO StudyDescription (Modality, Description) VALUES ('CT', 'Head'), ('CT', 'Chest')"), 0)
      << db.ErrorText;
  std::vector<std::string> codes;
  ASSERT_EQ(db.Query("SELECT Code FROM StudyDescription ORDER BY Code", codes), 0);
  EXPECT_EQ(codes, (std::vector<std::string>{"1;", "2;"}));
}

TEST_F(PostgresTest, ADatabaseThatWouldMatchTextOtherwiseIsRefusedWithTheReason) {
  const std::string name = "latin_" + std::to_string(getpid());
  Admin("DROP DATABASE IF EXISTS " + name);
  ASSERT_EQ(Admin("CREATE DATABASE " + name + " ENCODING 'LATIN1' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0"), 0);
  {
    SQLdb db(PostgresAt{schema_.Server() + " dbname=" + name}, SQLdb::ReadOnly);
    EXPECT_FALSE(db.IsOpen);
    EXPECT_NE(db.ErrorText.find("has encoding LATIN1"), std::string::npos) << db.ErrorText;
    EXPECT_NE(db.ErrorText.find("needs encoding UTF8"), std::string::npos) << db.ErrorText;
  }
  Admin("DROP DATABASE " + name);
}

TEST_F(PostgresTest, AKeptConnectionTheServerEndedIsReplacedAndTheQueryAnswered) {
  {
    SQLdb db("quillat", SQLdb::ReadWrite);
    ASSERT_EQ(Entry("A1").Insert(db), WriteResult::Done);
  }
  // Every connection to this schema is ended, as a restart would (those of
  // other tests on the server are not).
  ASSERT_EQ(Admin("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE pid <> pg_backend_pid() AND "
                  "application_name = '" + schema_.Name() + "'"),
            0);
  SQLdb db("quillat", SQLdb::ReadOnly);
  ASSERT_TRUE(db.IsOpen) << db.ErrorText;
  WorklistDB back;
  back.AccessionNumber = "A1";
  ASSERT_TRUE(back.Load(db)) << db.ErrorText;
  EXPECT_EQ(back.PatientName, "MÜLLER^JÜRGEN");
}

TEST_F(PostgresTest, WritersOnDifferentConnectionsTakeTurns) {
  SQLdb first("quillat", SQLdb::ReadWrite);
  SQLTransaction holding(first);
  ASSERT_TRUE(holding.Active()) << first.ErrorText;
  std::atomic<bool> secondWrote{false};
  std::thread second([&] {
    SQLdb db("quillat", SQLdb::ReadWrite);
    SQLTransaction waiting(db);
    secondWrote = waiting.Active() && Entry("B2").Insert(db) == WriteResult::Done && waiting.Commit();
  });
  SleepMs(300);
  EXPECT_FALSE(secondWrote.load());  // still waiting for the lock
  EXPECT_EQ(Entry("B1").Insert(first), WriteResult::Done);
  EXPECT_TRUE(holding.Commit()) << first.ErrorText;
  second.join();
  EXPECT_TRUE(secondWrote.load());
}

}  // namespace
}  // namespace tarvelin
