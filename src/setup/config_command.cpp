#include "setup/cli.h"
#include "setup/ini_edit.h"
#include "setup/instance.h"

namespace tarvelin {

namespace {
constexpr const char* kHelp =
    "Usage: tarvelin-setup config DIR SECTION KEY VALUE\n"
    "Sets KEY in [SECTION] of DIR/TRVGUI.ini, creating the file, section or key as\n"
    "needed and keeping every other line. Names match case-insensitively, as the\n"
    "server reads them. The server reads its settings at start: restart it afterwards.\n"
    "Example: tarvelin-setup config /srv/tarvelin TRVSVC WL_Port 1104\n"
    "         tarvelin-setup config /srv/tarvelin TRVVC DefaultModality 1\n";
}  // namespace

int RunConfig(const Args& args, std::ostream& out, std::ostream& err) {
  if (WantsHelp(args)) {
    out << kHelp;
    return kExitOk;
  }
  if (args.size() != 4) return UsageError(err, "config", "expected DIR SECTION KEY VALUE");
  const std::string& dir = args[0];
  if (dir.empty()) return UsageError(err, "config", "missing instance folder DIR");
  if (!CheckInstanceFolder(dir, err)) return kExitFailed;
  std::string error;
  if (!SetIniValue(InstanceIniPath(dir), args[1], args[2], args[3], error)) return Failure(err, error);
  out << "Set [" << args[1] << "] " << args[2] << "=" << args[3] << " in " << InstanceIniPath(dir) << "\n";
  return kExitOk;
}

}  // namespace tarvelin
