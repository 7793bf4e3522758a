#include <filesystem>
#include <system_error>

#include "db/database_copy.h"
#include "db/schema_version.h"
#include "db/sqldb.h"
#include "db/storage_location.h"
#include "db/user_store.h"
#include "setup/cli.h"
#include "setup/instance.h"
#include "setup/web_assets.h"

namespace tarvelin {

namespace {
constexpr const char* kHelp =
    "Usage: tarvelin-setup upgrade DIR [--assets FOLDER]\n"
    "Brings an instance made by an older Tarvelin up to date; safe to run again:\n"
    "  javascript/   style.css, card.png, list.png, tarvelin.js and jquery-2.1.0.min.js are copied\n"
    "                (again) from FOLDER, or from the installed or source-tree assets\n"
    "  database      moved step by step from its schema version to this version's, each\n"
    "                step committed with its version (an interrupted upgrade resumes), and\n"
    "                every password still stored in clear is replaced by its hash; the\n"
    "                file as it was is kept first as database/quillat.db.before-upgrade-vN;\n"
    "                a database newer than this tool is refused and left untouched\n"
    "Stop the server first or restart it after.\n";

// Keeps the file of a database at `version` as it is, beside it, before a
// step changes it. A copy left by an interrupted upgrade is the older one
// and stays.
bool KeepCopy(SQLdb& db, const std::string& path, int version, std::ostream& out, std::ostream& err) {
  const std::string copy = path + ".before-upgrade-v" + std::to_string(version);
  std::error_code ec;
  if (!std::filesystem::exists(copy, ec)) {
    std::string error;
    switch (CopyDatabaseFile(db, path, copy, error)) {
      case DatabaseCopy::Copied:
        break;
      case DatabaseCopy::Unreadable:
        Failure(err, "cannot read " + path + ": " + error);
        return false;
      case DatabaseCopy::NotWritten:
        Failure(err, "cannot keep a copy of " + path + " as " + copy + ": " + error + "; nothing was changed");
        return false;
    }
  }
  out << "The database as it was is kept as " << copy << "\n";
  return true;
}

// Takes the schema steps the database lacks; false after reporting why not.
// A SQLite file is kept as it was first; a PostgreSQL database is the
// administrator's to back up (pg_dump).
bool UpgradeDatabase(SQLdb& db, const StorageLocation& location, std::ostream& out, std::ostream& err) {
  const std::string path = StorageShown(location);
  int found = 0;
  std::string error;
  if (!ReadSchemaVersion(db, found, error)) {
    Failure(err, "cannot read the schema version of " + path + ": " + error);
    return false;
  }
  if (found > 0 && found < CurrentSchemaVersion() && !location.OnPostgres() && !KeepCopy(db, path, found, out, err))
    return false;
  const SchemaUpgrade result = UpgradeSchema(
      db, [&](const SchemaStep& step) { out << "Database schema version " << step.version << ": " << step.what << "\n"; },
      found, error);
  if (result == SchemaUpgrade::Newer) {
    Failure(err, "the database " + path + " has schema version " + std::to_string(found) +
                     ", newer than this tarvelin-setup knows (" + std::to_string(CurrentSchemaVersion()) +
                     "); nothing was changed: use the tarvelin-setup of the newer Tarvelin, or restore a "
                     "backup made before it");
    return false;
  }
  if (result == SchemaUpgrade::Failed) {
    Failure(err, "cannot upgrade the database " + path + " from schema version " + std::to_string(found) + ": " + error);
    return false;
  }
  int hashed = 0;
  if (!UserStore(db).HashClearPasswords(hashed, error)) {
    Failure(err, error);
    return false;
  }
  if (hashed) out << "Passwords stored as hashes: " << hashed << "\n";
  // Older versions let the web take the last ADMIN user's rights away, which
  // leaves nobody to manage the users from the web.
  if (const auto admins = UserStore(db).CountAdmins(); admins && *admins == 0)
    err << "tarvelin-setup: warning: the database has no ADMIN user; add one with: tarvelin-setup user "
        << std::filesystem::path(location.databaseFolder).parent_path().parent_path().string()
        << " add NAME --admin\n";
  return true;
}
}  // namespace

int RunUpgrade(const Args& args, std::ostream& out, std::ostream& err) {
  if (WantsHelp(args)) {
    out << kHelp;
    return kExitOk;
  }
  std::string dir, assets;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--assets") {
      if (!TakeOptionValue(args, i, assets)) return UsageError(err, "upgrade", "--assets needs a folder");
    } else if (args[i].starts_with("-") || !dir.empty()) {
      return UsageError(err, "upgrade", "unexpected argument \"" + args[i] + "\"");
    } else {
      dir = args[i];
    }
  }
  if (dir.empty()) return UsageError(err, "upgrade", "missing instance folder DIR");
  if (!CheckInstanceFolder(dir, err)) return kExitFailed;
  StorageLocation location;
  std::string error;
  if (!UseInstanceStorage(dir, location, error)) return Failure(err, error);
  std::error_code ec;
  if (!location.OnPostgres() && !std::filesystem::exists(InstanceDatabasePath(dir), ec))
    return Failure(err, "no database at " + InstanceDatabasePath(dir));
  SQLdb db(kDatabaseName, SQLdb::ReadWrite);
  if (!db.IsOpen) return Failure(err, "cannot open " + StorageShown(location) + ": " + db.ErrorText);
  if (!UpgradeDatabase(db, location, out, err)) return kExitFailed;
  if (!InstallWebAssetsReporting(dir, assets, out, err)) return kExitFailed;
  out << "Instance " << InstanceFolder(dir) << " is up to date\n";
  return kExitOk;
}

}  // namespace tarvelin
