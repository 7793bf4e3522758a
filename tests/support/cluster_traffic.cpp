#include "support/cluster_traffic.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "support/mllp_peer.h"
#include "support/modality_peer.h"

namespace tarvelin {

ClusterTraffic::ClusterTraffic(TrafficPlan plan) : plan_(std::move(plan)) {}

ClusterTraffic::~ClusterTraffic() { Stop(0); }

void ClusterTraffic::Start() {
  started_ = std::chrono::steady_clock::now();
  for (int a = 0; a < plan_.PollingModalities; ++a) threads_.emplace_back(&ClusterTraffic::Poller, this, a);
  for (int a = 0; a < plan_.BusyClients; ++a) threads_.emplace_back(&ClusterTraffic::BusyClient, this, a);
  for (int a = 0; a < plan_.HL7Links; ++a) threads_.emplace_back(&ClusterTraffic::OrderLink, this, a);
  for (int a = 0; a < plan_.StepModalities; ++a) threads_.emplace_back(&ClusterTraffic::StepModality, this, a);
}

void ClusterTraffic::Stop(double settleSeconds) {
  if (threads_.empty()) return;
  settleUntil_ = Elapsed() + settleSeconds;
  stopping_ = true;
  for (std::thread& t : threads_) t.join();
  threads_.clear();
}

double ClusterTraffic::Elapsed() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
}

std::vector<TrafficRecord> ClusterTraffic::Records() const {
  std::lock_guard<std::mutex> hold(recordsLock_);
  return records_;
}

TrafficRecord ClusterTraffic::Begun(TrafficOperation kind, int actor, int port) const {
  TrafficRecord record;
  record.Kind = kind;
  record.Actor = actor;
  record.Port = port;
  record.Start = Elapsed();
  return record;
}

void ClusterTraffic::Record(TrafficRecord record) {
  record.End = Elapsed();
  std::lock_guard<std::mutex> hold(recordsLock_);
  records_.push_back(std::move(record));
}

bool ClusterTraffic::MaySettle() const { return Running() || Elapsed() < settleUntil_; }

void ClusterTraffic::Pause(double seconds) const {
  const double until = Elapsed() + seconds;
  while (Running() && Elapsed() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(std::clamp(until - Elapsed(), 0.001, 0.05) * 1000)));
}

bool ClusterTraffic::QueryOnce(TrafficOperation kind, int actor, const TrafficQuery& query, std::size_t& turn) {
  const std::string ae = (kind == TrafficOperation::Poll ? "POLL" : "QUERY") + std::to_string(actor);
  for (std::size_t tried = 0; tried < plan_.DicomPorts.size(); ++tried) {
    TrafficRecord record = Begun(kind, actor, plan_.DicomPorts[turn++ % plan_.DicomPorts.size()]);
    ModalityPeer modality(ae);
    if (!modality.Connect(record.Port, plan_.AnswerTimeoutSeconds)) continue;  // the next server, at once
    DcmObj identifier = WorklistIdentifier(query.Modality, query.Date);
    const FindOutcome outcome = modality.Find(identifier);
    modality.Release();
    record.Status = outcome.FinalStatus;
    record.Matches = outcome.Matches();
    const bool succeeded = record.Succeeded();
    Record(std::move(record));
    return succeeded;
  }
  Record(Begun(kind, actor, 0));  // no server took the association
  Pause(0.1);
  return false;
}

void ClusterTraffic::Poller(int actor) {
  std::size_t turn = static_cast<std::size_t>(actor);
  double next = plan_.PollSeconds * actor / std::max(1, plan_.PollingModalities);
  while (Running()) {
    Pause(next - Elapsed());
    if (!Running()) break;
    // A modality whose query failed asks again once, which reaches the next server.
    if (!QueryOnce(TrafficOperation::Poll, actor, plan_.Poll, turn)) QueryOnce(TrafficOperation::Poll, actor, plan_.Poll, turn);
    next += plan_.PollSeconds;
  }
}

void ClusterTraffic::BusyClient(int actor) {
  std::size_t turn = static_cast<std::size_t>(actor);
  while (Running()) QueryOnce(TrafficOperation::Query, actor, plan_.Busy, turn);
}

void ClusterTraffic::OrderLink(int actor) {
  std::size_t turn = static_cast<std::size_t>(actor);
  std::unique_ptr<MllpPeer> link;
  int linkPort = 0;
  for (int n = 0; Running(); ++n) {
    TrafficRecord record = Begun(TrafficOperation::Order, actor, linkPort);
    record.Key = plan_.OrderPrefix + std::to_string(actor) + "-" + std::to_string(n);
    const std::string control = "C" + record.Key;
    const std::string message = Framed(NewOrderMessage(control, record.Key, plan_.OrderDate));
    // Like a RIS, the link sends an order again until it is accepted: after
    // a lost connection or acknowledgement on the next server, after a
    // refusal on the same connection a moment later.
    while (MaySettle()) {
      if (!link) {
        record.Port = linkPort = plan_.HL7Ports[turn++ % plan_.HL7Ports.size()];
        link = std::make_unique<MllpPeer>(linkPort);
        if (!link->Connected()) {
          link.reset();
          if (turn % plan_.HL7Ports.size() == 0) Pause(0.05);
          continue;
        }
      }
      std::optional<std::string> ack;
      if (link->Send(message)) ack = link->ReadAck(plan_.AnswerTimeoutSeconds * 1000);
      if (!ack) {
        link.reset();
        record.Retry = true;
        continue;
      }
      record.Status = MsaSegment(*ack) == "MSA|AA|" + control ? 0 : 1;
      Record(record);
      if (record.Succeeded()) break;
      record.Retry = true;
      record.Status = -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (!record.Succeeded() && !MaySettle()) {
      if (record.Retry) Record(record);  // gave up on an order whose answer was lost
      break;
    }
    Pause(plan_.OrderPauseMs / 1000.0);
  }
}

int ClusterTraffic::PerformStep(int actor, bool create, const std::string& uid, const StepToPerform& step,
                                std::size_t& turn) {
  bool retry = false;
  for (std::size_t tried = 0; MaySettle(); ++tried) {
    TrafficRecord record = Begun(create ? TrafficOperation::StepCreate : TrafficOperation::StepSet, actor,
                                 plan_.DicomPorts[turn++ % plan_.DicomPorts.size()]);
    record.Key = uid;
    record.Retry = retry;
    ModalityPeer modality("STEP" + std::to_string(actor));
    if (!modality.Connect(record.Port, plan_.AnswerTimeoutSeconds)) {
      if (tried % plan_.DicomPorts.size() == plan_.DicomPorts.size() - 1) Pause(0.05);
      continue;
    }
    DcmObj dataset = create ? StepInProgress(step.AccessionNumber, step.StudyInstanceUID, "") : StepEnded("COMPLETED");
    record.Status = create ? modality.Create(uid, dataset) : modality.Set(uid, dataset);
    modality.Release();
    const int status = record.Status;
    Record(std::move(record));
    if (status >= 0) return status;
    retry = true;  // the answer was lost: the same message again, to the next server
  }
  return -1;
}

void ClusterTraffic::StepModality(int actor) {
  std::size_t turn = static_cast<std::size_t>(actor);
  while (Running()) {
    const std::size_t index = nextStep_++;
    if (index >= plan_.StepPool.size()) break;
    const StepToPerform& step = plan_.StepPool[index];
    const std::string uid = plan_.StepPrefix + "." + std::to_string(index + 1);
    if (PerformStep(actor, true, uid, step, turn) == 0) {
      Pause(plan_.StepPauseMs / 2000.0);  // the exam
      PerformStep(actor, false, uid, step, turn);
    }
    Pause(plan_.StepPauseMs / 1000.0);
  }
}

}  // namespace tarvelin
