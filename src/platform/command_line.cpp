#include "platform/command_line.h"

#include <strings.h>

namespace tarvelin {

namespace {
bool IsSwitch(const std::string& arg, const char* name) {
  std::string bare = arg;
  if (!bare.empty() && (bare[0] == '/' || bare[0] == '-') && bare.rfind("--", 0) != 0) bare.erase(0, 1);
  return strcasecmp(bare.c_str(), name) == 0;
}
}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine out;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--home") {
      if (i + 1 >= argc || std::string(argv[i + 1]).empty()) {
        out.error = "--home needs a folder";
        return out;
      }
      out.home = argv[++i];
    } else if (arg.rfind("--home=", 0) == 0 && arg.size() > 7) {
      out.home = arg.substr(7);
    } else if (arg == "--help" || arg == "-h") {
      out.action = CommandLine::Action::Help;
    } else if (arg == "--version") {
      out.action = CommandLine::Action::Version;
    } else if (IsSwitch(arg, "INSTALL")) {
      out.action = CommandLine::Action::Install;
    } else if (IsSwitch(arg, "UNINSTALL")) {
      out.action = CommandLine::Action::Uninstall;
    } else if (IsSwitch(arg, "HOUSEKEEPING")) {
      out.action = CommandLine::Action::Housekeeping;
    } else if (IsSwitch(arg, "SILENT")) {
      out.silent = true;
    } else {
      out.error = "unknown argument: " + arg;
      return out;
    }
  }
  return out;
}

std::string UsageText(const std::string& program) {
  const std::string name = program.substr(program.find_last_of('/') + 1);
  return "Usage: " + name + " [--home DIR]\n"
         "  or:  " + name + " INSTALL [SILENT] [--home DIR]\n"
         "  or:  " + name + " UNINSTALL [SILENT]\n"
         "  or:  " + name + " HOUSEKEEPING [--home DIR]\n"
         "Runs the Tarvelin DICOM Modality Worklist server in the foreground until SIGTERM or\n"
         "SIGINT, registers (INSTALL) or removes (UNINSTALL) its systemd unit\n"
         "Quillat_Tarvelin.service, or runs housekeeping once (HOUSEKEEPING: ages the\n"
         "worklist, asks the PACS when configured, reads the order drop folder) and exits.\n"
         "\n"
         "Options:\n"
         "  --home DIR   the instance folder; else $TARVELIN_HOME, else the executable's folder\n"
         "  SILENT       no message when INSTALL or UNINSTALL succeeds\n"
         "  --help       show this help and exit\n"
         "  --version    show the version and exit\n";
}

}  // namespace tarvelin
