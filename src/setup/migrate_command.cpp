#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "db/instance_copy.h"
#include "db/schema.h"
#include "db/schema_version.h"
#include "db/sqldb.h"
#include "db/storage_location.h"
#include "setup/cli.h"
#include "setup/ini_edit.h"
#include "setup/instance.h"
#include "setup/running_server.h"

namespace tarvelin {

namespace fs = std::filesystem;

namespace {
constexpr const char* kCommand = "migrate";
constexpr const char* kHelp =
    "Usage: tarvelin-setup migrate DIR --to postgresql:CONNINFO\n"
    "       tarvelin-setup migrate DIR --to sqlite\n"
    "Moves the data of the instance DIR between its SQLite file and a PostgreSQL\n"
    "database. Stop the server first (every server of the instance, on every host).\n"
    "  --to postgresql:CONNINFO  makes Tarvelin's tables on that server (in the schema\n"
    "              the connection's search_path names; an empty set made before is\n"
    "              used), copies database/quillat.db into them, sets [TRVSVC]\n"
    "              Database=postgresql:CONNINFO in TRVGUI.ini and keeps the file aside\n"
    "              as database/quillat.db.before-migrate. CONNINFO is a libpq connection\n"
    "              string: \"host=db1,db2 dbname=tarvelin target_session_attrs=read-write\"\n"
    "  --to sqlite  copies the PostgreSQL database back into a new database/quillat.db\n"
    "              (a file already there is kept aside as quillat.db.before-migrate)\n"
    "              and removes the Database setting; the PostgreSQL data stays.\n"
    "The copy is one transaction, committed only when every table reads back from the\n"
    "target with the row count and digest it has in the source. Refused, with nothing\n"
    "changed: a server answering on the instance's DICOM port, a database not at this\n"
    "version's schema (run tarvelin-setup upgrade first), a target that already holds\n"
    "Tarvelin data, a connection that fails.\n";

const char* const kKeptSuffix = ".before-migrate";

// Moves the file at `path` aside to a name not taken yet; false with `error`
// set when it cannot.
bool KeepAside(const std::string& path, std::string& kept, std::string& error) {
  std::error_code ec;
  kept = path + kKeptSuffix;
  for (int n = 2; fs::exists(kept, ec) || fs::is_symlink(kept, ec); ++n) kept = path + kKeptSuffix + "-" + std::to_string(n);
  fs::rename(path, kept, ec);
  if (!ec) return true;
  error = "cannot move " + path + " aside to " + kept + ": " + ec.message();
  return false;
}

// The schema both sides of a copy must be at: exactly this build's.
bool SchemaIsCurrent(SQLdb& db, const std::string& shown, std::ostream& err) {
  int found = 0;
  std::string error;
  if (!ReadSchemaVersion(db, found, error)) {
    Failure(err, "cannot read the schema version of " + shown + ": " + error + "; nothing was changed");
    return false;
  }
  const int current = CurrentSchemaVersion();
  if (found == current) return true;
  Failure(err, shown + " has schema version " + std::to_string(found) + ", this tarvelin-setup copies version " +
                   std::to_string(current) +
                   (found < current ? ": run tarvelin-setup upgrade on the instance first"
                                    : ": use the tarvelin-setup of the newer Tarvelin") +
                   "; nothing was changed");
  return false;
}

// Copies and reports; false after saying why nothing was kept.
bool Copy(SQLdb& from, SQLdb& to, const std::string& toShown, std::ostream& out, std::ostream& err) {
  std::vector<TableComparison> tables;
  std::string error;
  const InstanceCopy result = CopyInstanceData(from, to, tables, error);
  for (const TableComparison& table : tables) {
    out << "  " << table.table << ": " << table.sourceRows << " rows";
    if (table.Matches())
      out << ", digest " << table.sourceDigest.substr(0, 16) << " on both sides\n";
    else
      out << " (" << table.targetRows << " read back), digest " << table.sourceDigest.substr(0, 16) << " against "
          << table.targetDigest.substr(0, 16) << "\n";
  }
  switch (result) {
    case InstanceCopy::Copied:
      return true;
    case InstanceCopy::TargetHoldsData:
      Failure(err, toShown + " already holds Tarvelin data; nothing was changed");
      return false;
    case InstanceCopy::Differs:
      Failure(err, "the copy in " + toShown + " differs from the source (see above); it was rolled back and nothing was changed");
      return false;
    case InstanceCopy::Failed:
      break;
  }
  Failure(err, "cannot copy the data: " + error + "; the copy was rolled back and nothing was changed");
  return false;
}

int ToPostgres(const std::string& dir, const StorageLocation& current, const StorageLocation& target, std::ostream& out,
               std::ostream& err) {
  if (current.OnPostgres())
    return Failure(err, "the instance already uses " + StorageShown(current) +
                            "; to move it to another server, migrate it to sqlite first");
  const std::string file = InstanceDatabasePath(dir);
  std::error_code ec;
  if (!fs::exists(file, ec)) return Failure(err, "no database at " + file);
  SQLdb source(DatabaseAt{file}, SQLdb::ReadWrite);
  if (!source.IsOpen) return Failure(err, "cannot open " + file + ": " + source.ErrorText);
  if (!SchemaIsCurrent(source, file, err)) return kExitFailed;

  const std::string shown = StorageShown(target);
  SQLdb postgres(PostgresAt{target.postgres}, SQLdb::ReadWrite);
  if (!postgres.IsOpen)
    return Failure(err, "cannot connect to " + shown + ": " + postgres.ErrorText + "; nothing was changed");
  int found = 0;
  std::string error;
  if (!ReadSchemaVersion(postgres, found, error))
    return Failure(err, "cannot read " + shown + ": " + error + "; nothing was changed");
  if (found == 0) {
    if (!CreatePostgresSchema(target.postgres, error))
      return Failure(err, "cannot create Tarvelin's tables in " + shown + ": " + error);
    out << "Created Tarvelin's tables in " << shown << "\n";
  } else if (!SchemaIsCurrent(postgres, shown, err)) {
    return kExitFailed;
  }
  out << "Copying " << file << " to " << shown << ":\n";
  if (!Copy(source, postgres, shown, out, err)) return kExitFailed;

  const std::string setting = kPostgresPrefix + target.postgres;
  if (!SetIniValue(InstanceIniPath(dir), "TRVSVC", "Database", setting, error))
    return Failure(err, "the data is copied to " + shown + ", but " + error +
                            "; the instance still uses " + file + " (set Database there by hand)");
  std::string kept;
  if (!KeepAside(file, kept, error))
    return Failure(err, "the instance now uses " + shown + ", but " + error + " (no server uses it any more)");
  out << "The instance " << InstanceFolder(dir) << " now uses " << shown << " (Database set in "
      << InstanceIniPath(dir) << ")\n"
      << "The SQLite database as it was is kept as " << kept << "\n";
  return kExitOk;
}

int ToSqlite(const std::string& dir, const StorageLocation& current, std::ostream& out, std::ostream& err) {
  if (!current.OnPostgres()) return Failure(err, "the instance already uses its SQLite database " + StorageShown(current));
  const std::string shown = StorageShown(current);
  SQLdb postgres(PostgresAt{current.postgres}, SQLdb::ReadWrite);
  if (!postgres.IsOpen)
    return Failure(err, "cannot connect to " + shown + ": " + postgres.ErrorText + "; nothing was changed");
  if (!SchemaIsCurrent(postgres, shown, err)) return kExitFailed;

  // Built under a private name and linked into place once complete, so no
  // server ever sees a half-made file.
  const std::string file = InstanceDatabasePath(dir);
  const std::string work = InstanceFolder(dir) + "database/." + kDatabaseName + "-migrate-" + std::to_string(getpid()) + ".db";
  std::error_code ec;
  fs::create_directories(InstanceFolder(dir) + "database", ec);
  std::string error;
  if (!CreateDatabase(work, error)) return Failure(err, error + "; nothing was changed");
  bool ok = chmod(work.c_str(), 0600) == 0;  // it holds the users' password hashes
  if (!ok) Failure(err, "cannot restrict access to " + work + ": " + std::strerror(errno) + "; nothing was changed");
  if (ok) {
    out << "Copying " << shown << " to " << file << ":\n";
    SQLdb target(DatabaseAt{work}, SQLdb::ReadWrite);
    ok = target.IsOpen && Copy(postgres, target, file, out, err);
    if (!target.IsOpen) Failure(err, "cannot open " + work + ": " + target.ErrorText + "; nothing was changed");
  }
  std::string kept;
  if (ok && (fs::exists(file, ec) || fs::is_symlink(file, ec)) && !KeepAside(file, kept, error)) {
    ok = false;
    Failure(err, error + "; nothing was changed");
  }
  if (ok && link(work.c_str(), file.c_str()) != 0) {
    ok = false;
    Failure(err, "cannot create " + file + ": " + std::strerror(errno));
  }
  fs::remove(work, ec);
  fs::remove(work + "-journal", ec);
  if (!ok) return kExitFailed;
  if (!RemoveIniValue(InstanceIniPath(dir), "TRVSVC", "Database", error))
    return Failure(err, "the data is copied to " + file + ", but " + error + "; the instance still uses " + shown +
                            " (remove Database there by hand)");
  out << "The instance " << InstanceFolder(dir) << " now uses " << file << " (Database removed from "
      << InstanceIniPath(dir) << "); the data in " << shown << " stays as it is\n";
  if (!kept.empty()) out << "The SQLite database found there is kept as " << kept << "\n";
  return kExitOk;
}
}  // namespace

int RunMigrate(const Args& args, std::ostream& out, std::ostream& err) {
  if (WantsHelp(args)) {
    out << kHelp;
    return kExitOk;
  }
  std::string dir, to;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--to") {
      if (!TakeOptionValue(args, i, to)) return UsageError(err, kCommand, "--to needs sqlite or postgresql:CONNINFO");
    } else if (args[i].starts_with("-") || !dir.empty()) {
      return UsageError(err, kCommand, "unexpected argument \"" + args[i] + "\"");
    } else {
      dir = args[i];
    }
  }
  if (dir.empty()) return UsageError(err, kCommand, "missing instance folder DIR");
  if (to.empty()) return UsageError(err, kCommand, "missing --to sqlite or --to postgresql:CONNINFO");
  StorageLocation target;
  std::string error;
  if (to != "sqlite" && !to.starts_with(kPostgresPrefix))
    return UsageError(err, kCommand, "--to must be sqlite or postgresql:CONNINFO, not " + to);
  if (to != "sqlite" && !StorageOfInstance(InstanceFolder(dir), to, target, error))
    return UsageError(err, kCommand, error);
  if (!CheckInstanceFolder(dir, err)) return kExitFailed;
  StorageLocation current;
  if (!UseInstanceStorage(dir, current, error)) return Failure(err, error);
  if (const std::string port = AnsweringServerPort(dir); !port.empty())
    return Failure(err, "the server of " + InstanceFolder(dir) + " is running (its DICOM port " + port +
                            " answers): stop it first; nothing was changed");
  return to == "sqlite" ? ToSqlite(dir, current, out, err) : ToPostgres(dir, current, target, out, err);
}

}  // namespace tarvelin
