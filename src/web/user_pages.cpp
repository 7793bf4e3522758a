#include "web/user_pages.h"

#include <vector>

#include "db/sqldb.h"
#include "db/user_store.h"
#include "service/audit_trail.h"
#include "service/log.h"
#include "service/password_rule.h"
#include "service/text.h"
#include "web/check_user.h"
#include "web/html_escape.h"
#include "web/page_frame.h"
#include "web/url_encode.h"

namespace tarvelin {

namespace {
constexpr const char* kProtectedUser = "admin";
// The store keeps at least one ADMIN user, whoever asks.
constexpr const char* kLastAdmin = " is the last ADMIN user and cannot ";

std::string RightsSelect(int rights) {
  return std::string("<select id=\"Rights\" name=\"Rights\"><option value=\"0\"") + (rights == 1 ? "" : " selected") +
         ">GENERAL</option><option value=\"1\"" + (rights == 1 ? " selected" : "") + ">ADMIN</option></select>";
}

// The audit event of a change to the web user `name`; never the password.
void AuditUser(const char* event, AuditAction action, const std::string& name, std::vector<AuditChange> changes,
               const std::string& detail = "") {
  WriteAudit({event, action, true, name, "user", std::move(changes), detail});
}

std::string ErrorLine(const std::string& text) {
  return "<p class=\"error\" role=\"alert\"><b>" + HtmlEscape(text) + "</b></p>\r\n";
}

std::string Message(const ParamList& params) {
  const std::string what = FirstParam(params, "msg"), key = FirstParam(params, "key");
  if (what == "useradded") return MessageLine("Added user " + key);
  if (what == "userupdated") return MessageLine("Updated user " + key);
  if (what == "userdeleted") return MessageLine("Deleted " + FirstParam(params, "n") + " user(s)");
  return "";
}

// The users whose names begin with `prefix`: a table, or why not.
std::string UserList(const PageRequest& r, const std::string& prefix) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  if (!db.IsOpen) {
    WriteLog("ERROR, Couldn't open database: users");
    return ErrorLine("ERROR, Couldn't open database: users");
  }
  std::vector<UserListing> users;
  if (!UserStore(db).List(prefix, users)) return ErrorLine("Query Failed: " + db.ErrorText);
  if (users.empty()) return "<p>No Users found for this filter combination</p>\r\n";
  std::string html = "<form accept-charset=\"UTF-8\" method=\"post\" action=\"form_users\">\r\n" + TokenField(r.token) +
                     "<div class=\"scroll\"><table class=\"list\">\r\n<thead><tr><th scope=\"col\"><span "
                     "class=\"sr\">Select</span></th><th scope=\"col\">User Name</th><th scope=\"col\">Rights</th>"
                     "</tr></thead>\r\n<tbody>\r\n";
  for (const UserListing& user : users) {
    const std::string& name = user.UserName;
    html += "<tr><td><input type=\"checkbox\" name=\"UserName\" value=\"" + HtmlEscape(name) +
            "\" aria-label=\"Select " + HtmlEscape(name) + "\"></td><td><a href=\"form_users?UserName=" +
            UrlEncode(name) + "\">" + HtmlEscape(name) + "</a></td><td>" + RightsName(user.Rights) +
            "</td></tr>\r\n";
  }
  return html + "</tbody></table></div>\r\n<p><button type=\"submit\" name=\"Delete\" value=\"Delete\" "
                "class=\"danger\">Delete selected</button></p></form>\r\n";
}

std::string QueryPage(const PageRequest& r, const std::string& above, const std::string& typedName, int typedRights) {
  // After a refused Add the posted UserName is the new user's, not a filter.
  const std::string prefix = r.IsPost() ? "" : FirstParam(r.http.Params, "UserName");
  return PageStart("User Query", r.rights) + Message(r.http.Params) + above +
         "<form accept-charset=\"UTF-8\" class=\"filters\" method=\"get\" action=\"UserQuery\" role=\"search\" aria-label=\"Find users\">\r\n"
         "<div class=\"field\"><label for=\"FindName\">User name starts with</label>"
         "<input id=\"FindName\" name=\"UserName\" value=\"" + HtmlEscape(prefix) + "\"></div>\r\n"
         "<div class=\"actions\"><button type=\"submit\" name=\"Query\" value=\"Query\">Query</button></div></form>\r\n" +
         UserList(r, prefix) +
         "<h2>Add a user</h2>\r\n<form accept-charset=\"UTF-8\" class=\"entry\" method=\"post\" action=\"display_users\" novalidate>\r\n" +
         TokenField(r.token) +
         "<table class=\"form\">\r\n<tr><th scope=\"row\"><label for=\"UserName\">User Name <span class=\"required\" "
         "aria-hidden=\"true\">*</span></label></th><td><input id=\"UserName\" name=\"UserName\" required "
         "autocomplete=\"off\" value=\"" + HtmlEscape(typedName) + "\"></td></tr>\r\n"
         "<tr><th scope=\"row\"><label for=\"PassWord\">Password <span class=\"required\" aria-hidden=\"true\">*"
         "</span></label></th><td><input id=\"PassWord\" name=\"PassWord\" type=\"password\" required "
         "autocomplete=\"new-password\"></td></tr>\r\n"
         "<tr><th scope=\"row\"><label for=\"Rights\">Rights</label></th><td>" + RightsSelect(typedRights) +
         "</td></tr>\r\n</table>\r\n<p class=\"actions\"><button type=\"submit\" name=\"AddNew\" value=\"Add New\">"
         "Add New</button></p></form>\r\n" + PageFooter();
}

// The user named by a posted form: UserName, PassWord (as typed: trimming
// it would store another password) and Rights.
UserChange PostedUser(const PageRequest& r, bool trimName) {
  UserChange user;
  user.Rights = 0;
  for (const auto& param : r.http.Params) {
    const std::string name = ParamName(param);
    if (name == "UserName") user.UserName = trimName ? Trim(ParamValue(param)) : ParamValue(param);
    if (name == "PassWord") user.PassWord = ParamValue(param);
    if (name == "Rights") user.Rights = static_cast<int>(ToIntDef(Trim(ParamValue(param)), 0));
  }
  return user;
}

PageResult AddUser(const PageRequest& r) {
  const UserChange user = PostedUser(r, false);
  const int rights = *user.Rights;
  const auto refuse = [&](const std::string& logLine, const std::string& text) {
    WriteLog(logLine);
    return PageResult(QueryPage(r, ErrorLine(text), user.UserName, rights));
  };
  if (user.UserName.empty() || user.PassWord.empty())
    return refuse("ERROR, No empty fields allowed", "ERROR, No empty fields allowed");
  if (const std::string refusal = PasswordRefusal(user.PassWord); !refusal.empty())
    return refuse("ERROR, user " + user.UserName + " not added: " + refusal, "ERROR, " + refusal);
  // Basic authentication separates name and password by the first ":".
  if (user.UserName.find(':') != std::string::npos)
    return refuse("ERROR, a user name cannot contain \":\"", "ERROR, a user name cannot contain \":\"");
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) return refuse("ERROR, couldn't open users", "ERROR, couldn't open users");
  switch (UserStore(db).Add(user.UserName, user.PassWord, rights)) {
    case WriteResult::Done:
      break;
    case WriteResult::AlreadyExists: {
      const std::string taken = "ERROR, user " + user.UserName + " already exists";
      return refuse(taken, taken);
    }
    default:
      return refuse("ERROR, adding new object to users", "ERROR, adding new entry to users");
  }
  WriteLog("INFO, added web user " + user.UserName);
  AuditUser("user-create", AuditAction::Create, user.UserName, {{"Rights", "", RightsName(rights)}}, "password set");
  return PageResult::Redirect("UserQuery?msg=useradded&key=" + UrlEncode(user.UserName));
}

std::string EditForm(const PageRequest& r, const std::string& name, int rights, const std::string& above = "") {
  // The password box starts empty: what is stored is a hash nobody should see,
  // and saving it empty keeps it.
  return PageStart("Edit user " + name, r.rights) + above +
         "<form accept-charset=\"UTF-8\" class=\"entry\" action=\"edit_users\" method=\"post\">\r\n" + TokenField(r.token) +
         HiddenField("UserName", name) +
         "<table class=\"form\">\r\n<tr><th scope=\"row\">User Name</th><td>" + HtmlEscape(name) + "</td></tr>\r\n"
         "<tr><th scope=\"row\"><label for=\"PassWord\">New password</label></th><td><input id=\"PassWord\" "
         "name=\"PassWord\" type=\"password\" autocomplete=\"new-password\" aria-describedby=\"PassWordHint\"> "
         "<span id=\"PassWordHint\">empty: unchanged</span></td></tr>\r\n"
         "<tr><th scope=\"row\"><label for=\"Rights\">Rights</label></th><td>" + RightsSelect(rights) +
         "</td></tr>\r\n</table>\r\n<p class=\"actions\"><button type=\"submit\" name=\"Save\" value=\"Save\">Save"
         "</button> <a href=\"UserQuery\">Cancel</a></p></form>\r\n" + PageFooter();
}

PageResult DeleteUsers(const PageRequest& r, const std::vector<std::string>& names) {
  if (FirstParam(r.http.Params, "Confirm") != "yes") {
    std::string page = PageStart("Delete " + std::to_string(names.size()) + " user(s)?", r.rights) + "<ul>\r\n";
    std::string hidden;
    for (const auto& name : names) {
      page += "<li>" + HtmlEscape(name) + "</li>\r\n";
      hidden += HiddenField("UserName", name);
    }
    return page + "</ul>\r\n<form accept-charset=\"UTF-8\" action=\"form_users\" method=\"post\">\r\n" + TokenField(r.token) + hidden +
           HiddenField("Confirm", "yes") +
           "<p class=\"actions\"><button type=\"submit\" name=\"Delete\" value=\"Delete\" class=\"danger\">Delete</button>"
           " <a href=\"UserQuery\">Cancel</a></p></form>\r\n" + PageFooter();
  }
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) return PageStart("Delete users", r.rights) + ErrorLine("ERROR, couldn't open users") + PageFooter();
  std::string errors;
  int deleted = 0;
  const auto refuse = [&](const std::string& logLine, const std::string& text) {
    WriteLog(logLine);
    errors += ErrorLine(text);
  };
  UserStore users(db);
  for (const auto& name : names) {
    if (name == kProtectedUser) {
      refuse("ERROR, Can't delete admin user", "ERROR, Can't delete admin user");
      continue;
    }
    int rights = 0;
    switch (users.Remove(name, &rights)) {
      case WriteResult::Done:
        ForgetVerifiedUser(name);
        WriteLog("INFO, User=" + r.user + " deleted the web user " + name);
        AuditUser("user-delete", AuditAction::Delete, name, {{"Rights", RightsName(rights), ""}});
        ++deleted;
        break;
      case WriteResult::NotFound:
        refuse("ERROR, no user " + name + " to delete", "ERROR, no user " + name);
        break;
      case WriteResult::Refused:
        refuse("ERROR, user " + name + kLastAdmin + "be removed", "ERROR, user " + name + kLastAdmin + "be removed");
        break;
      default:
        refuse("ERROR, Delete failed for database users, " + db.ErrorText,
               "ERROR, deleting entry from users, " + db.ErrorText);
    }
  }
  if (!errors.empty())
    return PageStart("Delete users", r.rights) + errors + "<p>Deleted " + std::to_string(deleted) +
           " user(s).</p><p><a href=\"UserQuery\">Back to the users</a></p>\r\n" + PageFooter();
  return PageResult::Redirect("UserQuery?msg=userdeleted&n=" + std::to_string(deleted));
}
}  // namespace

PageResult UserQueryPage(const PageRequest& r) { return QueryPage(r, "", "", 0); }

PageResult UsersDisplay(const PageRequest& r) {
  if (!FirstParam(r.http.Params, "AddNew").empty()) {
    if (!r.IsPost()) return QueryPage(r, ErrorLine("ERROR, adding a user needs the form"), "", 0);
    return AddUser(r);
  }
  return UserList(r, FirstParam(r.http.Params, "UserName"));
}

PageResult UsersForm(const PageRequest& r) {
  const std::vector<std::string> names = AllParams(r.http.Params, "UserName");
  if (r.IsPost() && !FirstParam(r.http.Params, "Delete").empty()) {
    if (names.empty()) return PageStart("Delete users", r.rights) + ErrorLine("ERROR, no entries selected") + PageFooter();
    return DeleteUsers(r, names);
  }
  if (names.empty()) return PageStart("Edit user", r.rights) + ErrorLine("ERROR, no entries selected") + PageFooter();
  SQLdb db("quillat", SQLdb::ReadOnly);
  const auto login = db.IsOpen ? UserStore(db).Find(names.front()) : std::nullopt;
  if (!login) return PageStart("Edit user", r.rights) + ErrorLine("ERROR, no user " + names.front()) + PageFooter();
  return EditForm(r, names.front(), login->Rights);
}

PageResult UsersEdit(const PageRequest& r) {
  if (FirstParam(r.http.Params, "Save").empty()) return PageResult::Redirect("UserQuery");
  const UserChange user = PostedUser(r, true);
  const int rights = *user.Rights;
  const std::string title = "Edit entry in Users";
  if (user.UserName == kProtectedUser && !IsAdmin(rights))
    return PageStart(title, r.rights) + LoggedError("ERROR, cannot change admin rights") + PageFooter();
  // An empty password keeps the stored one, which may be older than the rule.
  if (const std::string refusal = user.PassWord.empty() ? "" : PasswordRefusal(user.PassWord); !refusal.empty()) {
    WriteLog("ERROR, user " + user.UserName + " not changed: " + refusal);
    return EditForm(r, user.UserName, rights, ErrorLine("ERROR, " + refusal));
  }
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) {
    WriteLog("ERROR, Couldn't open database: users");
    return PageStart(title, r.rights) + ErrorLine("ERROR, Couldn't open database: users") + PageFooter();
  }
  int before = 0;
  switch (UserStore(db).Update(user, &before)) {
    case WriteResult::Done:
      break;
    case WriteResult::NotFound:
      return PageStart(title, r.rights) + LoggedError("ERROR, updating entry in users: ", "no user " + user.UserName) +
             PageFooter();
    case WriteResult::Refused:
      return PageStart(title, r.rights) + LoggedError("ERROR, user " + user.UserName + kLastAdmin + "lose its ADMIN rights") +
             PageFooter();
    default:
      return PageStart(title, r.rights) + LoggedError("ERROR, updating entry in users: ", db.ErrorText) + PageFooter();
  }
  WriteLog("INFO, User updated for UserName=" + user.UserName);
  ForgetVerifiedUser(user.UserName);
  std::vector<AuditChange> changes;
  if (std::string(RightsName(before)) != RightsName(rights)) changes.push_back({"Rights", RightsName(before), RightsName(rights)});
  AuditUser("user-edit", AuditAction::Update, user.UserName, std::move(changes),
            user.PassWord.empty() ? "" : "password changed");
  return PageResult::Redirect("UserQuery?msg=userupdated&key=" + UrlEncode(user.UserName));
}

}  // namespace tarvelin
