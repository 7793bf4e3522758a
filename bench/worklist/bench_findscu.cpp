#include "bench_findscu.h"

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>

#include "bench_process.h"

namespace tarvelin {

namespace {

const char* const ReturnKeys[] = {"0008,0050", "0010,0010", "0010,0020", "0010,0030", "0010,0040",
                                  "0020,000D", "0032,1060", "0040,1001", "0040,1003"};
const char* const StepReturnKeys[] = {"0040,0001", "0040,0003", "0040,0006", "0040,0007", "0040,0009",
                                      "0040,0010"};

template <std::size_t N, std::size_t M>
BenchQuery MakeQuery(const std::string& name, const std::string& date, const std::string& modality,
                     const char* const (&keys)[N], const char* const (&stepKeys)[M]) {
  BenchQuery q;
  q.Name = name;
  for (const char* key : keys) q.Keys.push_back(key);
  q.Keys.push_back("0040,0100[0].0008,0060" + (modality.empty() ? "" : "=" + modality));
  q.Keys.push_back("0040,0100[0].0040,0002=" + date);
  for (const char* key : stepKeys) q.Keys.push_back(std::string("0040,0100[0].") + key);
  return q;
}

// 8 + 2 + 4 = 14 return keys.
const char* const NarrowReturnKeys[] = {"0008,0050", "0010,0010", "0010,0020", "0010,0030",
                                        "0010,0040", "0020,000D", "0032,1060", "0040,1001"};
const char* const NarrowStepReturnKeys[] = {"0040,0001", "0040,0003", "0040,0007", "0040,0009"};

struct Run {
  double Wall = 0;
  double Cpu = 0;
  bool Ok = false;
};

// CPU seconds of the children this process has waited for.
double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

Run TimedRun(const ServerUnderTest& server, const BenchQuery& query, int repeat) {
  Run run;
  const double cpuBefore = ProcessCpuSeconds(server.Pid);
  const double start = Seconds();
  run.Ok = WaitExit(Spawn(FindscuCommand(server, query, repeat, false))) == 0;
  run.Wall = Seconds() - start;
  // Let a forked server child finish its clean-up before counting its CPU.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  run.Cpu = ProcessCpuSeconds(server.Pid) - cpuBefore;
  return run;
}

}  // namespace

BenchQuery TypicalQuery(const std::string& today) {
  return MakeQuery("typical (CT, today)", today, "CT", ReturnKeys, StepReturnKeys);
}

BenchQuery DateQuery(const std::string& name, const std::string& date, const std::string& modality) {
  return MakeQuery(name, date, modality, ReturnKeys, StepReturnKeys);
}

BenchQuery NarrowDateQuery(const std::string& name, const std::string& date) {
  return MakeQuery(name, date, "", NarrowReturnKeys, NarrowStepReturnKeys);
}

std::vector<std::string> FindscuCommand(const ServerUnderTest& server, const BenchQuery& query, int repeat,
                                        bool verbose) {
  std::vector<std::string> argv{"findscu", "-W", "-aet", "BENCHSCU", "-aec", server.CalledAE};
  if (verbose) argv.push_back("-v");
  if (repeat > 1) {
    argv.push_back("--repeat");
    argv.push_back(std::to_string(repeat));
  }
  for (const std::string& key : query.Keys) {
    argv.push_back("-k");
    argv.push_back(key);
  }
  argv.push_back("127.0.0.1");
  argv.push_back(std::to_string(server.Port));
  return argv;
}

int CountMatches(const ServerUnderTest& server, const BenchQuery& query, const std::string& scratch) {
  if (WaitExit(Spawn(FindscuCommand(server, query, 1, true), scratch)) != 0) return -1;
  std::ifstream output(scratch);
  int pending = 0;
  for (std::string line; std::getline(output, line);)
    if (line.find("Find Response") != std::string::npos && line.find("Pending") != std::string::npos) ++pending;
  return pending;
}

namespace {

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

QueryCost MeasureQuery(const ServerUnderTest& server, const BenchQuery& query, double targetSeconds, int samples) {
  QueryCost cost;
  std::vector<double> latencies, cpus;
  for (int sample = 0; sample < samples; ++sample) {
    Run single = TimedRun(server, query, 1);
    const Run again = TimedRun(server, query, 1);
    if (!single.Ok || !again.Ok) return cost;
    if (again.Wall < single.Wall) single = again;
    const int repeat = std::clamp(static_cast<int>(std::ceil(targetSeconds / single.Wall)), 3, 400);
    const Run many = TimedRun(server, query, repeat);
    if (!many.Ok) return cost;
    latencies.push_back(std::max(0.0, (many.Wall - single.Wall) / (repeat - 1)));
    cpus.push_back(std::max(0.0, (many.Cpu - single.Cpu) / (repeat - 1)));
  }
  cost.LatencySeconds = Median(latencies);
  cost.CpuSeconds = Median(cpus);
  cost.Ok = true;
  return cost;
}

Throughput MeasureThroughput(const ServerUnderTest& server, const BenchQuery& query, int clients,
                             double seconds, int repeat) {
  std::atomic<long long> queries{0}, failed{0};
  const double cpuBefore = ProcessCpuSeconds(server.Pid);
  const double clientCpuBefore = ChildrenCpuSeconds();
  const double start = Seconds();
  const double deadline = start + seconds;
  std::vector<std::thread> workers;
  for (int i = 0; i < clients; ++i)
    workers.emplace_back([&] {
      while (Seconds() < deadline) {
        if (WaitExit(Spawn(FindscuCommand(server, query, repeat, false))) == 0)
          queries += repeat;
        else
          ++failed;
      }
    });
  for (std::thread& w : workers) w.join();
  const double elapsed = Seconds() - start;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const double cpu = ProcessCpuSeconds(server.Pid) - cpuBefore;
  Throughput t;
  t.Queries = queries;
  t.FailedRuns = failed;
  t.QueriesPerSecond = static_cast<double>(queries) / elapsed;
  t.CpuSecondsPerQuery = queries > 0 ? cpu / static_cast<double>(queries) : 0;
  t.ClientCpuSecondsPerQuery = queries > 0 ? (ChildrenCpuSeconds() - clientCpuBefore) / static_cast<double>(queries) : 0;
  return t;
}

}  // namespace tarvelin
