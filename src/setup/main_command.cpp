#include "platform/file_version.h"
#include "platform/program_folder.h"
#include "setup/cli.h"

namespace tarvelin {

namespace {
constexpr const char* kHelp =
    "Usage: tarvelin-setup COMMAND ...\n"
    "Creates and maintains a Tarvelin instance folder.\n"
    "\n"
    "Commands:\n"
    "  init DIR [--admin-password P] [--database postgresql:CONNINFO]\n"
    "                                       create a new instance folder with its database\n"
    "  config DIR SECTION KEY VALUE         set one key of DIR/TRVGUI.ini\n"
    "  user DIR add|passwd|remove|list ...  manage the web administration's users\n"
    "  upgrade DIR [--assets FOLDER]        bring an older instance up to date (web assets,\n"
    "                                       indexes, passwords stored as hashes)\n"
    "  migrate DIR --to postgresql:CONNINFO|sqlite\n"
    "                                       move the instance's data to PostgreSQL or back\n"
    "\n"
    "Options:\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "'tarvelin-setup COMMAND --help' describes one command.\n"
    "Exit status: 0 done, 1 failed, 2 wrong command line.\n";
}  // namespace

int RunSetup(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return UsageError(err, "", "missing command");
  const std::string& command = args[0];
  const Args rest(args.begin() + 1, args.end());
  if (command == "--help" || command == "-h" || command == "help") {
    out << kHelp;
    return kExitOk;
  }
  if (command == "--version") {
    out << "tarvelin-setup " << FileVersionText(RunningExecutable()) << "\n";
    return kExitOk;
  }
  if (command == "init") return RunInit(rest, out, err);
  if (command == "config") return RunConfig(rest, out, err);
  if (command == "user") return RunUser(rest, out, err);
  if (command == "upgrade") return RunUpgrade(rest, out, err);
  if (command == "migrate") return RunMigrate(rest, out, err);
  return UsageError(err, "", "unknown command \"" + command + "\"");
}

}  // namespace tarvelin
