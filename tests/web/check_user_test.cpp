// The login check against a real Users table.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>

#include "db/password_hash.h"
#include "db/sqldb.h"
#include "db/user_store.h"
#include "support/database_folder.h"
#include "service/settings.h"
#include "web/check_user.h"
#include "web/command_get.h"

namespace tarvelin {

using ::testing::HasSubstr;

namespace {
class CheckUserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(folder_.Problem(), "");
    AddUser("admin", "s3cret", 1);
    AddUser("clerk", "cl3rk", 0);
  }

  void AddUser(const std::string& name, const std::string& password, int rights) {
    SQLdb db("quillat", SQLdb::ReadWrite);
    ASSERT_EQ(UserStore(db).Add(name, password, rights), WriteResult::Done);
  }

  std::string Run(const std::string& sql) {
    SQLdb db("quillat", SQLdb::ReadWrite);
    std::vector<std::string> rows;
    EXPECT_EQ(db.Query(sql, rows), 0) << db.ErrorText;
    return rows.empty() ? "" : rows[0];
  }

  // "rights" on success, "refused" otherwise.
  static std::string Login(const std::string& user, const std::string& password) {
    int rights = -1;
    return CheckUser(user, password, rights) ? std::to_string(rights) : "refused";
  }

  DatabaseFolder folder_{"checkuser"};
};

TEST_F(CheckUserTest, OnlyTheRightPasswordOfOneUserLogsIn) {
  const std::pair<std::pair<const char*, const char*>, const char*> cases[] = {
      {{"admin", "s3cret"}, "1"},
      {{"clerk", "cl3rk"}, "0"},
      {{"admin", "s3cret"}, "1"},  // now from the remembered verification
      {{"admin", "S3CRET"}, "refused"},
      {{"Admin", "s3cret"}, "refused"},
      {{"admin", ""}, "refused"},
      {{"", "s3cret"}, "refused"},
      {{"admin' --", "x"}, "refused"},
      {{"admin' OR '1'='1", "' OR '1'='1"}, "refused"},
      {{"clerk", "s3cret"}, "refused"},
  };
  for (const auto& [credentials, expected] : cases)
    EXPECT_EQ(Login(credentials.first, credentials.second), expected) << credentials.first << ":" << credentials.second;
  EXPECT_EQ(Run("SELECT COUNT(*) FROM Users"), "2;");
}

TEST_F(CheckUserTest, AClearPasswordOfAnOlderDatabaseLogsInOnceAndIsHashed) {
  Run("INSERT INTO Users VALUES ('old', 'pla;n', 1)");
  EXPECT_EQ(Login("old", "PLA;N"), "refused");
  EXPECT_EQ(Run("SELECT PassWord FROM Users WHERE UserName = 'old'"), "pla:n;");  // untouched so far
  EXPECT_EQ(Login("old", "pla;n"), "1");
  SQLdb db("quillat", SQLdb::ReadOnly);
  const auto login = UserStore(db).Find("old");
  ASSERT_TRUE(login);
  const std::string stored = login->PassWord;
  EXPECT_TRUE(IsPasswordHash(stored)) << stored;
  EXPECT_EQ(CheckPassword(stored, "pla;n"), PasswordCheck::Matches);
  EXPECT_EQ(Login("old", "pla;n"), "1");
  EXPECT_THAT(folder_.Log(), HasSubstr("INFO, User=old, clear password replaced by its hash"));
}

TEST_F(CheckUserTest, ChangesTakeEffectAtTheNextRequest) {
  ASSERT_EQ(Login("clerk", "cl3rk"), "0");
  SQLdb db("quillat", SQLdb::ReadWrite);
  UserStore users(db);
  ASSERT_EQ(users.Update({"clerk", 1, ""}), WriteResult::Done);  // rights only
  EXPECT_EQ(Login("clerk", "cl3rk"), "1");
  ASSERT_EQ(users.Update({"clerk", std::nullopt, "n3w"}), WriteResult::Done);
  EXPECT_EQ(Login("clerk", "cl3rk"), "refused");
  EXPECT_EQ(Login("clerk", "n3w"), "1");
  ForgetVerifiedUser("clerk");
  EXPECT_EQ(Login("clerk", "n3w"), "1");
  Run("DELETE FROM Users WHERE UserName = 'clerk'");
  EXPECT_EQ(Login("clerk", "n3w"), "refused");
}
TEST_F(CheckUserTest, WithoutAuthenticationEveryoneIsGeneral) {
  ServerSettings.Authentication_Enabled = false;
  HttpRequest request;
  request.Command = "GET";
  request.Document = "/";
  HttpResponse index;
  CommandGet(request, index);
  request.Document = "/UserQuery";
  HttpResponse users;
  CommandGet(request, users);
  ServerSettings.Authentication_Enabled = true;
  EXPECT_EQ(index.ResponseNo, 200);
  EXPECT_THAT(index.ContentText, HasSubstr("Query Worklist"));
  EXPECT_THAT(index.ContentText, ::testing::Not(HasSubstr("Manage Users")));
  EXPECT_EQ(users.ResponseNo, 404);
  EXPECT_THAT(folder_.Log(), HasSubstr("ERROR, The URL does not exists: UserQuery"));
}
}  // namespace

// An unknown user name is verified against a hash too: its refusal costs as
// many hash verifications as a known user's wrong password, for a password
// with an older Windows-1252 form as well, so timing tells no names apart.
TEST_F(CheckUserTest, AnUnknownUserCostsAsMuchAsAWrongPassword) {
  const auto verificationsFor = [](const std::string& user, const std::string& password) {
    const std::uint64_t before = PasswordVerifications();
    EXPECT_EQ(Login(user, password), "refused");
    return PasswordVerifications() - before;
  };
  for (const std::string password : {"wrong guess", "mauvais essai \xC3\xA9t\xC3\xA9"}) {
    SCOPED_TRACE(password);
    const std::uint64_t known = verificationsFor("admin", password);
    EXPECT_GE(known, 1u);
    EXPECT_EQ(verificationsFor("nobody", password), known);
  }
}

}  // namespace tarvelin
