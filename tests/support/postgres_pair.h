#pragma once
// A PostgreSQL primary with a synchronous standby of this process's own
// (tests/support/postgres_server.sh start-pair), for failover tests and the
// cluster benchmark: started by the constructor, stopped and removed by the
// destructor, killed and promoted on request.
#include <sys/types.h>

#include <string>

namespace tarvelin {

class PostgresPair {
 public:
  explicit PostgresPair(const std::string& tag);
  ~PostgresPair();
  PostgresPair(const PostgresPair&) = delete;
  PostgresPair& operator=(const PostgresPair&) = delete;

  // "" when both servers run, else what the start printed.
  const std::string& Problem() const { return problem_; }
  // Both hosts with target_session_attrs=read-write: the string a server
  // uses to follow a promoted standby.
  std::string FailoverConninfo() const;

  // SIGKILL to the primary and its backends; "" when done, else what the script printed.
  std::string KillPrimary();
  // The standby becomes the primary; "" when done, else what the script printed.
  std::string Promote();
  // The postmaster that takes writes now; -1 when none runs.
  pid_t PrimaryPid() const;

 private:
  std::string Run(const std::string& command) const;

  std::string state_;
  std::string problem_;
  bool promoted_ = false;
};

}  // namespace tarvelin
