#pragma once
// The benchmark's queries, sent with dcmtk's findscu, and what is measured.
#include <sys/types.h>

#include <string>
#include <vector>

namespace tarvelin {

struct BenchQuery {
  std::string Name;
  std::vector<std::string> Keys;  // findscu -k arguments
};

// Modality CT, today, the usual return keys including the (0040,0100) item.
BenchQuery TypicalQuery(const std::string& today);
// All entries of one date, any modality.
BenchQuery DateQuery(const std::string& name, const std::string& date, const std::string& modality);
// All entries of one date with 14 return keys, the shape of a modality that
// asks only for what it shows: no requested procedure or priority keys.
BenchQuery NarrowDateQuery(const std::string& name, const std::string& date);

struct ServerUnderTest {
  std::string Name;
  pid_t Pid = -1;
  int Port = 0;
  std::string CalledAE;
};

// The findscu command for `repeat` queries in one association.
std::vector<std::string> FindscuCommand(const ServerUnderTest& server, const BenchQuery& query, int repeat,
                                        bool verbose);

// Pending responses of one query (findscu run verbosely); -1 on failure.
int CountMatches(const ServerUnderTest& server, const BenchQuery& query, const std::string& scratch);

struct QueryCost {
  double LatencySeconds = 0;  // per query inside one association
  double CpuSeconds = 0;      // server CPU per query
  bool Ok = false;
};

// Runs 1 and then R queries per association (R so the run lasts about
// `targetSeconds`) and takes the difference, so association set-up and
// findscu start-up drop out. That `samples` times: the figures are the
// medians, since a shared machine slows single runs by half and more.
QueryCost MeasureQuery(const ServerUnderTest& server, const BenchQuery& query, double targetSeconds, int samples);

struct Throughput {
  double QueriesPerSecond = 0;
  double CpuSecondsPerQuery = 0;
  double ClientCpuSecondsPerQuery = 0;  // the findscu processes together
  long long Queries = 0;
  long long FailedRuns = 0;
};

// `clients` concurrent findscu loops for `seconds`, each run holding
// `repeat` queries in one association.
Throughput MeasureThroughput(const ServerUnderTest& server, const BenchQuery& query, int clients,
                             double seconds, int repeat);

}  // namespace tarvelin
