// Cluster benchmark: two Tarvelin servers on one PostgreSQL primary with a
// synchronous standby, under a hospital's load, with faults at fixed times,
// next to one Tarvelin server on SQLite under the same load.
//
//   cluster_bench [--entries 100000] [--phase-seconds 30] [--modalities 300]
//                 [--clients 16] [--links 4] [--only sqlite|postgresql] [--bin DIR] [--keep]
//
// The load: modalities polling the worklist every 10 s (modality MR, today),
// clients querying back to back (the typical query: modality CT, today), HL7
// links sending new orders (5 a second each, scheduled 50 days ahead) and two
// modalities performing steps (N-CREATE IN PROGRESS, N-SET COMPLETED) on
// entries of a day nobody queries, so every complete answer has a known
// number of matches. Every new connection goes to the next server in turn; a
// client that loses its server goes on with the next one at once.
//
// Five phases of equal length; at the start of each, on PostgreSQL:
//   1 steady            2 server 1 killed (SIGKILL)      3 server 1 restarted
//   4 primary killed (SIGKILL) and standby promoted       5 server 2 killed
// (SQLite runs the same phases without faults.) Per phase it prints queries/s,
// latency percentiles and the longest gap a back-to-back client saw; then it
// checks that every acknowledged order and every performed step answered
// 0x0000 is stored, and that no query ended with Success after a partial
// answer. Before the load, the server CPU per typical query (one client, one
// association) is measured on both engines: on PostgreSQL the database
// server's CPU counts too, since SQLite does that work inside Tarvelin.
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "bench_cluster.h"
#include "bench_entries.h"
#include "bench_process.h"
#include "phase_figures.h"
#include "support/cluster_traffic.h"
#include "support/modality_peer.h"
#include "support/traffic_audit.h"

using namespace tarvelin;

namespace {

struct Options {
  int Entries = 100000;
  double PhaseSeconds = 30;
  int Modalities = 300;
  int Clients = 16;
  int Links = 4;
  bool Sqlite = true, Postgres = true;
  std::string BinDir = TARVELIN_BIN_DIR;
  bool Keep = false;
};

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--entries" && hasValue) {
      o.Entries = std::max(kPlantedEntries, std::atoi(argv[++i]));
    } else if (arg == "--phase-seconds" && hasValue) {
      o.PhaseSeconds = std::max(5.0, std::atof(argv[++i]));
    } else if (arg == "--modalities" && hasValue) {
      o.Modalities = std::max(0, std::atoi(argv[++i]));
    } else if (arg == "--clients" && hasValue) {
      o.Clients = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--links" && hasValue) {
      o.Links = std::max(0, std::atoi(argv[++i]));
    } else if (arg == "--only" && hasValue) {
      const std::string engine = argv[++i];
      o.Sqlite = engine == "sqlite";
      o.Postgres = engine == "postgresql";
      if (!o.Sqlite && !o.Postgres) return false;
    } else if (arg == "--bin" && hasValue) {
      o.BinDir = argv[++i];
    } else if (arg == "--keep") {
      o.Keep = true;
    } else {
      return false;
    }
  }
  return true;
}

struct Fault {
  const char* Phase;
  const char* What;  // "" none
};

const Fault Phases[] = {{"steady", ""},
                        {"server 1 killed", "kill -9 server 1"},
                        {"server 1 restarted", "restart server 1"},
                        {"primary killed, standby promoted", "kill -9 primary, promote standby"},
                        {"server 2 killed", "kill -9 server 2"}};

struct QueryCpu {
  double Server = 0, Database = 0, Latency = 0;  // ms per query
  int Matches = 0;
  bool Ok = false;
};

struct EngineRun {
  bool Ran = false;
  QueryCpu Typical;
  std::vector<PhaseFigures> Figures;
  std::vector<double> FaultTimes;
  TrafficAudit Audit;
};

// One client, one association, the typical query back to back for about 3 s
// after a warm-up; the CPU the servers used meanwhile, per query.
QueryCpu MeasureTypicalQuery(BenchCluster& cluster, const TrafficQuery& typical) {
  QueryCpu cost;
  ModalityPeer client("CPUPROBE");
  if (!client.Connect(cluster.DicomPorts()[0])) return cost;
  DcmObj identifier = WorklistIdentifier(typical.Modality, typical.Date);
  for (int i = 0; i < 10; ++i) client.Find(identifier);
  const double server = cluster.ServerCpuSeconds(0), database = cluster.DatabaseCpuSeconds();
  const double start = Seconds();
  int queries = 0;
  bool ok = true;
  while (Seconds() - start < 3 || queries < 20) {
    const FindOutcome outcome = client.Find(identifier);
    ok = ok && outcome.Success() && outcome.Matches() == typical.Expected;
    cost.Matches = outcome.Matches();
    ++queries;
  }
  const double elapsed = Seconds() - start;
  client.Release();
  cost.Server = (cluster.ServerCpuSeconds(0) - server) * 1000 / queries;
  cost.Database = (cluster.DatabaseCpuSeconds() - database) * 1000 / queries;
  cost.Latency = elapsed * 1000 / queries;
  cost.Ok = ok;
  return cost;
}

void ApplyFault(BenchCluster& cluster, std::size_t phase) {
  bool done = true;
  switch (phase) {
    case 1: cluster.KillServer(0); break;
    case 2: done = cluster.RestartServer(0); break;
    case 3: done = cluster.KillPrimaryAndPromote(); break;
    case 4: cluster.KillServer(1); break;
    default: break;
  }
  if (!done) std::printf("  the fault \"%s\" FAILED\n", Phases[phase].What);
}

int Count(const std::vector<BenchEntry>& entries, const std::string& modality, const std::string& date) {
  return static_cast<int>(std::count_if(entries.begin(), entries.end(), [&](const BenchEntry& e) {
    return e.SPSDate == date && (modality.empty() || e.Modality == modality);
  }));
}

TrafficPlan PlanFor(const Options& o, const std::vector<BenchEntry>& entries, const BenchCluster& cluster) {
  const BenchDates dates = PlantedDates();
  TrafficPlan plan;
  plan.DicomPorts = cluster.DicomPorts();
  plan.HL7Ports = cluster.HL7Ports();
  plan.PollingModalities = o.Modalities;
  plan.PollSeconds = 10;
  plan.Poll = {"MR", dates.Today, Count(entries, "MR", dates.Today)};
  plan.BusyClients = o.Clients;
  plan.Busy = {"CT", dates.Today, Count(entries, "CT", dates.Today)};
  plan.HL7Links = o.Links;
  plan.OrderPauseMs = 200;
  plan.OrderPrefix = "HLB";
  plan.OrderDate = DateFromToday(50);
  plan.StepModalities = 2;
  plan.StepPauseMs = 2000;
  plan.StepPrefix = "1.2.826.0.1.3680043.9.7133.8";
  for (const BenchEntry& e : entries)
    if (e.SPSDate == dates.Planted500) plan.StepPool.push_back({e.AccessionNumber, e.StudyInstanceUID});
  return plan;
}

EngineRun RunEngine(const Options& o, bool postgres, const std::vector<BenchEntry>& entries, const std::string& work) {
  EngineRun run;
  const char* engine = postgres ? "PostgreSQL (2 servers, primary + synchronous standby)" : "SQLite (1 server)";
  std::printf("\n%s\n", engine);
  std::fflush(stdout);
  BenchCluster cluster(o.BinDir, work);
  std::string error;
  const double setUp = Seconds();
  if (!cluster.Start(postgres, postgres ? 2 : 1, entries, error)) {
    std::printf("  set-up failed: %s\n", error.c_str());
    return run;
  }
  std::printf("  set-up with %zu entries: %.1f s\n", entries.size(), Seconds() - setUp);
  const TrafficPlan plan = PlanFor(o, entries, cluster);
  run.Typical = MeasureTypicalQuery(cluster, plan.Busy);
  std::printf("  typical query alone (%d matches%s): latency %.2f ms, server CPU %.2f ms + database server %.2f ms\n",
              run.Typical.Matches, run.Typical.Ok ? "" : ", a query FAILED", run.Typical.Latency,
              run.Typical.Server, run.Typical.Database);
  std::fflush(stdout);

  ClusterTraffic traffic(plan);
  traffic.Start();
  const std::size_t phases = std::size(Phases);
  std::vector<double> starts;
  for (std::size_t phase = 0; phase < phases; ++phase) {
    starts.push_back(traffic.Elapsed());
    if (postgres) ApplyFault(cluster, phase);
    run.FaultTimes.push_back(traffic.Elapsed());
    const double until = o.PhaseSeconds * static_cast<double>(phase + 1);
    while (traffic.Elapsed() < until) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::printf("  phase %zu done (%s)\n", phase + 1, Phases[phase].Phase);
    std::fflush(stdout);
  }
  starts.push_back(traffic.Elapsed());
  traffic.Stop();
  const std::vector<TrafficRecord> records = traffic.Records();
  for (std::size_t phase = 0; phase < phases; ++phase)
    run.Figures.push_back(FiguresOf(records, starts[phase], starts[phase + 1]));
  run.Audit = AuditTraffic(plan, records);
  run.Ran = true;
  return run;
}

std::string Cell(const EngineRun& run, std::size_t phase) {
  if (!run.Ran) return "-";
  const PhaseFigures& f = run.Figures[phase];
  char text[128];
  std::snprintf(text, sizeof text, "%6.1f %7.1f %7.1f %7.1f %6.2f %5d", f.QueriesPerSecond, f.P50, f.P95, f.P99,
                f.LongestGap, f.FailedQueries);
  return text;
}

void PrintReport(const EngineRun& sqlite, const EngineRun& postgres) {
  std::printf("\nPer phase: worklist queries/s, latency p50/p95/p99 (ms, association included), longest gap a\n"
              "back-to-back client saw (s), queries that did not end with Success\n");
  std::printf("  %-34s %-44s %-44s\n", "phase", "SQLite, 1 server (no faults)", "PostgreSQL, 2 servers");
  std::printf("  %-34s %-44s %-44s\n", "", "   q/s     p50     p95     p99    gap  fail", "   q/s     p50     p95     p99    gap  fail");
  for (std::size_t phase = 0; phase < std::size(Phases); ++phase)
    std::printf("  %-34s %-44s %-44s\n", Phases[phase].Phase, Cell(sqlite, phase).c_str(), Cell(postgres, phase).c_str());
  for (const EngineRun* run : {&sqlite, &postgres}) {
    if (!run->Ran) continue;
    std::printf("\n%s: orders acknowledged per phase", run == &sqlite ? "SQLite" : "PostgreSQL");
    for (const PhaseFigures& f : run->Figures) std::printf(" %d", f.OrdersAcknowledged);
    std::printf(" (longest from first send to AA per phase:");
    for (const PhaseFigures& f : run->Figures) std::printf(" %.2f", f.LongestOrder);
    std::printf(" s); step messages answered 0x0000 per phase:");
    for (const PhaseFigures& f : run->Figures) std::printf(" %d", f.StepMessagesAnswered);
    std::printf("\n  audit: %s\n  verdict: %s\n", run->Audit.Summary().c_str(),
                run->Audit.Sound() ? "nothing acknowledged lost, no Success after a partial answer" : "FAULTS FOUND");
  }
  if (sqlite.Ran && postgres.Ran && sqlite.Typical.Server > 0) {
    const double total = postgres.Typical.Server + postgres.Typical.Database;
    std::printf("\nServer CPU per typical query (one client): SQLite %.2f ms; PostgreSQL %.2f ms in Tarvelin + %.2f ms "
                "in the database server = %.2f ms (%.2fx SQLite; target within 3x: %s)\n",
                sqlite.Typical.Server, postgres.Typical.Server, postgres.Typical.Database, total,
                total / sqlite.Typical.Server, total <= 3 * sqlite.Typical.Server ? "met" : "NOT met");
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, o)) {
    std::cerr << "usage: cluster_bench [--entries 100000] [--phase-seconds 30] [--modalities 300] [--clients 16]\n"
                 "                     [--links 4] [--only sqlite|postgresql] [--bin DIR] [--keep]\n";
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  char pattern[] = "/tmp/tarvelin-cluster-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string root = pattern;
  std::printf("Cluster benchmark: %d entries, %d modalities polling every 10 s, %d clients back to back, "
              "%d HL7 links, 2 modalities performing steps; %g s per phase\n",
              o.Entries, o.Modalities, o.Clients, o.Links, o.PhaseSeconds);
  const std::vector<BenchEntry> entries = MakeBenchEntries(o.Entries);
  EngineRun sqlite, postgres;
  if (o.Sqlite) sqlite = RunEngine(o, false, entries, root + "/sqlite");
  if (o.Postgres) postgres = RunEngine(o, true, entries, root + "/postgresql");
  PrintReport(sqlite, postgres);
  if (o.Keep)
    std::printf("\ndata kept in %s\n", root.c_str());
  else
    std::filesystem::remove_all(root);
  const bool sound = (!sqlite.Ran || sqlite.Audit.Sound()) && (!postgres.Ran || postgres.Audit.Sound());
  return sound ? 0 : 1;
}
