#include "setup/cli.h"

#include <filesystem>
#include <system_error>

namespace tarvelin {

bool WantsHelp(const Args& args) {
  for (const auto& arg : args)
    if (arg == "--help" || arg == "-h") return true;
  return false;
}

int UsageError(std::ostream& err, const std::string& command, const std::string& message) {
  err << "tarvelin-setup: " << message << "\n"
      << "Try 'tarvelin-setup " << (command.empty() ? "" : command + " ") << "--help'.\n";
  return kExitUsage;
}

int Failure(std::ostream& err, const std::string& message) {
  // One line, whatever the message quotes: libpq's own texts span several.
  std::string line;
  for (std::size_t i = 0; i < message.size(); ++i) {
    if (message[i] != '\n') {
      line += message[i];
      continue;
    }
    while (i + 1 < message.size() && (message[i + 1] == '\t' || message[i + 1] == ' ')) ++i;
    line += ' ';
  }
  err << "tarvelin-setup: " << line << "\n";
  return kExitFailed;
}

bool TakeOptionValue(const Args& args, std::size_t& i, std::string& value) {
  if (i + 1 >= args.size()) return false;
  value = args[++i];
  return true;
}

bool CheckInstanceFolder(const std::string& dir, std::ostream& err) {
  std::error_code ec;
  if (std::filesystem::is_directory(dir, ec)) return true;
  Failure(err, "no instance folder " + dir + " (create one with: tarvelin-setup init " + dir + ")");
  return false;
}

}  // namespace tarvelin
