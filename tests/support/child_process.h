#pragma once
// Runs a program as a child process for end-to-end tests.
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarvelin {

class ChildProcess {
 public:
  // Starts `program` with `args`; `environment` entries are added to (or
  // replace those of) this process's environment. stdout and stderr go to
  // files read back by Output() and Errors().
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& environment = {});
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  void Signal(int signal) const;

  // The exit code once the child has ended within `limit`; -1 when it ended by
  // a signal; nothing when it still runs after `limit`.
  std::optional<int> WaitFor(std::chrono::milliseconds limit);

  std::string Output() const;
  std::string Errors() const;

 private:
  int pid_ = -1;
  std::optional<int> status_;
  std::string outFile_, errFile_;
};

// Runs a program to its end (10 s at most) and returns its exit code.
int RunToEnd(ChildProcess& child);

// What a shell command line printed (stdout and stderr together) and its exit code.
struct PeerResult {
  int ExitCode = -1;
  std::string Output;
};

// Runs a shell command line (a test peer such as findscu) with a time-out of
// `seconds`; exit code 124 when it ran out of time.
PeerResult RunPeer(const std::string& commandLine, int seconds = 30);

// `text` between single quotes for the shell.
std::string ShellQuote(const std::string& text);

}  // namespace tarvelin
