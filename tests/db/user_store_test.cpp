#include "db/user_store.h"

#include "db/password_hash.h"
#include "db/sqldb.h"
#include "db_fixture.h"

namespace tarvelin {

using ::testing::ElementsAre;

namespace {
using UserStoreTest = DbTest;

TEST_F(UserStoreTest, EveryWriteSaysWhatHappened) {
  enum Op { Add, Update, UpdatePassword, Remove };
  const struct {
    Op op;
    std::string name;
    int rights;
    WriteResult expected;
  } steps[] = {
      {Add, "anna", 0, WriteResult::Done},
      {Add, "anna", 1, WriteResult::AlreadyExists},  // the first password and rights stay
      {Add, "Anna", 0, WriteResult::Done},           // names compare exactly
      {Update, "bert", 1, WriteResult::NotFound},
      {UpdatePassword, "bert", 0, WriteResult::NotFound},
      {Remove, "bert", 0, WriteResult::NotFound},
      {Remove, "x' OR '1'='1", 0, WriteResult::NotFound},
      {Add, "boss", 1, WriteResult::Done},
      {Remove, "boss", 0, WriteResult::Refused},  // the last ADMIN user
      {Update, "boss", 0, WriteResult::Refused},  // nor may it lose its rights
      {Update, "boss", 5, WriteResult::Refused},  // any value but 1 is GENERAL
      {Update, "boss", 1, WriteResult::Done},
      {UpdatePassword, "boss", 0, WriteResult::Done},
      {Update, "anna", 1, WriteResult::Done},  // two ADMIN users now
      {Update, "boss", 0, WriteResult::Done},
      {Remove, "anna", 0, WriteResult::Refused},
      {Remove, "boss", 0, WriteResult::Done},
      {Remove, "boss", 0, WriteResult::NotFound},
  };
  SQLdb db("quillat", SQLdb::ReadWrite);
  UserStore users(db);
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    const auto& step = steps[i];
    const std::string password = "password of " + step.name + " " + std::to_string(i);
    WriteResult result = WriteResult::Failed;
    switch (step.op) {
      case Add: result = users.Add(step.name, password, step.rights); break;
      case Update: result = users.Update({step.name, step.rights, ""}); break;
      case UpdatePassword: result = users.Update({step.name, std::nullopt, password}); break;
      case Remove: result = users.Remove(step.name); break;
    }
    EXPECT_EQ(result, step.expected) << "step " << i << " " << step.name;
  }
  const auto anna = users.Find("anna");
  ASSERT_TRUE(anna);
  EXPECT_EQ(anna->Rights, 1);
  EXPECT_EQ(CheckPassword(anna->PassWord, "password of anna 0"), PasswordCheck::Matches);
  EXPECT_EQ(users.CountAdmins(), 1);
  EXPECT_FALSE(users.Find("boss"));
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(UserStoreTest, UpdateAndRemoveTellTheRightsTheyReplaced) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  UserStore users(db);
  ASSERT_EQ(users.Add("anna", "first password", 1), WriteResult::Done);
  ASSERT_EQ(users.Add("bert", "second password", 0), WriteResult::Done);
  const std::string hash = users.Find("anna")->PassWord;
  int before = -1;
  ASSERT_EQ(users.Update({"bert", 1, ""}, &before), WriteResult::Done);  // rights only
  EXPECT_EQ(before, 0);
  EXPECT_EQ(CheckPassword(users.Find("bert")->PassWord, "second password"), PasswordCheck::Matches);
  ASSERT_EQ(users.Update({"anna", std::nullopt, "new password"}, &before), WriteResult::Done);  // password only
  EXPECT_EQ(before, 1);
  EXPECT_EQ(users.Find("anna")->Rights, 1);
  EXPECT_NE(users.Find("anna")->PassWord, hash);
  EXPECT_EQ(CheckPassword(users.Find("anna")->PassWord, "new password"), PasswordCheck::Matches);
  int removed = -1;
  ASSERT_EQ(users.Remove("bert", &removed), WriteResult::Done);
  EXPECT_EQ(removed, 1);
}

TEST_F(UserStoreTest, ListsByNamePrefixInNameOrderWithoutHashes) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  UserStore users(db);
  for (const char* name : {"bert", "anna", "ann;e", "x'y", "a%b", "zed"})
    ASSERT_EQ(users.Add(name, "the same password", name[0] == 'b' ? 1 : 0), WriteResult::Done);
  const auto names = [&](const std::string& prefix) {
    std::vector<UserListing> listed;
    EXPECT_TRUE(users.List(prefix, listed));
    std::vector<std::string> shown;
    for (const auto& user : listed) shown.push_back(user.UserName + "|" + RightsName(user.Rights));
    return shown;
  };
  EXPECT_THAT(names(""), ElementsAre("a%b|GENERAL", "ann;e|GENERAL", "anna|GENERAL", "bert|ADMIN", "x'y|GENERAL",
                                     "zed|GENERAL"));
  EXPECT_THAT(names("ann"), ElementsAre("ann;e|GENERAL", "anna|GENERAL"));
  EXPECT_THAT(names("x'"), ElementsAre("x'y|GENERAL"));
  EXPECT_THAT(names("a%"), ElementsAre("a%b|GENERAL", "ann;e|GENERAL", "anna|GENERAL"));  // LIKE's own "%"
  EXPECT_THAT(names("nobody"), ElementsAre());
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

TEST_F(UserStoreTest, ClearPasswordsOfAnOlderDatabaseAreRewrittenAsHashes) {
  Raw("INSERT INTO Users VALUES ('old', 'pla;in''s', 0), ('empty', '', 0), ('new', 'x', 1)");
  SQLdb db("quillat", SQLdb::ReadWrite);
  UserStore users(db);
  ASSERT_TRUE(users.RehashPassword("new", "x", "x"));
  const std::string newHash = users.Find("new")->PassWord;
  EXPECT_FALSE(users.RehashPassword("new", "x", "x"));  // the row changed meanwhile: left alone
  int hashed = -1;
  std::string error;
  ASSERT_TRUE(users.HashClearPasswords(hashed, error)) << error;
  EXPECT_EQ(hashed, 1);
  EXPECT_EQ(CheckPassword(users.Find("old")->PassWord, "pla;in's"), PasswordCheck::Matches);
  EXPECT_EQ(users.Find("new")->PassWord, newHash);
  EXPECT_EQ(users.Find("empty")->PassWord, "");  // matches nothing, and stays so
}

TEST_F(UserStoreTest, FailedWritesLogNeitherPasswordNorHash) {
  Raw("INSERT INTO Users VALUES ('bert', 'first secret', 1), ('carl', 'x', 1)");
  SQLdb db("quillat", SQLdb::ReadOnly);
  UserStore users(db);
  EXPECT_EQ(users.Add("anna", "second secret", 0), WriteResult::Failed);
  EXPECT_EQ(users.Update({"bert", 0, "third secret"}), WriteResult::Failed);
  EXPECT_EQ(users.Remove("bert"), WriteResult::Failed);
  EXPECT_FALSE(users.RehashPassword("bert", "first secret", "first secret"));
  const auto lines = LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "ERROR, SQldb::Exec, command: INSERT INTO Users (UserName, PassWord, Rights) VALUES ('anna', "
                      "'********', '0') ON CONFLICT (UserName) DO NOTHING, " +
                          ReadOnlyRefusal("INSERT"));
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find("$argon2"), std::string::npos) << line;
    EXPECT_EQ(line.find("secret"), std::string::npos) << line;
  }
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Users"), "2");
  EXPECT_EQ(Stored("SELECT PassWord || ':' || Rights FROM Users WHERE UserName = 'bert'"), "first secret:1");
  EXPECT_EQ(Stored("SELECT PassWord || ':' || Rights FROM Users WHERE UserName = 'carl'"), "x:1");
}
}  // namespace

}  // namespace tarvelin
