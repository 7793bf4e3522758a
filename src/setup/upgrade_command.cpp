#include <filesystem>
#include <system_error>
#include <vector>

#include "db/password_hash.h"
#include "db/schema.h"
#include "db/sqldb.h"
#include "db/userdb.h"
#include "service/text.h"
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
    "  database      the indexes of the worklist pages and the tables of performed\n"
    "                procedure steps are added where missing, and\n"
    "                every password still stored in clear is replaced by its hash\n"
    "Stop the server first or restart it after.\n";

// Users whose PassWord is not yet a hash get one.
bool HashClearPasswords(SQLdb& db, std::ostream& out, std::ostream& err) {
  std::vector<std::string> rows;
  if (db.Query("SELECT hex(UserName), hex(PassWord) FROM Users", rows) != 0) {
    Failure(err, "cannot read the users: " + db.ErrorText);
    return false;
  }
  int hashed = 0;
  for (const auto& row : rows) {
    const std::string name = FromHex(Piece(row, ";", 1)), password = FromHex(Piece(row, ";", 2));
    if (IsPasswordHash(password) || password.empty()) continue;
    if (!StoreClearPasswordAsHash(db, name, password)) {
      Failure(err, "cannot store the password of " + name + " as a hash: " + db.ErrorText);
      return false;
    }
    ++hashed;
  }
  if (hashed) out << "Passwords stored as hashes: " << hashed << "\n";
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
  std::error_code ec;
  if (!std::filesystem::exists(InstanceDatabasePath(dir), ec))
    return Failure(err, "no database at " + InstanceDatabasePath(dir));
  UseInstance(dir);
  SQLdb db(kDatabaseName, SQLdb::ReadWrite);
  if (!db.IsOpen) return Failure(err, "cannot open " + InstanceDatabasePath(dir) + ": " + db.ErrorText);
  if (db.Exec(WorklistIndexSql()) != 0) return Failure(err, "cannot add the worklist indexes: " + db.ErrorText);
  if (db.Exec(PerformedStepSql()) != 0)
    return Failure(err, "cannot add the performed procedure step tables: " + db.ErrorText);
  if (!HashClearPasswords(db, out, err)) return kExitFailed;
  if (!InstallWebAssetsReporting(dir, assets, out, err)) return kExitFailed;
  out << "Instance " << InstanceFolder(dir) << " is up to date\n";
  return kExitOk;
}

}  // namespace tarvelin
