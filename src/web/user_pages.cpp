#include "web/user_pages.h"

#include <vector>

#include "db/sqldb.h"
#include "db/userdb.h"
#include "service/log.h"
#include "service/text.h"
#include "web/check_user.h"
#include "web/grid_rows.h"
#include "web/html_escape.h"
#include "web/page_frame.h"
#include "web/result_grid.h"

namespace {
constexpr const char* kProtectedUser = "admin";

const GridColumns kUserColumns = {"UserName;User Name;15;TEXT", "PassWord;PassWord;15;TEXT",
                                  "Rights;Rights;10;TEXT"};

std::string RightsOption(int value, const char* label, int rights) {
  return std::string("<OPTION ") + (rights == value ? "SELECTED" : "") + " VALUE=\"" + std::to_string(value) +
         "\"> " + label + "\r\n";
}

std::string AddUser(const ParamList& params) {
  UserDB user;
  for (const auto& param : params) {
    const std::string name = ParamName(param);
    if (name == "UserName") user.UserName = ParamValue(param);
    if (name == "PassWord") user.PassWord = ParamValue(param);
    if (name == "Rights") user.Rights = static_cast<int>(ToIntDef(ParamValue(param), 0));
  }
  if (user.UserName.empty() || user.PassWord.empty()) return LoggedError("ERROR, No empty fields allowed");
  // Basic authentication separates name and password by the first ":".
  if (user.UserName.find(':') != std::string::npos) return LoggedError("ERROR, a user name cannot contain \":\"");
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) {
    WriteLog("ERROR, couldn't open users");
    return "<b>ERROR, coudln't open users</b>\r\n";
  }
  if (!user.Insert(db)) {
    WriteLog("ERROR, adding new object to users");
    return "<b>ERROR, adding new entry to users</b>\r\n";
  }
  return "<b>Added new entry to users</b>\r\n";
}

std::string ListUsers(const ParamList& params, int rights) {
  std::string prefix;
  for (const auto& param : params) {
    if (ParamName(param) != "UserName") continue;
    prefix = ParamValue(param);
    break;
  }
  const std::string sql = UserListSql(prefix);
  SQLdb db("quillat", SQLdb::ReadOnly);
  if (!db.IsOpen) {
    WriteLog("ERROR, Couldn't open database: users");
    return "<p align=\"center\"><b>ERROR, Couldn't open database: users</b>";
  }
  std::vector<std::string> rows;
  if (db.Query(sql, rows) != 0) {
    WriteLog("ERROR, Users Query Failed: " + db.ErrorText);
    return "<p align=\"center\"><b>Query Failed: " + HtmlEscape(db.ErrorText) + "</b>";
  }
  if (rows.empty()) return "No Users found for this filter combination";
  return ResultGrid("users", params, db, sql, static_cast<long long>(rows.size()), kUserColumns, rights);
}

std::string EditForm(const GridRow& row) {
  const std::string name = HtmlEscape(Column(row, "UserName"));
  const int rights = static_cast<int>(ToIntDef(Column(row, "Rights"), 0));
  // The password box starts empty: what is stored is a hash nobody should see,
  // and saving it empty keeps it.
  return "<form name=\"users\" action=\"edit_users\" method=\"post\">\r\n<p><table width=\"50%\">\r\n"
         "<tr><td width=\"40%\"><b>&nbsp;User Name </b></td><td width=\"60%\">" + name + "</td>\r\n</tr>\r\n"
         "<input type=\"hidden\" name=\"UserName\"  value=\"" + name + "\">\r\n"
         "<tr><td width=\"40%\"><b>&nbsp;PassWord </b></td><td width=\"60%\">"
         "<input name=\"PassWord\" size=\"20\" value=\"\"></td>\r\n</tr>\r\n"
         "<tr><td width=\"40%\"><b>&nbsp;Rights </b></td><td width=\"60%\">"
         "<SELECT name=\"Rights\" value=\"Rights\">" + RightsOption(0, "GENERAL", rights) +
         RightsOption(1, "ADMIN", rights) + "</SELECT>\r\n</td>\r\n</tr>\r\n</table><p>" + kSaveCancelButtons;
}

std::string DeleteUsers(const std::vector<GridRow>& rows) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) return "";
  std::string page;
  for (const auto& row : rows) {
    UserDB user;
    user.UserName = Column(row, "UserName");
    if (user.UserName == kProtectedUser) {
      page += LoggedError("ERROR, Can't delete admin user");
    } else if (!user.Delete(db)) {
      WriteLog("ERROR, Delete failed for database users, " + db.ErrorText);
      page += "<b>ERROR, deleting entry from users, " + HtmlEscape(db.ErrorText) + "</b>\r\n";
    } else {
      ForgetVerifiedUser(user.UserName);
      page += "<b>Deleted entry <b>" + HtmlEscape(user.UserName) + "</b> from users</b><br>\r\n";
    }
  }
  return page;
}
}  // namespace

std::string UserQueryPage(int rights) {
  return PageOpening("User Query") + kHeadEnd + NavBar(rights) +
         "<form id=\"frm_users\" name=\"frm_users\" action=\"display_users\" method=\"post\">\r\n"
         "<table width=\"60%\">\r\n"
         "<tr><td width=\"33%\"><b>User Name</b></td>\r\n"
         "<td width=\"33%\"><b>Password</b></td>\r\n"
         "<td width=\"33%\"><b>Rights</b></td></tr>\r\n"
         "<tr><td width=\"33%\"><input name=\"UserName\" size=\"20\"></td>\r\n"
         "<td width=\"33%\"><input name=\"PassWord\" size=\"20\"></td>\r\n"
         "<td width=\"33%\">\r\n"
         "<SELECT name=\"Rights\" value=\"0\"><OPTION VALUE=\"0\"> GENERAL\r\n<OPTION VALUE=\"1\"> ADMIN\r\n"
         "</SELECT>\r\n"
         "<input name=\"Offset\" type=\"HIDDEN\" value=\"0\">\r\n</td></tr>\r\n"
         "<tr><td>&nbsp;</td><td colspan=\"2\"><input type=\"submit\" value=\"Query\" name=\"Query\">&nbsp;\r\n"
         "<input type=\"submit\" value=\"Add New\" name=\"AddNew\">&nbsp;\r\n"
         "<input type=\"reset\" value=\"Reset\" name=\"Reset\" onclick=\"FormReset()\"></td></tr>\r\n"
         "</table></form><p>" +
         ResultBox("result_users", "60%") + FormScript("frm_users", "result_users");
}

std::string UsersDisplay(const ParamList& params, int rights) {
  for (const auto& param : params)
    if (ParamName(param) == "AddNew") return AddUser(params);
  return ListUsers(params, rights);
}

std::string UsersForm(const ParamList& params, int rights) {
  const std::string action = PressedButton(params);
  std::string page = PageOpening(action + " Users") + kHeadEnd + NavBar(rights);
  const auto rows = TickedRows(params, "Rights");
  if (action == "Edit") {
    const bool selected = !rows.empty() && !Column(rows[0], "UserName").empty();
    page += selected ? EditForm(rows[0]) : "ERROR, no entries selected";
  } else if (action == "Delete") {
    page += DeleteUsers(rows);
  }
  return page + PageFooter();
}

std::string UsersEdit(const ParamList& params, int rights) {
  std::string page = PageOpening("Edit entry in Users") + kHeadEnd + NavBar(rights);
  if (params.empty() || ParamValue(params.back()) != "Save") return page + PageFooter();
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) {
    WriteLog("ERROR, Couldn't open database: users");
    return page + "<p align=\"center\"><b>ERROR, Couldn't open database: users</b>" + PageFooter();
  }
  UserDB user;
  for (const auto& param : params) {
    const std::string name = ParamName(param);
    // The password is taken as typed: trimming it would store another one.
    if (name == "UserName") user.UserName = Trim(ParamValue(param));
    if (name == "PassWord") user.PassWord = ParamValue(param);
    if (name == "Rights") user.Rights = static_cast<int>(ToIntDef(Trim(ParamValue(param)), 0));
  }
  if (user.UserName == kProtectedUser && !IsAdmin(user.Rights)) {
    page += LoggedError("ERROR, cannot change admin rights");
  } else if (!user.Update(db)) {
    page += LoggedError("ERROR, updating entry in users: ", db.ErrorText);
  } else {
    ForgetVerifiedUser(user.UserName);
    page += "<b>Updated entry in users</b>\r\n";
  }
  return page + PageFooter();
}
