#include "db/userdb.h"

#include "db/dbinsert.h"
#include "db/sqldb.h"
#include "db_fixture.h"

using ::testing::ElementsAre;

namespace {
using UserDBTest = DbTest;

UserDB User(const std::string& name, const std::string& password, int rights) {
  UserDB user;
  user.UserName = name;
  user.PassWord = password;
  user.Rights = rights;
  return user;
}

TEST_F(UserDBTest, InsertOfAnExistingNameWritesAndLogsNothing) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  EXPECT_TRUE(User("anna", "secret", 0).Insert(db));
  EXPECT_FALSE(User("anna", "other", 1).Insert(db));
  EXPECT_TRUE(User("Anna", "case", 0).Insert(db));  // names compare exactly
  EXPECT_EQ(Stored("SELECT PassWord || '|' || Rights FROM Users WHERE UserName = 'anna'"), "secret|0");
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Users"), "2");
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(UserDBTest, UpdateReplacesPasswordAndRightsOfExistingUsersOnly) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  ASSERT_TRUE(User("anna", "secret", 0).Insert(db));
  EXPECT_TRUE(User("anna", "n3w", 1).Update(db));
  EXPECT_EQ(Stored("SELECT PassWord || '|' || Rights FROM Users WHERE UserName = 'anna'"), "n3w|1");
  EXPECT_FALSE(User("bert", "x", 1).Update(db));
  EXPECT_FALSE(User("", "x", 1).Update(db));
  EXPECT_THAT(LogLines(), ElementsAre("INFO, User updated for UserName=anna",
                                      "ERROR, UserName=bert, does not exists",
                                      "ERROR, UserName can't be empty"));
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Users"), "1");
}

TEST_F(UserDBTest, FailedWritesReturnFalseWithTheirLines) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  EXPECT_FALSE(User("anna", "secret", 0).Insert(db));
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "ERROR, attempt to write a readonly database");
  EXPECT_EQ(lines[2], "ERROR, UserDB::Insert, INSERT OR IGNORE INTO Users (UserName, PassWord, Rights) "
                      "VALUES ('anna', 'secret', 0)");
}

TEST_F(UserDBTest, AFailedLookupCountsAsAbsentAndIsLogged) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  EXPECT_FALSE(dbLocate(db, "Nowhere", "Name", "v"));
  EXPECT_THAT(LogLines(), ElementsAre("ERROR, SQLdb::Query, sqlite3_prepare_v2, no such table: Nowhere",
                                      "ERROR, dbLocate for: v, no such table: Nowhere"));
}
}  // namespace
