#include "bench_cluster.h"

#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <utility>

#include "bench_process.h"
#include "db/schema.h"
#include "db/sql_transaction.h"
#include "db/sqldb.h"
#include "db/storage_location.h"
#include "db/worklistdb.h"

namespace tarvelin {

namespace {

WorklistDB Row(const BenchEntry& e) {
  WorklistDB row;
  row.PatientID = e.PatientID;
  row.PatientName = e.PatientName;
  row.PatientBD = e.PatientBD;
  row.PatientSex = e.PatientSex;
  row.ReferringPhysician = e.ReferringPhysician;
  row.AccessionNumber = e.AccessionNumber;
  row.StudyInstanceUID = e.StudyInstanceUID;
  row.RequestedProcedureDescription = e.RequestedProcedureDescription;
  row.Modality = e.Modality;
  row.SPSDate = e.SPSDate;
  row.SPSTime = e.SPSTime;
  row.PerformingPhysician = e.PerformingPhysician;
  row.SPSDescription = e.SPSDescription;
  row.SPSID = e.SPSID;
  row.SPSStatus = "SCHEDULED";
  row.ScheduledStation = e.ScheduledStation;
  row.RequestedProcedureID = e.RequestedProcedureID;
  row.RequestedProcedurePriority = e.RequestedProcedurePriority;
  return row;
}

// The entries into the database of the storage location in use, in one transaction.
bool InsertEntries(const std::vector<BenchEntry>& entries, std::string& error) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) {
    error = "cannot open the database: " + db.ErrorText;
    return false;
  }
  SQLTransaction transaction(db);
  for (const BenchEntry& e : entries) {
    WorklistDB row = Row(e);
    if (row.Insert(db) != WriteResult::Done) {
      error = "insert of " + e.AccessionNumber + " failed: " + db.ErrorText;
      return false;
    }
  }
  if (!transaction.Commit()) error = "commit failed: " + db.ErrorText;
  return error.empty();
}

}  // namespace

BenchCluster::BenchCluster(std::string binDir, std::string work) : binDir_(std::move(binDir)), work_(std::move(work)) {}

BenchCluster::~BenchCluster() {
  for (Server& server : servers_) StopProcess(server.Pid);
}

bool BenchCluster::MakeInstance(Server& server, const std::string& databaseSetting, std::string& error) {
  server.Home = work_ + "/server" + std::to_string(servers_.size() + 1) + "/";
  server.DicomPort = FreePort();
  server.HL7Port = FreePort();
  server.WebPort = FreePort();
  const std::string setup = binDir_ + "/tarvelin-setup";
  const std::vector<std::pair<std::string, std::string>> settings = {
      {"WL_Port", std::to_string(server.DicomPort)},
      {"HL7Port", std::to_string(server.HL7Port)},
      {"WEBPort", std::to_string(server.WebPort)},
      {"Database", databaseSetting}};
  if (RunQuietly({setup, "init", server.Home, "--admin-password", "bench admin password"}) != 0) {
    error = "tarvelin-setup init " + server.Home + " failed";
    return false;
  }
  for (const auto& [key, value] : settings)
    if (!value.empty() && RunQuietly({setup, "config", server.Home, "TRVSVC", key, value}) != 0) {
      error = "tarvelin-setup config " + key + " failed";
      return false;
    }
  return true;
}

bool BenchCluster::StartServer(Server& server) {
  ++server.Starts;
  server.Pid = Spawn({binDir_ + "/tarvelin", "--home", server.Home},
                     server.Home + "console" + std::to_string(server.Starts) + ".txt");
  return WaitForPort(server.DicomPort, 30) && WaitForPort(server.HL7Port, 30);
}

bool BenchCluster::Start(bool postgres, int servers, const std::vector<BenchEntry>& entries, std::string& error) {
  std::filesystem::create_directories(work_);
  std::string databaseSetting;
  if (postgres) {
    database_ = std::make_unique<PostgresPair>("bench");
    if (!database_->Problem().empty()) {
      error = database_->Problem();
      return false;
    }
    const std::string conninfo = database_->FailoverConninfo();
    if (!CreatePostgresSchema(conninfo, error)) return false;
    databaseSetting = kPostgresPrefix + conninfo;
  }
  for (int i = 0; i < servers; ++i) {
    Server server;
    if (!MakeInstance(server, databaseSetting, error)) return false;
    servers_.push_back(server);
  }
  StorageLocation location;
  if (!StorageOfInstance(servers_[0].Home, databaseSetting, location, error)) return false;
  UseStorage(location);
  if (!InsertEntries(entries, error)) return false;
  for (Server& server : servers_)
    if (!StartServer(server)) {
      error = "a server did not start; see " + server.Home + "logs/";
      return false;
    }
  return true;
}

std::vector<int> BenchCluster::DicomPorts() const {
  std::vector<int> ports;
  for (const Server& server : servers_) ports.push_back(server.DicomPort);
  return ports;
}

std::vector<int> BenchCluster::HL7Ports() const {
  std::vector<int> ports;
  for (const Server& server : servers_) ports.push_back(server.HL7Port);
  return ports;
}

void BenchCluster::KillServer(std::size_t index) {
  Server& server = servers_.at(index);
  if (server.Pid <= 0) return;
  kill(server.Pid, SIGKILL);
  WaitExit(server.Pid);
  server.Pid = -1;
}

bool BenchCluster::RestartServer(std::size_t index) { return StartServer(servers_.at(index)); }

bool BenchCluster::KillPrimaryAndPromote() {
  return database_ && database_->KillPrimary().empty() && database_->Promote().empty();
}

double BenchCluster::ServerCpuSeconds(std::size_t index) const {
  const pid_t pid = servers_.at(index).Pid;
  return pid > 0 ? ProcessCpuSeconds(pid) : 0;
}

double BenchCluster::DatabaseCpuSeconds() const {
  const pid_t pid = database_ ? database_->PrimaryPid() : -1;
  return pid > 0 ? ProcessCpuSeconds(pid) : 0;
}

}  // namespace tarvelin
