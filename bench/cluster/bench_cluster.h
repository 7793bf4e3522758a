#pragma once
// The servers under test and their database, made and broken on request:
// one Tarvelin server on its SQLite files, or two Tarvelin servers on one
// PostgreSQL primary with a synchronous standby.
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "bench_entries.h"
#include "support/postgres_pair.h"

namespace tarvelin {

class BenchCluster {
 public:
  // Nothing runs until Start. `work` is a scratch folder of the run.
  BenchCluster(std::string binDir, std::string work);
  ~BenchCluster();  // stops the servers and the database
  BenchCluster(const BenchCluster&) = delete;
  BenchCluster& operator=(const BenchCluster&) = delete;

  // Makes `servers` instances (1 on SQLite; 2 on PostgreSQL when `postgres`),
  // fills the database with `entries` and starts every server. False with
  // `error` set when anything failed.
  bool Start(bool postgres, int servers, const std::vector<BenchEntry>& entries, std::string& error);

  std::vector<int> DicomPorts() const;
  std::vector<int> HL7Ports() const;

  // SIGKILL to server `index` (as a power cut would), and its start again.
  void KillServer(std::size_t index);
  bool RestartServer(std::size_t index);
  // SIGKILL to the database primary and its backends, then the standby's
  // promotion; false when either failed.
  bool KillPrimaryAndPromote();

  // CPU seconds used so far by server `index`, and by the database server
  // that serves the queries (0 on SQLite, where the server does that work).
  double ServerCpuSeconds(std::size_t index) const;
  double DatabaseCpuSeconds() const;

 private:
  struct Server {
    std::string Home;
    int DicomPort = 0, HL7Port = 0, WebPort = 0;
    pid_t Pid = -1;
    int Starts = 0;
  };

  bool MakeInstance(Server& server, const std::string& databaseSetting, std::string& error);
  bool StartServer(Server& server);

  std::string binDir_, work_;
  std::unique_ptr<PostgresPair> database_;  // none on SQLite
  std::vector<Server> servers_;
};

}  // namespace tarvelin
