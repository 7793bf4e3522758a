#include <filesystem>
#include <iostream>
#include <optional>
#include <system_error>
#include <vector>

#include "db/sqldb.h"
#include "db/storage_location.h"
#include "db/user_store.h"
#include "platform/codepage.h"
#include "service/ini_settings.h"
#include "service/password_rule.h"
#include "service/settings.h"
#include "setup/cli.h"
#include "setup/instance.h"
#include "setup/password.h"
#include "setup/setup_audit.h"

namespace tarvelin {

namespace {
constexpr const char* kHelp =
    "Usage: tarvelin-setup user DIR add NAME [--password P] [--admin]\n"
    "       tarvelin-setup user DIR passwd NAME [--password P]\n"
    "       tarvelin-setup user DIR remove NAME\n"
    "       tarvelin-setup user DIR list\n"
    "Manages the users of the web administration in the instance's database\n"
    "(DIR/database/quillat.db, or the PostgreSQL database its Database setting names).\n"
    "  add      a new user, GENERAL unless --admin is given\n"
    "  passwd   a new password for an existing user (rights unchanged)\n"
    "  remove   deletes a user; the last ADMIN user cannot be removed\n"
    "  list     names and rights, one user a line\n"
    "Without --password a random password is printed once; '--password -' reads it\n"
    "from the first line of standard input. Changes apply at the user's next request.\n"
    "Each change is written to the instance's audit trail (DIR/logs/yyyymmdd_audit.log).\n";

constexpr const char* kCommand = "user";

struct Request {
  std::string action, name;
  std::optional<std::string> password;
  bool admin = false;
};

// The password to store: given, read from standard input, or made up and shown.
bool ResolvePassword(Request& request, std::ostream& out, std::ostream& err) {
  if (!request.password) {
    request.password = RandomPassword();
    out << "Password for " << request.name << ": " << *request.password << " (shown only this once)\n";
  } else if (*request.password == "-") {
    std::string line;
    if (!std::getline(std::cin, line)) line.clear();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    request.password = line;
  }
  request.password = ToUtf8(*request.password);
  if (request.password->empty()) {
    Failure(err, "the password cannot be empty");
    return false;
  }
  if (const std::string refusal = PasswordRefusal(*request.password); !refusal.empty()) {
    Failure(err, refusal + " (MinPasswordLength)");
    return false;
  }
  return true;
}

// One line in the instance's audit trail for a change of user `name`; never the password.
void AuditUser(const std::string& dir, const char* event, AuditAction action, const std::string& name,
               std::vector<AuditChange> changes, const std::string& detail = "") {
  AuditSetupChange(dir, {event, action, true, name, "user", std::move(changes), detail});
}

int Add(SQLdb& db, const std::string& dir, Request& request, std::ostream& out, std::ostream& err) {
  // HTTP Basic authentication cannot carry a ":" in a user name.
  if (request.name.find(':') != std::string::npos) return Failure(err, "a user name cannot contain \":\"");
  UserStore users(db);
  const std::string taken = "user " + request.name + " already exists";
  // Asked first only so that no password is made up for nothing; the insert decides.
  if (users.Find(request.name)) return Failure(err, taken);
  if (!ResolvePassword(request, out, err)) return kExitFailed;
  const int rights = request.admin ? kAdminRights : 0;
  switch (users.Add(request.name, *request.password, rights)) {
    case WriteResult::Done:
      break;
    case WriteResult::AlreadyExists:
      return Failure(err, taken);
    default:
      return Failure(err, "cannot add user " + request.name + ": " + db.ErrorText);
  }
  AuditUser(dir, "user-create", AuditAction::Create, request.name, {{"Rights", "", RightsName(rights)}}, "password set");
  out << "Added user " << request.name << " (" << RightsName(rights) << ")\n";
  return kExitOk;
}

int ChangePassword(SQLdb& db, const std::string& dir, Request& request, std::ostream& out, std::ostream& err) {
  UserStore users(db);
  const std::string missing = "no user " + request.name;
  if (!users.Find(request.name)) return Failure(err, missing);
  if (!ResolvePassword(request, out, err)) return kExitFailed;
  switch (users.Update({request.name, std::nullopt, *request.password})) {
    case WriteResult::Done:
      break;
    case WriteResult::NotFound:
      return Failure(err, missing);
    default:
      return Failure(err, "cannot change the password of " + request.name + ": " + db.ErrorText);
  }
  AuditUser(dir, "user-edit", AuditAction::Update, request.name, {}, "password changed");
  out << "Password changed for " << request.name << "\n";
  return kExitOk;
}

int Remove(SQLdb& db, const std::string& dir, const Request& request, std::ostream& out, std::ostream& err) {
  int rights = 0;
  switch (UserStore(db).Remove(request.name, &rights)) {
    case WriteResult::Done:
      break;
    case WriteResult::NotFound:
      return Failure(err, "no user " + request.name);
    case WriteResult::Refused:
      return Failure(err, "user " + request.name + " is the last ADMIN user and cannot be removed");
    default:
      return Failure(err, "cannot remove user " + request.name + ": " + db.ErrorText);
  }
  AuditUser(dir, "user-delete", AuditAction::Delete, request.name, {{"Rights", RightsName(rights), ""}});
  out << "Removed user " << request.name << "\n";
  return kExitOk;
}

int List(SQLdb& db, std::ostream& out, std::ostream& err) {
  std::vector<UserListing> users;
  if (!UserStore(db).List("", users)) return Failure(err, "cannot list the users: " + db.ErrorText);
  for (const UserListing& user : users) out << user.UserName << "\t" << RightsName(user.Rights) << "\n";
  return kExitOk;
}

std::optional<int> Parse(const Args& args, Request& request, std::ostream& err) {
  if (args.size() < 2) return UsageError(err, kCommand, "expected DIR and an action (add, passwd, remove, list)");
  request.action = args[1];
  const bool takesName = request.action == "add" || request.action == "passwd" || request.action == "remove";
  if (!takesName && request.action != "list")
    return UsageError(err, kCommand, "unknown action \"" + request.action + "\"");
  std::size_t i = 2;
  if (takesName) {
    if (args.size() < 3 || args[2].empty()) return UsageError(err, kCommand, "missing user NAME");
    // Stored and compared as UTF-8, as the web sends it.
    request.name = ToUtf8(args[2]);
    i = 3;
  }
  for (; i < args.size(); ++i) {
    const bool withPassword = request.action == "add" || request.action == "passwd";
    if (args[i] == "--password" && withPassword) {
      std::string value;
      if (!TakeOptionValue(args, i, value)) return UsageError(err, kCommand, "--password needs a value");
      request.password = value;
    } else if (args[i] == "--admin" && request.action == "add") {
      request.admin = true;
    } else {
      return UsageError(err, kCommand, "unexpected argument \"" + args[i] + "\"");
    }
  }
  return std::nullopt;
}
}  // namespace

int RunUser(const Args& args, std::ostream& out, std::ostream& err) {
  if (WantsHelp(args)) {
    out << kHelp;
    return kExitOk;
  }
  Request request;
  if (const auto usage = Parse(args, request, err)) return *usage;
  const std::string& dir = args[0];
  if (dir.empty()) return UsageError(err, kCommand, "missing instance folder DIR");
  if (!CheckInstanceFolder(dir, err)) return kExitFailed;
  StorageLocation location;
  std::string error;
  if (!UseInstanceStorage(dir, location, error)) return Failure(err, error);
  std::error_code ec;
  if (!location.OnPostgres() && !std::filesystem::exists(InstanceDatabasePath(dir), ec))
    return Failure(err, "no database at " + InstanceDatabasePath(dir) + " (create the instance with: tarvelin-setup init " + dir + ")");
  ReadIniSettings(ServerSettings.ProgramFolder + "TRVGUI.ini");  // MinPasswordLength, AuditSyslog
  SQLdb db(kDatabaseName, request.action == "list" ? SQLdb::ReadOnly : SQLdb::ReadWrite);
  if (!db.IsOpen) return Failure(err, "cannot open " + StorageShown(location) + ": " + db.ErrorText);
  if (request.action == "add") return Add(db, dir, request, out, err);
  if (request.action == "passwd") return ChangePassword(db, dir, request, out, err);
  if (request.action == "remove") return Remove(db, dir, request, out, err);
  return List(db, out, err);
}

}  // namespace tarvelin
