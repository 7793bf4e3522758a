#include "db/userdb.h"

#include "db/dbinsert.h"
#include "db/password_hash.h"
#include "db/sqldb.h"
#include "db_fixture.h"

namespace tarvelin {

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
  EXPECT_EQ(CheckPassword(Stored("SELECT PassWord FROM Users WHERE UserName = 'anna'"), "secret"),
            PasswordCheck::Matches);
  EXPECT_EQ(Stored("SELECT Rights FROM Users WHERE UserName = 'anna'"), "0");
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Users"), "2");
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(UserDBTest, UpdateReplacesPasswordAndRightsOfExistingUsersOnly) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  ASSERT_TRUE(User("anna", "secret", 0).Insert(db));
  const auto storedPassword = [&] { return Stored("SELECT PassWord FROM Users WHERE UserName = 'anna'"); };
  EXPECT_TRUE(User("anna", "n3w", 1).Update(db));
  EXPECT_EQ(CheckPassword(storedPassword(), "n3w"), PasswordCheck::Matches);
  EXPECT_EQ(CheckPassword(storedPassword(), "secret"), PasswordCheck::Wrong);
  const std::string hash = storedPassword();
  EXPECT_TRUE(User("anna", "", 0).Update(db));  // an empty password keeps the stored hash
  EXPECT_EQ(storedPassword(), hash);
  EXPECT_EQ(Stored("SELECT Rights FROM Users WHERE UserName = 'anna'"), "0");
  EXPECT_FALSE(User("bert", "x", 1).Update(db));
  EXPECT_FALSE(User("", "x", 1).Update(db));
  EXPECT_THAT(LogLines(), ElementsAre("INFO, User updated for UserName=anna",
                                      "INFO, User updated for UserName=anna",
                                      "ERROR, UserName=bert, does not exists",
                                      "ERROR, UserName can't be empty"));
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Users"), "1");
}

TEST(PasswordHash, SaltedHashesVerifyAndOlderClearRowsAreRecognised) {
  const std::string first = HashPassword("MÜLLER's pa\xFFss");
  const std::string second = HashPassword("MÜLLER's pa\xFFss");
  EXPECT_TRUE(IsPasswordHash(first));
  EXPECT_NE(first, second);  // salted
  EXPECT_EQ(first.find("MÜLLER"), std::string::npos);
  const struct {
    std::string stored, typed;
    PasswordCheck expected;
  } cases[] = {
      {first, "MÜLLER's pa\xFFss", PasswordCheck::Matches},
      {second, "MÜLLER's pa\xFFss", PasswordCheck::Matches},
      {first, "MÜLLER's pa\xFFs", PasswordCheck::Wrong},
      {first, "", PasswordCheck::Wrong},
      {"plain", "plain", PasswordCheck::MatchesClear},
      {"plain", "Plain", PasswordCheck::Wrong},
      {"plain", "plai", PasswordCheck::Wrong},
      {"", "", PasswordCheck::Wrong},
      {"$argon2id$broken", "$argon2id$broken", PasswordCheck::Wrong},
      // Hashed as Windows-1252 before passwords were UTF-8: typed as UTF-8 it matches; "?" never does.
      {HashPassword("P\xE4sswort"), "P\xC3\xA4sswort", PasswordCheck::MatchesLegacy},
      {HashPassword("??????"), "\xD0\x9F\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C", PasswordCheck::Wrong},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckPassword(c.stored, c.typed), c.expected) << c.stored << " / " << c.typed;
}

TEST_F(UserDBTest, DeleteRemovesOnlyTheNamedUser) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  ASSERT_TRUE(User("anna", "a", 0).Insert(db));
  ASSERT_TRUE(User("x' OR '1'='1", "b", 0).Insert(db));
  EXPECT_TRUE(User("x' OR '1'='1", "", 0).Delete(db));
  EXPECT_TRUE(User("nobody", "", 0).Delete(db));
  EXPECT_EQ(Stored("SELECT group_concat(UserName) FROM Users"), "anna");
}

TEST_F(UserDBTest, FailedWritesReturnFalseWithTheirLines) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  EXPECT_FALSE(User("anna", "secret", 0).Insert(db));
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "ERROR, SQldb::Exec, command: INSERT OR IGNORE INTO Users (UserName, PassWord, Rights) "
                      "VALUES ('anna', '********', 0), attempt to write a readonly database");
  EXPECT_EQ(lines[1], "ERROR, attempt to write a readonly database");
  EXPECT_EQ(lines[2], "ERROR, UserDB::Insert, INSERT OR IGNORE INTO Users (UserName, PassWord, Rights) "
                      "VALUES ('anna', '********', 0)");
}

TEST_F(UserDBTest, AFailedPasswordChangeLogsNeitherPasswordNorHash) {
  {
    SQLdb writable("quillat", SQLdb::ReadWrite);
    ASSERT_TRUE(User("bert", "first-secret", 0).Insert(writable));
  }
  SQLdb db("quillat", SQLdb::ReadOnly);
  EXPECT_FALSE(User("bert", "second-secret", 1).Update(db));
  const auto lines = LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "ERROR, SQldb::Exec, command: UPDATE Users SET PassWord='********', Rights=1 WHERE "
                      "UserName='bert', attempt to write a readonly database");
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find("$argon2"), std::string::npos) << line;
    EXPECT_EQ(line.find("secret"), std::string::npos) << line;
  }
}

TEST_F(UserDBTest, AFailedLookupCountsAsAbsentAndIsLogged) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  EXPECT_FALSE(dbLocate(db, "Nowhere", "Name", "v"));
  EXPECT_THAT(LogLines(), ElementsAre("ERROR, SQLdb::Query, sqlite3_prepare_v2, no such table: Nowhere",
                                      "ERROR, dbLocate for: v, no such table: Nowhere"));
}
}  // namespace

}  // namespace tarvelin
