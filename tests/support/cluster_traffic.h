#pragma once
// A hospital's traffic against one or more worklist servers that share a
// database, as it would arrive through one virtual address: every new
// connection goes to the next server in turn, and a client that cannot reach
// a server, or loses it in the middle of an operation, goes on at once with
// the next one. Polling modalities, clients querying back to back, HL7 links
// resending an unacknowledged order, and modalities performing steps
// (N-CREATE IN PROGRESS, then N-SET COMPLETED) run on threads of their own
// until Stop. Every operation is recorded as it ended, for checks and figures.
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvelin {

// A worklist query of the traffic: every scheduled step of `Modality` on
// `Date`. `Expected` is the number of matches a complete answer has (the
// traffic never adds or starts steps there); -1 when it is not known.
struct TrafficQuery {
  std::string Modality;
  std::string Date;
  int Expected = -1;
};

// A scheduled step a modality may perform.
struct StepToPerform {
  std::string AccessionNumber;
  std::string StudyInstanceUID;
};

struct TrafficPlan {
  std::vector<int> DicomPorts;  // the servers, in the order a new connection tries them
  std::vector<int> HL7Ports;    // the same servers' HL7 listeners

  int PollingModalities = 0;  // each polls once every PollSeconds (first polls spread over it)
  double PollSeconds = 10;
  TrafficQuery Poll;

  int BusyClients = 0;  // each queries back to back, a new association per query
  TrafficQuery Busy;

  int HL7Links = 0;       // each sends new orders one after another
  int OrderPauseMs = 0;   // between an acknowledgement and the next order
  std::string OrderPrefix = "ORD";  // accession numbers are <prefix><link>-<n>
  std::string OrderDate;  // yyyymmdd the orders are scheduled on

  int StepModalities = 0;  // each performs the next step of StepPool, then pauses
  int StepPauseMs = 0;
  std::vector<StepToPerform> StepPool;
  std::string StepPrefix = "1.2.826.0.1.3680043.9.7133.9";  // performed step UIDs are <prefix>.<n>

  // How long one answer may take: a server riding out a database failover
  // holds a request for up to about 30 s before it answers.
  int AnswerTimeoutSeconds = 40;
};

enum class TrafficOperation { Poll, Query, Order, StepCreate, StepSet };

// One operation as it ended. Times are seconds since the traffic started.
struct TrafficRecord {
  TrafficOperation Kind = TrafficOperation::Query;
  int Actor = 0;        // the client of its kind that ran it
  int Port = 0;         // the server that answered (or failed)
  double Start = 0, End = 0;
  // Queries: the final status (-1 none came) and the pending responses
  // before it. Orders: 0 for AA, 1 for another MSA code, -1 no
  // acknowledgement. Steps: the response status, or -1.
  int Status = -1;
  int Matches = 0;
  std::string Key;   // accession number of an order, SOP instance UID of a step
  bool Retry = false;  // an order or step sent again after its answer was lost

  bool Succeeded() const { return Status == 0; }
};

class ClusterTraffic {
 public:
  explicit ClusterTraffic(TrafficPlan plan);
  ~ClusterTraffic();  // stops
  ClusterTraffic(const ClusterTraffic&) = delete;
  ClusterTraffic& operator=(const ClusterTraffic&) = delete;

  void Start();
  // Asks every client to end after its current operation (an order or step
  // whose answer was lost is still sent again until answered, at most
  // `settleSeconds` more) and waits for them.
  void Stop(double settleSeconds = 45);
  const TrafficPlan& Plan() const { return plan_; }
  // Seconds since Start.
  double Elapsed() const;

  // Everything recorded so far, in the order the operations ended.
  std::vector<TrafficRecord> Records() const;

 private:
  void Poller(int actor);
  void BusyClient(int actor);
  void OrderLink(int actor);
  void StepModality(int actor);

  // Runs one worklist C-FIND of `query` on the next server that accepts an
  // association, recording it; true when it ended with Success.
  bool QueryOnce(TrafficOperation kind, int actor, const TrafficQuery& query, std::size_t& turn);
  // Sends one N-CREATE or N-SET until a server answers it (or the settle time ran out).
  int PerformStep(int actor, bool create, const std::string& uid, const StepToPerform& step, std::size_t& turn);
  // A record of an operation starting now.
  TrafficRecord Begun(TrafficOperation kind, int actor, int port) const;
  // Keeps `record`, ending now.
  void Record(TrafficRecord record);
  // False once Stop asked for the end.
  bool Running() const { return !stopping_; }
  // True while a lost answer may still be chased after Stop.
  bool MaySettle() const;
  // Waits up to `seconds`, returning early at Stop.
  void Pause(double seconds) const;

  TrafficPlan plan_;
  std::chrono::steady_clock::time_point started_;
  std::atomic<bool> stopping_{false};
  std::atomic<double> settleUntil_{0};
  std::atomic<std::size_t> nextStep_{0};
  mutable std::mutex recordsLock_;
  std::vector<TrafficRecord> records_;
  std::vector<std::thread> threads_;
};

}  // namespace tarvelin
