#pragma once
// Figures of one phase of the cluster benchmark, read from the traffic's
// records: what the modalities and clients saw between two fault times.
#include <vector>

#include "support/cluster_traffic.h"

namespace tarvelin {

struct PhaseFigures {
  int Queries = 0;        // worklist queries that ended with Success
  int FailedQueries = 0;  // those that did not (each attempt counted)
  double QueriesPerSecond = 0;
  double P50 = 0, P95 = 0, P99 = 0;  // ms, successful queries, association included
  // The longest time a back-to-back client went without a successful answer,
  // over the gaps that reach into the phase (s).
  double LongestGap = 0;
  int OrdersAcknowledged = 0;
  double LongestOrder = 0;  // s, from the first send to AA, resends included
  int StepMessagesAnswered = 0;  // N-CREATE and N-SET answered 0x0000
};

// The figures of the operations that ended in [start, end).
PhaseFigures FiguresOf(const std::vector<TrafficRecord>& records, double start, double end);

}  // namespace tarvelin
