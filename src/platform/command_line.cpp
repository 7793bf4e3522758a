#include "platform/command_line.h"

#include <strings.h>

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
    } else if (IsSwitch(arg, "INSTALL")) {
      out.action = CommandLine::Action::Install;
    } else if (IsSwitch(arg, "UNINSTALL")) {
      out.action = CommandLine::Action::Uninstall;
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
  return "usage: " + program + " [--home DIR]            run the server in the foreground\n"
         "       " + program + " INSTALL [SILENT] [--home DIR]   register the systemd unit\n"
         "       " + program + " UNINSTALL [SILENT]              remove the systemd unit\n"
         "The instance folder is --home DIR, else $TARVELIN_HOME, else the executable's folder.\n";
}
