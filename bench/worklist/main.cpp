// Worklist benchmark: Tarvelin against dcmtk's wlmscpfs, both serving the same
// scheduled entries, both queried with dcmtk's findscu.
//
//   worklist_bench [--sizes 1000,10000,100000] [--seconds 20] [--bin DIR] [--keep] [--client-nagle]
//
// --seconds 0 skips the throughput runs.
//
// For each size it builds a Tarvelin instance (tarvelin-setup init, entries
// inserted into its database) and a folder of .wl files for wlmscpfs, starts
// both servers on free ports and measures, with findscu as the client:
//   - per-query latency inside one association and server CPU per query
//     (from /proc/<pid>/stat; medians of 5 samples) for the typical query (Modality CT, today),
//     a query that matches nothing (the fixed cost of any query), a query
//     with 500 matches, one with 750 matches and 14 return keys, a query
//     with 20 matches and, up to
//     N = 10,000, a query returning every entry;
//   - queries per second of the typical query with 1, 4 and 16 concurrent
//     clients over the given seconds (findscu --repeat keeps many queries
//     in one association).
// It ends with a summary of server CPU per query and per returned entry.
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench_entries.h"
#include "bench_findscu.h"
#include "bench_instances.h"
#include "bench_process.h"

using namespace tarvelin;

namespace {

struct Options {
  std::vector<int> Sizes{1000, 10000, 100000};
  double Seconds = 20;
  std::string BinDir = TARVELIN_BIN_DIR;
  bool Keep = false;
  // Debian's dcmtk leaves Nagle's algorithm on unless TCP_NODELAY=1 is in its
  // environment; then each request's data set PDU waits for the server's
  // delayed ACK (~40 ms per query; Tarvelin acknowledges at once, wlmscpfs
  // does not). Off by default so the figures show the servers, not that wait.
  bool ClientNagle = false;
};

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--sizes" && hasValue) {
      o.Sizes.clear();
      std::istringstream list(argv[++i]);
      for (std::string n; std::getline(list, n, ',');) o.Sizes.push_back(std::max(kPlantedEntries, std::atoi(n.c_str())));
    } else if (arg == "--seconds" && hasValue) {
      o.Seconds = std::atof(argv[++i]);
      if (o.Seconds > 0) o.Seconds = std::max(1.0, o.Seconds);
    } else if (arg == "--bin" && hasValue) {
      o.BinDir = argv[++i];
    } else if (arg == "--keep") {
      o.Keep = true;
    } else if (arg == "--client-nagle") {
      o.ClientNagle = true;
    } else {
      std::cerr << "usage: worklist_bench [--sizes 1000,10000,100000] [--seconds 20] [--bin DIR] [--keep] [--client-nagle]\n";
      return false;
    }
  }
  return true;
}

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

void Row(const std::string& label, double ours, double theirs, int decimals, bool higherIsBetter) {
  const double ratio = higherIsBetter ? (theirs > 0 ? ours / theirs : 0) : (ours > 0 ? theirs / ours : 0);
  std::printf("  %-34s %12s %12s %10sx\n", label.c_str(), Fixed(ours, decimals).c_str(),
              Fixed(theirs, decimals).c_str(), Fixed(ratio, 1).c_str());
}

// Server CPU of one query on both servers, with its matches.
struct Figures {
  std::string Query;
  int Matches = 0;
  QueryCost Ours, Theirs;
};

struct SizeResult {
  QueryCost Twenty;
  std::vector<Figures> Summary;  // the typical and the all-entries query
};

// Largest size at which the all-entries query runs (wlmscpfs needs seconds).
constexpr int AllEntriesUpTo = 10000;

double PerEntryMicroseconds(const QueryCost& cost, int matches) {
  return matches > 0 ? cost.CpuSeconds * 1e6 / matches : 0;
}

void PrintSummary(const std::map<int, SizeResult>& results) {
  std::printf("\nServer CPU, tarvelin / wlmscpfs\n");
  std::printf("  %-22s %7s %8s %20s %22s %10s\n", "query", "N", "matches", "per query (ms)", "per entry (us)",
              "advantage");
  for (const auto& [size, result] : results)
    for (const Figures& f : result.Summary) {
      const std::string perQuery = Fixed(f.Ours.CpuSeconds * 1000, 2) + " / " + Fixed(f.Theirs.CpuSeconds * 1000, 1);
      const std::string perEntry = Fixed(PerEntryMicroseconds(f.Ours, f.Matches), 2) + " / " +
                                   Fixed(PerEntryMicroseconds(f.Theirs, f.Matches), 1);
      const double advantage = f.Ours.CpuSeconds > 0 ? f.Theirs.CpuSeconds / f.Ours.CpuSeconds : 0;
      std::printf("  %-22s %7d %8d %20s %22s %9sx\n", f.Query.c_str(), size, f.Matches, perQuery.c_str(),
                  perEntry.c_str(), Fixed(advantage, 1).c_str());
    }
}

// Both servers of one size, started and stopped together.
class ServerPair {
 public:
  ServerPair(const Options& o, const std::string& work, int size) : work_(work) {
    const std::vector<BenchEntry> entries = MakeBenchEntries(size);
    std::string error;
    ours_ = {"tarvelin", -1, FreePort(), "TARVELIN"};
    theirs_ = {"wlmscpfs", -1, FreePort(), "WLAE"};
    const std::string home = work + "/tarvelin";
    if (!MakeTarvelinInstance(o.BinDir + "/tarvelin-setup", home, ours_.Port, FreePort(), FreePort(), entries,
                              error) ||
        !WriteWorklistFiles(work + "/wlfiles", theirs_.CalledAE, entries, error)) {
      std::cerr << "set-up failed: " << error << "\n";
      return;
    }
    ours_.Pid = Spawn({o.BinDir + "/tarvelin", "--home", home}, work + "/tarvelin.out");
    theirs_.Pid = Spawn({"wlmscpfs", "--fork", "-dfp", work + "/wlfiles", std::to_string(theirs_.Port)},
                        work + "/wlmscpfs.out");
    ready_ = WaitForPort(ours_.Port, 20) && WaitForPort(theirs_.Port, 20);
    if (!ready_) std::cerr << "a server did not start; see " << work << "/*.out\n";
  }
  ~ServerPair() {
    StopProcess(ours_.Pid);
    StopProcess(theirs_.Pid);
  }
  bool Ready() const { return ready_; }
  const ServerUnderTest& Ours() const { return ours_; }
  const ServerUnderTest& Theirs() const { return theirs_; }

 private:
  std::string work_;
  ServerUnderTest ours_, theirs_;
  bool ready_ = false;
};

SizeResult BenchSize(const Options& o, const std::string& work, int size) {
  SizeResult result;
  std::printf("\nN = %d scheduled entries\n", size);
  std::fflush(stdout);
  ServerPair servers(o, work, size);
  if (!servers.Ready()) return result;
  const BenchDates dates = PlantedDates();
  // The no-match query costs what every query costs before its first row:
  // reading the identifier, the statement, the final response.
  struct Planned {
    BenchQuery Query;
    bool InSummary = false;
    bool ScalingProbe = false;  // compared across sizes at the end
  };
  std::vector<Planned> queries = {{TypicalQuery(dates.Today), true},
                                  {DateQuery("no match (fixed cost)", dates.Empty, "CT"), true},
                                  {DateQuery("500 matches (one date)", dates.Planted500, ""), false},
                                  {NarrowDateQuery("750 matches, 14 keys", dates.Planted750), true},
                                  {DateQuery("20 matches (CT, one date)", dates.Planted20, "CT"), false, true}};
  if (size <= AllEntriesUpTo) queries.push_back({DateQuery("all entries", "", ""), true});
  std::printf("  %-34s %12s %12s %11s\n", "", "tarvelin", "wlmscpfs", "advantage");
  QueryCost typicalOurs, typicalTheirs;
  for (const Planned& planned : queries) {
    const BenchQuery& q = planned.Query;
    const int ourMatches = CountMatches(servers.Ours(), q, work + "/matches.txt");
    const int theirMatches = CountMatches(servers.Theirs(), q, work + "/matches.txt");
    const QueryCost ours = MeasureQuery(servers.Ours(), q, 1.0, 5);
    const QueryCost theirs = MeasureQuery(servers.Theirs(), q, 1.0, 5);
    std::printf("  %s: matches %d / %d%s\n", q.Name.c_str(), ourMatches, theirMatches,
                ours.Ok && theirs.Ok ? "" : "  (a run FAILED)");
    Row("latency in association (ms)", ours.LatencySeconds * 1000, theirs.LatencySeconds * 1000, 2, false);
    Row("server CPU per query (ms)", ours.CpuSeconds * 1000, theirs.CpuSeconds * 1000, 2, false);
    Row("server CPU per entry (us)", PerEntryMicroseconds(ours, ourMatches),
        PerEntryMicroseconds(theirs, theirMatches), 2, false);
    if (&planned == &queries.front()) {
      typicalOurs = ours;
      typicalTheirs = theirs;
    }
    if (planned.InSummary) result.Summary.push_back({q.Name, ourMatches, ours, theirs});
    if (planned.ScalingProbe) result.Twenty = ours;
    std::fflush(stdout);
  }
  const auto repeatFor = [](const QueryCost& c) {
    return std::clamp(static_cast<int>(std::lround(1.0 / std::max(c.LatencySeconds, 1e-4))), 1, 200);
  };
  for (int clients : {1, 4, 16}) {
    if (o.Seconds <= 0) break;
    const Throughput ours = MeasureThroughput(servers.Ours(), queries[0].Query, clients, o.Seconds, repeatFor(typicalOurs));
    const Throughput theirs =
        MeasureThroughput(servers.Theirs(), queries[0].Query, clients, o.Seconds, repeatFor(typicalTheirs));
    Row("typical queries/s, " + std::to_string(clients) + " client" + (clients > 1 ? "s" : ""),
        ours.QueriesPerSecond, theirs.QueriesPerSecond, 1, true);
    Row("  server CPU per query (ms)", ours.CpuSecondsPerQuery * 1000, theirs.CpuSecondsPerQuery * 1000, 2, false);
    std::printf("  %-34s %12s %12s\n", "  findscu CPU per query (ms)", Fixed(ours.ClientCpuSecondsPerQuery * 1000, 2).c_str(),
                Fixed(theirs.ClientCpuSecondsPerQuery * 1000, 2).c_str());
    if (ours.FailedRuns || theirs.FailedRuns)
      std::printf("  failed findscu runs: tarvelin %lld, wlmscpfs %lld\n", ours.FailedRuns, theirs.FailedRuns);
    std::fflush(stdout);
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, o)) return 2;
  // Output piped into a pager that quits must not kill the benchmark before
  // it has stopped its servers. Ctrl+C reaches the servers directly (same
  // process group).
  signal(SIGPIPE, SIG_IGN);
  if (!o.ClientNagle) setenv("TCP_NODELAY", "1", 1);
  char pattern[] = "/tmp/tarvelin-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string root = pattern;
  std::printf("Worklist benchmark: tarvelin vs wlmscpfs, findscu clients, %g s per throughput run\n", o.Seconds);
  std::printf("advantage = wlmscpfs/tarvelin for times and CPU, tarvelin/wlmscpfs for queries/s\n");
  std::printf("findscu runs with Nagle's algorithm %s\n", o.ClientNagle ? "on (its default)" : "off (TCP_NODELAY=1)");
  std::map<int, SizeResult> results;
  for (int size : o.Sizes) {
    const std::string work = root + "/n" + std::to_string(size);
    std::filesystem::create_directories(work);
    results[size] = BenchSize(o, work, size);
    if (!o.Keep) std::filesystem::remove_all(work);
  }
  PrintSummary(results);
  if (results.size() >= 2) {
    const auto& small = results.begin()->second.Twenty;
    const auto& large = results.rbegin()->second.Twenty;
    std::printf("\n20-match query, N = %d against N = %d: latency %.2f / %.2f ms (%.2fx), server CPU %.2f / %.2f ms\n",
                results.rbegin()->first, results.begin()->first, large.LatencySeconds * 1000,
                small.LatencySeconds * 1000, small.LatencySeconds > 0 ? large.LatencySeconds / small.LatencySeconds : 0,
                large.CpuSeconds * 1000, small.CpuSeconds * 1000);
  }
  if (o.Keep)
    std::printf("\ndata kept in %s\n", root.c_str());
  else
    std::filesystem::remove_all(root);
  return 0;
}
