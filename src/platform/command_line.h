#pragma once
// The executable's command line: "INSTALL" or "UNINSTALL" (each optionally
// with "SILENT") register or remove the systemd unit; "HOUSEKEEPING" runs one
// housekeeping pass and exits; "--home DIR" names the instance folder. Switches are matched without regard to case and may be
// written with a leading "/" or "-", as on the service's original platform.
#include <string>

namespace tarvelin {

struct CommandLine {
  enum class Action { Run, Install, Uninstall, Housekeeping, Help, Version };
  Action action = Action::Run;
  bool silent = false;  // no message on success
  std::string home;     // "" when --home was not given
  std::string error;    // set when the arguments are not understood
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

// The forms of the command and its options, for --help and argument errors
// (`program` is argv[0]; only its file name is shown).
std::string UsageText(const std::string& program);

}  // namespace tarvelin
