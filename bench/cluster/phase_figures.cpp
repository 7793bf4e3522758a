#include "phase_figures.h"

#include <algorithm>
#include <map>

namespace tarvelin {

namespace {

bool IsQuery(const TrafficRecord& r) { return r.Kind == TrafficOperation::Poll || r.Kind == TrafficOperation::Query; }

double Percentile(std::vector<double> sorted, double share) {
  if (sorted.empty()) return 0;
  std::sort(sorted.begin(), sorted.end());
  const std::size_t at = std::min(sorted.size() - 1, static_cast<std::size_t>(share * static_cast<double>(sorted.size())));
  return sorted[at];
}

// Over every back-to-back client: the longest stretch between two successful
// answers (or from the last one to the phase's end) that reaches into [start, end).
double LongestGap(const std::vector<TrafficRecord>& records, double start, double end) {
  std::map<int, std::vector<double>> answered;  // client -> end times of its successful queries
  for (const TrafficRecord& r : records)
    if (r.Kind == TrafficOperation::Query && r.Succeeded()) answered[r.Actor].push_back(r.End);
  double longest = 0;
  for (auto& [client, times] : answered) {
    std::sort(times.begin(), times.end());
    for (std::size_t i = 0; i < times.size(); ++i) {
      const double from = times[i];
      const double to = i + 1 < times.size() ? times[i + 1] : end;
      if (to > start && from < end) longest = std::max(longest, std::min(to, end) - from);
    }
  }
  return longest;
}

}  // namespace

PhaseFigures FiguresOf(const std::vector<TrafficRecord>& records, double start, double end) {
  PhaseFigures f;
  std::vector<double> latencies;
  for (const TrafficRecord& r : records) {
    if (r.End < start || r.End >= end) continue;
    if (IsQuery(r)) {
      if (r.Succeeded()) {
        ++f.Queries;
        latencies.push_back((r.End - r.Start) * 1000);
      } else {
        ++f.FailedQueries;
      }
    } else if (r.Kind == TrafficOperation::Order && r.Succeeded()) {
      ++f.OrdersAcknowledged;
      f.LongestOrder = std::max(f.LongestOrder, r.End - r.Start);
    } else if (r.Kind != TrafficOperation::Order && r.Succeeded()) {
      ++f.StepMessagesAnswered;
    }
  }
  f.QueriesPerSecond = end > start ? f.Queries / (end - start) : 0;
  f.P50 = Percentile(latencies, 0.50);
  f.P95 = Percentile(latencies, 0.95);
  f.P99 = Percentile(latencies, 0.99);
  f.LongestGap = LongestGap(records, start, end);
  return f;
}

}  // namespace tarvelin
