#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "db/schema.h"
#include "db/schema_version.h"
#include "db/sqldb.h"
#include "db/storage_location.h"
#include "db/user_store.h"
#include "platform/codepage.h"
#include "service/ini_settings.h"
#include "service/password_rule.h"
#include "setup/cli.h"
#include "setup/default_ini.h"
#include "setup/ini_edit.h"
#include "setup/instance.h"
#include "setup/password.h"
#include "setup/setup_audit.h"
#include "setup/web_assets.h"

namespace tarvelin {

namespace fs = std::filesystem;

namespace {
constexpr const char* kHelp =
    "Usage: tarvelin-setup init DIR [--admin-password P] [--assets FOLDER]\n"
    "                           [--database postgresql:CONNINFO]\n"
    "Creates the instance folder DIR (and any missing parents) for 'tarvelin --home DIR':\n"
    "  database/quillat.db   the database with its tables and the web user \"admin\" (ADMIN)\n"
    "  TRVGUI.ini            every setting with its default, commented out (kept if present)\n"
    "  javascript/           the web pages' style sheet, pictures and jQuery, copied from\n"
    "                        FOLDER, or from the installed or source-tree assets\n"
    "  logs/ HL7in/ HL7out/\n"
    "The admin password is P (at least MinPasswordLength characters, 12 unless an\n"
    "existing TRVGUI.ini says otherwise), or a random one printed once. An existing\n"
    "database is never touched: init then fails without changing anything. The\n"
    "new user admin is written to the audit trail (logs/yyyymmdd_audit.log).\n"
    "With --database the data lives on that PostgreSQL server instead of in\n"
    "database/quillat.db: init makes Tarvelin's tables there (in the schema the\n"
    "connection's search_path names) with the user admin, and sets [TRVSVC]\n"
    "Database=postgresql:CONNINFO in TRVGUI.ini. CONNINFO is a libpq connection\n"
    "string, e.g. \"host=db1,db2 dbname=tarvelin user=tarvelin target_session_attrs=read-write\".\n"
    "When the tables are there already (a second server of the same data), init\n"
    "makes only the folder and its settings and leaves the users as they are.\n";

constexpr const char* kAdminUser = "admin";

const char* const kFolders[] = {"database", "logs", "HL7in", "HL7out", "javascript"};

bool WriteNewFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary);
  file << text;
  file.close();
  return !file.fail();
}

// Builds the database under a private name and links it into place only when
// complete, so the server never sees a half-made file and an existing file
// (even one made meanwhile) is never replaced.
bool CreateInstanceDatabase(const std::string& dir, const std::string& adminPassword,
                            std::string& error) {
  const std::string workName = std::string(".") + kDatabaseName + "-setup-" + std::to_string(getpid());
  UseInstance(dir);
  const std::string workPath = DatabasePath(workName);
  const std::string finalPath = InstanceDatabasePath(dir);
  if (!CreateDatabase(workPath, error)) return false;
  bool ok = chmod(workPath.c_str(), 0600) == 0;  // it holds the users' password hashes
  if (!ok) error = "cannot restrict access to " + workPath + ": " + std::strerror(errno);
  if (ok) {
    SQLdb db(workName, SQLdb::ReadWrite);
    ok = db.IsOpen && UserStore(db).Add(kAdminUser, adminPassword, kAdminRights) == WriteResult::Done;
    if (!ok) error = std::string("cannot add the user ") + kAdminUser + ": " + db.ErrorText;
  }
  if (ok && link(workPath.c_str(), finalPath.c_str()) != 0) {
    ok = false;
    error = errno == EEXIST ? "a database appeared meanwhile at " + finalPath + "; left untouched"
                            : "cannot create " + finalPath + ": " + std::strerror(errno);
  }
  std::error_code ignored;
  fs::remove(workPath, ignored);
  fs::remove(workPath + "-journal", ignored);
  return ok;
}

// What init found on the PostgreSQL server it was given.
struct PostgresTarget {
  bool joined = false;  // Tarvelin's tables were there already: used as they are
};

// Connects before anything is made, so a server that cannot be reached or
// holds another version's tables changes nothing. False after saying why.
bool CheckPostgresTarget(const StorageLocation& location, bool passwordGiven, PostgresTarget& target,
                         std::ostream& err) {
  const std::string shown = StorageShown(location);
  SQLdb db(PostgresAt{location.postgres}, SQLdb::ReadWrite);
  if (!db.IsOpen) {
    Failure(err, "cannot connect to " + shown + ": " + db.ErrorText + "; nothing was changed");
    return false;
  }
  int found = 0;
  std::string error;
  if (!ReadSchemaVersion(db, found, error)) {
    Failure(err, "cannot read " + shown + ": " + error + "; nothing was changed");
    return false;
  }
  if (found == 0) return true;
  if (found != CurrentSchemaVersion()) {
    Failure(err, shown + " holds Tarvelin tables of schema version " + std::to_string(found) +
                     ", this tarvelin-setup makes version " + std::to_string(CurrentSchemaVersion()) +
                     "; nothing was changed");
    return false;
  }
  if (passwordGiven) {
    Failure(err, shown + " already holds Tarvelin's tables with their users; leave out --admin-password to "
                     "make this instance share them; nothing was changed");
    return false;
  }
  target.joined = true;
  return true;
}

// Tarvelin's tables on the server with the user admin, or nothing more when
// they were there already.
bool CreatePostgresData(const StorageLocation& location, const PostgresTarget& target, const std::string& adminPassword,
                        std::string& error) {
  if (target.joined) return true;
  if (!CreatePostgresSchema(location.postgres, error)) {
    error = "cannot create Tarvelin's tables in " + StorageShown(location) + ": " + error;
    return false;
  }
  SQLdb db(PostgresAt{location.postgres}, SQLdb::ReadWrite);
  if (db.IsOpen && UserStore(db).Add(kAdminUser, adminPassword, kAdminRights) == WriteResult::Done) return true;
  error = std::string("cannot add the user ") + kAdminUser + " to " + StorageShown(location) + ": " + db.ErrorText +
          " (add one with: tarvelin-setup user DIR add NAME --admin)";
  return false;
}
}  // namespace

int RunInit(const Args& args, std::ostream& out, std::ostream& err) {
  if (WantsHelp(args)) {
    out << kHelp;
    return kExitOk;
  }
  std::optional<std::string> dir, password;
  std::string assets, database;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--assets") {
      if (!TakeOptionValue(args, i, assets)) return UsageError(err, "init", "--assets needs a folder");
    } else if (args[i] == "--database") {
      if (!TakeOptionValue(args, i, database)) return UsageError(err, "init", "--database needs postgresql:CONNINFO");
    } else if (args[i] == "--admin-password") {
      std::string value;
      if (!TakeOptionValue(args, i, value)) return UsageError(err, "init", "--admin-password needs a value");
      if (value.empty()) return UsageError(err, "init", "the admin password cannot be empty");
      password = value;
    } else if (args[i].starts_with("-") || dir) {
      return UsageError(err, "init", "unexpected argument \"" + args[i] + "\"");
    } else {
      dir = args[i];
    }
  }
  if (!dir || dir->empty()) return UsageError(err, "init", "missing instance folder DIR");
  // A TRVGUI.ini put in place beforehand may name the database already.
  if (database.empty()) database = InstanceDatabaseSetting(*dir);
  StorageLocation location;
  std::string error;
  if (!StorageOfInstance(InstanceFolder(*dir), database, location, error)) return UsageError(err, "init", error);

  std::error_code ec;
  const std::string dbPath = InstanceDatabasePath(*dir);
  if (fs::exists(dbPath, ec) || fs::is_symlink(dbPath, ec))
    return Failure(err, "a database already exists at " + dbPath + "; nothing was changed");
  if (fs::exists(*dir, ec) && !fs::is_directory(*dir, ec))
    return Failure(err, *dir + " exists and is not a folder");
  const std::string iniPath = InstanceIniPath(*dir);
  const bool keepIni = fs::exists(iniPath, ec);
  // A kept TRVGUI.ini may ask for longer passwords (MinPasswordLength).
  if (keepIni) ReadIniSettings(iniPath);
  // As the web will send it.
  const std::string adminPassword = password ? ToUtf8(*password) : RandomPassword();
  if (const std::string refusal = PasswordRefusal(adminPassword); !refusal.empty())
    return Failure(err, refusal + " (MinPasswordLength)");
  PostgresTarget postgres;
  if (location.OnPostgres() && !CheckPostgresTarget(location, password.has_value(), postgres, err)) return kExitFailed;
  for (const char* folder : kFolders) {
    fs::create_directories(InstanceFolder(*dir) + folder, ec);
    if (ec) return Failure(err, "cannot create " + InstanceFolder(*dir) + folder + ": " + ec.message());
  }
  if (!keepIni && !WriteNewFile(iniPath, DefaultIniText())) return Failure(err, "cannot write " + iniPath);

  const bool addAdmin = !postgres.joined;
  const bool made = location.OnPostgres() ? CreatePostgresData(location, postgres, adminPassword, error)
                                          : CreateInstanceDatabase(*dir, adminPassword, error);
  if (!made) return Failure(err, error);
  if (location.OnPostgres() && !SetIniValue(iniPath, "TRVSVC", "Database", database, error))
    return Failure(err, error + " (set [TRVSVC] Database=" + database + " there by hand)");
  if (addAdmin)
    AuditSetupChange(*dir, {"user-create", AuditAction::Create, true, kAdminUser, "user",
                            {{"Rights", "", RightsName(kAdminRights)}}, "password set"});
  if (!InstallWebAssetsReporting(*dir, assets, out, err)) return kExitFailed;

  out << "Created the Tarvelin instance " << InstanceFolder(*dir) << "\n"
      << "  database: " << (location.OnPostgres() ? StorageShown(location) : dbPath)
      << (postgres.joined ? " (its tables were there: this instance shares them)" : "") << "\n"
      << "  settings: " << iniPath << (keepIni ? " (existing file kept)" : "") << "\n";
  if (addAdmin) {
    out << "Web administration user: admin (ADMIN)\n";
    if (!password)
      out << "  password: " << adminPassword << "\n"
          << "  (shown only this once; change it with: tarvelin-setup user " << *dir << " passwd admin)\n";
  } else {
    out << "Web administration users: those of the database, unchanged\n";
  }
  out << "Start the server with: tarvelin --home " << InstanceFolder(*dir) << "\n";
  return kExitOk;
}

}  // namespace tarvelin
