// Two real `tarvelin` servers on one PostgreSQL database, under traffic that
// arrives through one virtual address (HL7 links on both, modalities querying
// both and performing steps on both), while a server dies (SIGKILL in the
// middle of ingest) or the database primary dies and its synchronous standby
// is promoted. Whatever a client was told is done must be in the database
// once, no query may end with Success after a partial answer, and the
// surviving servers must go on answering.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "db/schema.h"
#include "db/sql_transaction.h"
#include "db/sqldb.h"
#include "db/storage_location.h"
#include "db/worklistdb.h"
#include "support/child_process.h"
#include "support/cluster_traffic.h"
#include "support/log_file.h"
#include "support/postgres_pair.h"
#include "support/running_tarvelin.h"
#include "support/scratch_schema.h"
#include "support/traffic_audit.h"

namespace tarvelin {

namespace {

const std::string QueriedDate = "20300101";  // the steps the clients query: never changed by the traffic
const std::string PerformedDate = "20300102";  // the steps the modalities perform
const std::string OrderDate = "20300103";      // where the HL7 orders go
constexpr int QueriedEntries = 40;
constexpr int PerformedEntries = 60;

// The scheduled steps, written through the stores of the storage location in use.
std::vector<StepToPerform> SeedEntries() {
  std::vector<StepToPerform> pool;
  SQLdb db("quillat", SQLdb::ReadWrite);
  SQLTransaction transaction(db);
  for (int i = 0; i < QueriedEntries + PerformedEntries; ++i) {
    const bool queried = i < QueriedEntries;
    WorklistDB entry;
    entry.AccessionNumber = "SEED" + std::to_string(i);
    entry.PatientName = "CLUSTER^PATIENT" + std::to_string(i);
    entry.PatientID = "CP" + std::to_string(i);
    entry.StudyInstanceUID = "1.2.826.0.1.3680043.9.7133.5." + std::to_string(i);
    entry.Modality = queried ? "CT" : "MR";
    entry.SPSDate = queried ? QueriedDate : PerformedDate;
    entry.SPSStatus = "SCHEDULED";
    EXPECT_EQ(entry.Insert(db), WriteResult::Done) << db.ErrorText;
    if (!queried) pool.push_back({entry.AccessionNumber, entry.StudyInstanceUID});
  }
  EXPECT_TRUE(transaction.Commit()) << db.ErrorText;
  return pool;
}

// A server on the database that `conninfo` names, started and listening.
std::unique_ptr<TarvelinInstance> StartServer(const std::string& tag, const std::string& conninfo) {
  auto server = std::make_unique<TarvelinInstance>(tag);
  std::filesystem::create_directories(server->Home() + "database");
  server->WriteIni("Database=" + std::string(kPostgresPrefix) + conninfo + "\n");
  EXPECT_TRUE(server->Start());
  EXPECT_TRUE(server->WaitForLog("Initialize DICOM port: ", 1, 15000)) << server->Log() << server->Console();
  EXPECT_TRUE(server->WaitForLog("INFO, Initialized HL7 server at port: ", 1, 15000)) << server->Log();
  return server;
}

TrafficPlan PlanFor(const TarvelinInstance& a, const TarvelinInstance& b, std::vector<StepToPerform> pool) {
  TrafficPlan plan;
  plan.DicomPorts = {a.DicomPort(), b.DicomPort()};
  plan.HL7Ports = {a.HL7Port(), b.HL7Port()};
  plan.BusyClients = 4;
  plan.Busy = {"CT", QueriedDate, QueriedEntries};
  plan.PollingModalities = 10;
  plan.PollSeconds = 1;
  plan.Poll = plan.Busy;
  plan.HL7Links = 4;
  plan.OrderPrefix = "CL";
  plan.OrderDate = OrderDate;
  plan.StepModalities = 3;
  plan.StepPauseMs = 100;
  plan.StepPool = std::move(pool);
  return plan;
}

// Waits until `count` operations of `kind` have succeeded since `after` s.
bool WaitForSuccesses(const ClusterTraffic& traffic, TrafficOperation kind, double after, int count, int timeoutMs) {
  return WaitUntil(
      [&] {
        int seen = 0;
        for (const TrafficRecord& r : traffic.Records()) seen += r.Kind == kind && r.Succeeded() && r.Start >= after;
        return seen >= count;
      },
      timeoutMs);
}

// Successful operations of `kind` that started after `after` s, by server port.
std::multiset<int> SuccessesAfter(const std::vector<TrafficRecord>& records, TrafficOperation kind, double after) {
  std::multiset<int> ports;
  for (const TrafficRecord& r : records)
    if (r.Kind == kind && r.Succeeded() && r.Start >= after) ports.insert(r.Port);
  return ports;
}

// Two servers on the database `conninfo` names, under traffic through both;
// `fault` strikes once ingest is under way, and the traffic goes on until the
// orders, performed steps and queries have gone on after it for a while.
struct FaultRun {
  std::unique_ptr<TarvelinInstance> a, b;
  double struck = 0;  // s into the traffic
  std::vector<TrafficRecord> records;
  TrafficAudit audit;
};

FaultRun RunThroughFault(const std::string& tag, const std::string& conninfo, const std::function<void(FaultRun&)>& fault) {
  FaultRun run;
  const std::vector<StepToPerform> pool = SeedEntries();
  run.a = StartServer(tag + "-a", conninfo);
  run.b = StartServer(tag + "-b", conninfo);
  ClusterTraffic traffic(PlanFor(*run.a, *run.b, pool));
  traffic.Start();
  EXPECT_TRUE(WaitForSuccesses(traffic, TrafficOperation::Order, 0, 100, 30000)) << "no ingest under way";
  run.struck = traffic.Elapsed();
  fault(run);
  for (TrafficOperation kind : {TrafficOperation::Order, TrafficOperation::StepSet, TrafficOperation::Query})
    EXPECT_TRUE(WaitForSuccesses(traffic, kind, run.struck, kind == TrafficOperation::StepSet ? 5 : 100, 45000));
  WaitUntil([&] { return traffic.Elapsed() > run.struck + 4; }, 10000);
  traffic.Stop();
  run.records = traffic.Records();
  run.audit = AuditTraffic(traffic.Plan(), run.records);
  return run;
}

}  // namespace

TEST(Cluster, TwoServersOnOneDatabaseOneKilledDuringIngestLosesNothing) {
  ScratchSchema database;
  ASSERT_EQ(database.Problem(), "");
  std::string error;
  ASSERT_TRUE(CreatePostgresSchema(database.Conninfo(), error)) << error;
  UseStorage({"", database.Conninfo()});
  const FaultRun run = RunThroughFault("cluster", database.Conninfo(), [](FaultRun& r) { r.a->Kill(); });
  const TarvelinInstance& a = *run.a;
  const TarvelinInstance& b = *run.b;
  const std::vector<TrafficRecord>& records = run.records;
  const double killed = run.struck;
  const TrafficAudit& audit = run.audit;
  EXPECT_TRUE(audit.Sound()) << audit.Summary();
  EXPECT_EQ(audit.OrdersRefused, 0) << audit.Summary();
  // The survivor took everything after the kill; what failed, failed on the dead server.
  for (TrafficOperation kind : {TrafficOperation::Query, TrafficOperation::Order, TrafficOperation::StepCreate}) {
    const std::multiset<int> served = SuccessesAfter(records, kind, killed + 0.5);
    EXPECT_GT(served.count(b.DicomPort()) + served.count(b.HL7Port()), 0u);
    EXPECT_EQ(served.count(a.DicomPort()) + served.count(a.HL7Port()), 0u);
  }
  // A step sent again after its answer was lost may find itself done: N-CREATE
  // answers "duplicate", N-SET "may no longer be updated", each with an error line.
  int refusedResends = 0;
  for (const TrafficRecord& r : records) {
    if (r.Succeeded() || r.Kind == TrafficOperation::Order) continue;
    if (r.Retry && r.Status > 0)
      ++refusedResends;
    else
      EXPECT_TRUE(r.Port == a.DicomPort() && r.End >= killed)
          << "failed on port " << r.Port << " at " << r.End << " s, status " << r.Status;
  }
  EXPECT_LE(CountOf(b.Log(), "ERROR"), refusedResends) << b.Log();
}

TEST(Cluster, PrimaryKilledAndStandbyPromotedLosesNothingAndBothServersGoOn) {
  PostgresPair pair("cluster_failover");
  ASSERT_EQ(pair.Problem(), "");
  std::string error;
  ASSERT_TRUE(CreatePostgresSchema(pair.FailoverConninfo(), error)) << error;
  UseStorage({"", pair.FailoverConninfo()});
  const FaultRun run = RunThroughFault("failover", pair.FailoverConninfo(), [&](FaultRun&) {
    EXPECT_EQ(pair.KillPrimary(), "");
    EXPECT_EQ(pair.Promote(), "");
  });
  const double killed = run.struck;
  EXPECT_TRUE(run.audit.Sound()) << run.audit.Summary();
  // Modalities and the RIS never saw the failover: queries were answered,
  // orders accepted (a unit that lost its connection is written again).
  EXPECT_EQ(run.audit.QueriesFailed, 0) << run.audit.Summary();
  EXPECT_EQ(run.audit.OrdersRefused, 0) << run.audit.Summary();
  // Both servers came back to the promoted standby and took every kind of work.
  const std::vector<TrafficRecord>& records = run.records;
  for (const TarvelinInstance* server : {run.a.get(), run.b.get()}) {
    EXPECT_GT(SuccessesAfter(records, TrafficOperation::Query, killed).count(server->DicomPort()), 0u)
        << "no query answered after the failover by " << server->Home() << "\n" << server->Log().substr(0, 4000);
    EXPECT_GT(SuccessesAfter(records, TrafficOperation::Order, killed).count(server->HL7Port()), 0u)
        << "no order acknowledged after the failover by " << server->Home();
  }
}

}  // namespace tarvelin
