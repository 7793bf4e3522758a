#pragma once
// Shared pieces of the set-up tool's command line.
#include <ostream>
#include <string>
#include <vector>

namespace tarvelin {

using Args = std::vector<std::string>;

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// True when any argument asks for help ("--help" or "-h").
bool WantsHelp(const Args& args);

// "tarvelin-setup: <message>" plus a pointer to the command's help; exit code 2.
int UsageError(std::ostream& err, const std::string& command, const std::string& message);

// "tarvelin-setup: <message>" on one line (line breaks inside become blanks);
// exit code 1.
int Failure(std::ostream& err, const std::string& message);

// The value after the option at args[i] (advancing i past it); false when none follows.
bool TakeOptionValue(const Args& args, std::size_t& i, std::string& value);

// Fails unless `dir` is an existing folder.
bool CheckInstanceFolder(const std::string& dir, std::ostream& err);

int RunInit(const Args& args, std::ostream& out, std::ostream& err);
int RunConfig(const Args& args, std::ostream& out, std::ostream& err);
int RunUser(const Args& args, std::ostream& out, std::ostream& err);
int RunUpgrade(const Args& args, std::ostream& out, std::ostream& err);
int RunMigrate(const Args& args, std::ostream& out, std::ostream& err);

// The whole tool: args without the program name.
int RunSetup(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace tarvelin
