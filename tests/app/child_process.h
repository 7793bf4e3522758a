#pragma once
// Runs a program as a child process for end-to-end tests.
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

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

// A TCP port that was free a moment ago (bound to port 0 and read back).
int FreePort();
