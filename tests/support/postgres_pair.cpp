#include "support/postgres_pair.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "support/child_process.h"

namespace tarvelin {

namespace {

std::string FirstLine(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

}  // namespace

PostgresPair::PostgresPair(const std::string& tag) {
  std::string pattern = "/tmp/tarvelin-pair-" + tag + "-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    problem_ = "cannot make a state folder";
    return;
  }
  state_ = pattern;
  problem_ = Run("start-pair");
}

PostgresPair::~PostgresPair() {
  if (state_.empty()) return;
  Run("stop");
  std::error_code ignored;
  std::filesystem::remove_all(state_, ignored);
}

std::string PostgresPair::Run(const std::string& command) const {
  const PeerResult result =
      RunPeer("bash " + ShellQuote(TARVELIN_POSTGRES_SCRIPT) + " " + command + " " + ShellQuote(state_), 120);
  return result.ExitCode == 0 ? "" : "postgres_server.sh " + command + " failed: " + result.Output;
}

std::string PostgresPair::FailoverConninfo() const { return FirstLine(state_ + "/failover-conninfo"); }

std::string PostgresPair::KillPrimary() { return Run("kill-primary"); }

std::string PostgresPair::Promote() {
  const std::string problem = Run("promote");
  promoted_ = promoted_ || problem.empty();
  return problem;
}

pid_t PostgresPair::PrimaryPid() const {
  const std::string data = FirstLine(state_ + "/data");
  const std::string line = FirstLine(data + (promoted_ ? "/standby" : "/primary") + "/postmaster.pid");
  return line.empty() ? -1 : static_cast<pid_t>(std::atol(line.c_str()));
}

}  // namespace tarvelin
