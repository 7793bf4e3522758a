// The user administration pages, called in process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/password_hash.h"
#include "db/sqlquote.h"
#include "web/html_escape.h"
#include "web/user_pages.h"
#include "web_pages_fixture.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {
class UserPagesTest : public WebPagesTest {
 protected:
  std::string Add(const std::string& name, const std::string& password, const std::string& rights) const {
    return UsersDisplay({"UserName=" + name, "PassWord=" + password, "Rights=" + rights, "Offset=0", "AddNew=Add New"},
                        1);
  }
  std::string StoredHash(const std::string& name) const {
    const auto rows = Rows("SELECT PassWord FROM Users WHERE UserName = " + SqlQuote(name));
    return rows.size() == 1 ? rows[0] : "<none>";
  }
  bool Verifies(const std::string& name, const std::string& password) const {
    return CheckPassword(StoredHash(name), password) == PasswordCheck::Matches;
  }
  // A user grid post: every row shown, `ticked` ones with CHECK, then the button.
  static ParamList Grid(const std::vector<std::pair<std::string, bool>>& rows, const std::string& button) {
    ParamList post;
    for (const auto& [name, ticked] : rows) {
      if (ticked) post.push_back("CHECK=on");
      post.insert(post.end(), {"UserName=" + name, "PassWord=********", "Rights=1"});
    }
    post.push_back(button + "=" + button);
    return post;
  }
};

TEST_F(UserPagesTest, AddNewStoresAHashAndRefusesEmptyAndTakenNames) {
  const struct {
    std::string name, password, rights, answer;
  } cases[] = {
      {"nurse", "x", "1", "<b>Added new entry to users</b>\r\n"},
      {"nurse", "y", "0", "<b>ERROR, adding new entry to users</b>\r\n"},
      {"", "y", "0", "<b>ERROR, No empty fields allowed</b>\r\n"},
      {"clerk", "", "0", "<b>ERROR, No empty fields allowed</b>\r\n"},
      {"a:b", "y", "0", "<b>ERROR, a user name cannot contain \":\"</b>\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(Add(c.name, c.password, c.rights), c.answer) << c.name;
  EXPECT_THAT(Rows("SELECT UserName, Rights FROM Users"), ElementsAre("nurse|1"));
  EXPECT_TRUE(Verifies("nurse", "x"));
  EXPECT_THAT(LogLines(), ElementsAre("ERROR, adding new object to users", "ERROR, No empty fields allowed",
                                      "ERROR, No empty fields allowed", "ERROR, a user name cannot contain \":\""));
}

TEST_F(UserPagesTest, TheGridAndTheEditFormNeverShowAPasswordOrHash) {
  ASSERT_THAT(Add("admin", "s3cret", "1"), HasSubstr("Added"));
  ASSERT_THAT(Add("ad<b>x", "pw", "0"), HasSubstr("Added"));
  ASSERT_THAT(Add("bert", "pw", "0"), HasSubstr("Added"));
  const std::string grid = UsersDisplay({"UserName=ad", "PassWord=", "Rights=0", "Offset=0", "Query=Query"}, 1);
  EXPECT_THAT(grid, HasSubstr("VALUE=\"admin\""));
  EXPECT_THAT(grid, HasSubstr("VALUE=\"ad&lt;b&gt;x\""));
  EXPECT_THAT(grid, Not(HasSubstr("bert")));
  EXPECT_THAT(grid, HasSubstr("VALUE=\"********\""));
  EXPECT_THAT(grid, Not(HasSubstr("$argon2")));
  EXPECT_EQ(UsersDisplay({"UserName=zz", "Query=Query"}, 1), "No Users found for this filter combination");

  const std::string edit = UsersForm(Grid({{"bert", false}, {"ad<b>x", true}, {"admin", true}}, "Edit"), 1);
  EXPECT_THAT(edit, HasSubstr("<input type=\"hidden\" name=\"UserName\"  value=\"ad&lt;b&gt;x\">"));
  EXPECT_THAT(edit, HasSubstr("<input name=\"PassWord\" size=\"20\" value=\"\">"));
  EXPECT_THAT(edit, HasSubstr("<OPTION SELECTED VALUE=\"1\"> ADMIN"));
  EXPECT_THAT(edit, Not(HasSubstr("\"admin\"")));
  EXPECT_THAT(UsersForm(Grid({{"bert", false}}, "Edit"), 1), HasSubstr("ERROR, no entries selected"));
}

TEST_F(UserPagesTest, AdminCannotBeDeletedNorMadeGeneral) {
  for (const char* name : {"admin", "Admin", "bert", "x' OR '1'='1"}) ASSERT_THAT(Add(name, "pw", "1"), HasSubstr("Added"));
  EXPECT_THAT(UsersForm(Grid({{"Admin", false}, {"admin", true}, {"bert", true}, {"x' OR '1'='1", true}}, "Delete"), 1),
              HasSubstr("<b>ERROR, Can't delete admin user</b>\r\n"
                        "<b>Deleted entry <b>bert</b> from users</b><br>\r\n"
                        "<b>Deleted entry <b>x&#39; OR &#39;1&#39;=&#39;1</b> from users</b><br>\r\n"));
  EXPECT_THAT(Rows("SELECT UserName FROM Users ORDER BY UserName"), ElementsAre("Admin", "admin"));

  const std::string hash = StoredHash("admin");
  EXPECT_THAT(UsersEdit({"UserName=admin", "PassWord=new", "Rights=0", "Save=Save"}, 1),
              HasSubstr("<b>ERROR, cannot change admin rights</b>\r\n"));
  EXPECT_EQ(StoredHash("admin"), hash);
  EXPECT_THAT(UsersEdit({"UserName=admin", "PassWord=", "Rights=1", "Save=Save"}, 1),
              HasSubstr("<b>Updated entry in users</b>\r\n"));
  EXPECT_EQ(StoredHash("admin"), hash);  // an empty password keeps the stored one
  EXPECT_THAT(UsersEdit({"UserName=admin", "PassWord= n3w ", "Rights=1", "Save=Save"}, 1), HasSubstr("Updated"));
  EXPECT_TRUE(Verifies("admin", " n3w "));
  EXPECT_THAT(UsersEdit({"UserName=Admin", "PassWord=", "Rights=0", "Cancel=Cancel"}, 1), Not(HasSubstr("Updated")));
  EXPECT_THAT(UsersEdit({"UserName=Admin", "PassWord=", "Rights=0", "Save=Save"}, 1), HasSubstr("Updated"));
  EXPECT_THAT(Rows("SELECT UserName, Rights FROM Users ORDER BY UserName"), ElementsAre("Admin|0", "admin|1"));
  EXPECT_THAT(LogLines(), ::testing::Contains("ERROR, Can't delete admin user"));
  EXPECT_THAT(LogLines(), ::testing::Contains("ERROR, cannot change admin rights"));
}
TEST_F(UserPagesTest, HostileNamesAndPasswordsAreStoredAndShownOnlyAsText) {
  for (const auto& v : HostileValues()) {
    if (v.find(':') != std::string::npos) {
      EXPECT_THAT(Add(v, v, "0"), HasSubstr("cannot contain"));
      continue;
    }
    ASSERT_EQ(Add(v, v, "0"), "<b>Added new entry to users</b>\r\n") << v;
    EXPECT_TRUE(Verifies(v, v)) << v;
    const std::string grid = UsersDisplay({"UserName=" + v, "Query=Query"}, 1);
    EXPECT_THAT(grid, HasSubstr("VALUE=\"" + HtmlEscape(v) + "\"")) << v;
    EXPECT_THAT(UsersForm(Grid({{v, true}}, "Delete"), 1), HasSubstr("<b>Deleted entry <b>" + HtmlEscape(v) + "</b>"));
  }
  EXPECT_THAT(Rows("SELECT COUNT(*) FROM Users"), ElementsAre("0"));
}
}  // namespace
