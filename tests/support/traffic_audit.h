#pragma once
// Holds what a cluster's answers promised against what its database holds:
// every order acknowledged with AA is stored once, every performed step
// answered 0x0000 is stored once with the status it reported, and no worklist
// query ended with Success after giving fewer matches than the complete
// answer has (pending responses followed by a failure are allowed: the
// modality knows the answer is incomplete).
#include <string>
#include <vector>

#include "support/cluster_traffic.h"

namespace tarvelin {

struct TrafficAudit {
  int OrdersAcknowledged = 0;
  int OrdersLost = 0;             // acknowledged, not stored once
  int OrdersRefused = 0;          // answers other than AA (each resend counted)
  int StepMessagesAnswered = 0;   // N-CREATE and N-SET answered 0x0000
  int StepMessagesLost = 0;       // answered 0x0000, not stored as answered
  int QueriesSucceeded = 0;
  int QueriesFailed = 0;          // no Success (no association, a failure status or a broken one)
  int PartialThenFailed = 0;      // of those: pending responses, then no Success
  int SuccessWithMissing = 0;     // Success with fewer or more matches than expected
  std::vector<std::string> Problems;  // the first few, readable

  bool Sound() const { return OrdersLost == 0 && StepMessagesLost == 0 && SuccessWithMissing == 0; }
  std::string Summary() const;
};

// Reads the stores of the current storage location (see UseStorage).
TrafficAudit AuditTraffic(const TrafficPlan& plan, const std::vector<TrafficRecord>& records);

}  // namespace tarvelin
