// Load and faults against a running `tarvelin`: many associations at once
// mixing C-ECHO and worklist C-FIND, the association limit with its clean
// rejections, many HL7 connections at once, a SIGKILL in the middle of HL7
// ingest, and a stop with connections still open.
//
// The short form runs in CI (ctest -L load). TARVELIN_LOAD=long runs the long
// form: ten rounds of 200 concurrent associations, 50 HL7 connections x 200
// orders and five kills.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <latch>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "db/sqldb.h"
#include "db/storage_location.h"
#include "db/worklistdb.h"
#include "support/child_process.h"
#include "support/log_file.h"
#include "support/mllp_peer.h"
#include "support/modality_peer.h"
#include "support/running_tarvelin.h"

namespace tarvelin {

namespace {

constexpr int ScheduledEntries = 5;

struct Scale {
  int associations;  // at once
  int rounds;
  int hl7Connections;
  int ordersEach;
  int kills;
};

Scale LoadScale() {
  const char* form = std::getenv("TARVELIN_LOAD");
  if (form && std::string(form) == "long") return {200, 10, 50, 200, 5};
  return {200, 1, 20, 50, 1};
}

// The number of matches of a query for every entry before its final
// success, or -1.
int FindAll(ModalityPeer& modality) {
  DcmObj identifier;
  identifier.Add(0x0008, 0x0050, "");
  identifier.Add(0x0010, 0x0010, "");
  const FindOutcome outcome = modality.Find(identifier);
  return outcome.Success() ? outcome.Matches() : -1;
}

// A server made by tarvelin-setup, with `settings` in its ini file, some
// scheduled entries and the HL7 listener up.
std::unique_ptr<TarvelinInstance> StartServer(const std::string& tag, const std::string& settings) {
  auto server = std::make_unique<TarvelinInstance>(tag);
  EXPECT_EQ(server->InitWithSetupTool("load-test admin password"), "");
  server->WriteIni(settings);
  UseStorage(server->Storage());
  {
    SQLdb db("quillat", SQLdb::ReadWrite);
    for (int i = 0; i < ScheduledEntries; ++i) {
      WorklistDB entry;
      entry.AccessionNumber = "W" + std::to_string(i);
      entry.PatientName = "LOAD^" + std::to_string(i);
      entry.PatientID = "P" + std::to_string(i);
      entry.Modality = "CT";
      entry.SPSStatus = "SCHEDULED";
      EXPECT_EQ(entry.Insert(db), WriteResult::Done);
    }
  }
  EXPECT_TRUE(server->Start());
  EXPECT_TRUE(server->WaitForLog("Initialize DICOM port: ", 1, 10000)) << server->Log();
  EXPECT_TRUE(server->WaitForLog("INFO, Initialized HL7 server at port: ", 1, 10000)) << server->Log();
  return server;
}

std::string OneValue(const std::string& select) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  std::vector<std::string> rows;
  db.Query(select, rows);
  return rows.size() == 1 ? rows[0] : "<" + std::to_string(rows.size()) + " rows>";
}

// Sends `orders` orders on one connection, one at a time; the accession
// numbers acknowledged with AA go to `acknowledged`. Stops at the first order
// without AA (a lost connection during a kill is expected there) and returns
// how many were not acknowledged.
int SendOrders(int port, const std::string& prefix, int orders, std::vector<std::string>& acknowledged) {
  MllpPeer peer(port);
  for (int n = 0; n < orders; ++n) {
    const std::string accession = prefix + "-" + std::to_string(n);
    std::optional<std::string> ack;
    if (peer.Send(Framed(NewOrderMessage("C" + accession, accession)))) ack = peer.ReadAck(30000);
    if (!ack || MsaSegment(*ack) != "MSA|AA|C" + accession) return orders - n;
    acknowledged.push_back(accession);
  }
  return 0;
}

}  // namespace

TEST(LoadAndFaults, ConcurrentAssociationsMixingEchoAndFindAllSucceed) {
  const Scale scale = LoadScale();
  LogCapture clientLog;  // our requestors' own error lines
  auto server = StartServer("load", "MaxAssociations=" + std::to_string(scale.associations + 50) + "\n");
  for (int round = 0; round < scale.rounds; ++round) {
    std::atomic<int> failures{0}, connected{0};
    std::latch allConnected(scale.associations);
    std::vector<std::thread> modalities;
    for (int i = 0; i < scale.associations; ++i)
      modalities.emplace_back([&, i] {
        ModalityPeer modality("LOADTEST");
        const bool up = modality.Connect(server->DicomPort());
        connected += up;
        allConnected.arrive_and_wait();  // every association is open at once
        const bool done = up && (i % 2 == 0 ? modality.Echo() : FindAll(modality) == ScheduledEntries);
        if (!done) ++failures;
        modality.Release();
      });
    for (auto& t : modalities) t.join();
    EXPECT_EQ(connected.load(), scale.associations) << "round " << round;
    EXPECT_EQ(failures.load(), 0) << "round " << round;
  }
  const int total = scale.associations * scale.rounds;
  EXPECT_EQ(CountOf(clientLog.Text(), "ERROR"), 0) << clientLog.Text().substr(0, 3000);
  ASSERT_TRUE(server->WaitForLog("Close Connection: ", total, 20000)) << server->Log().substr(0, 3000);
  const std::string log = server->Log();
  EXPECT_EQ(CountOf(log, "Echo RSP: Ok!"), total / 2);
  EXPECT_EQ(CountOf(log, "ERROR"), 0) << log;
  EXPECT_EQ(CountOf(log, "WARNING"), 0) << log;
}

TEST(LoadAndFaults, OverTheLimitEveryRefusalIsACleanRejectionAndServiceGoesOn) {
  constexpr int kLimit = 20, kExtra = 30;
  auto server = StartServer("limit", "MaxAssociations=" + std::to_string(kLimit) + "\n");
  const int port = server->DicomPort();
  std::vector<std::unique_ptr<ModalityPeer>> held;
  for (int i = 0; i < kLimit; ++i) {
    held.push_back(std::make_unique<ModalityPeer>("LOADTEST"));
    ASSERT_TRUE(held.back()->Connect(port)) << i;
  }
  std::atomic<int> clean{0};
  std::vector<std::thread> extra;
  for (int i = 0; i < kExtra; ++i)
    extra.emplace_back([&] {
      ModalityPeer modality("LOADTEST");
      const AAssociateRJ& rj = modality.Association().assocRJ;
      if (!modality.Connect(port) && rj.Result == 2 && rj.Source == 3 && rj.Reason == 2) ++clean;
    });
  for (auto& t : extra) t.join();
  EXPECT_EQ(clean.load(), kExtra);
  // An independent peer reads the same rejection.
  PeerResult refused = RunPeer("echoscu -aec TARVELIN 127.0.0.1 " + std::to_string(port));
  EXPECT_NE(refused.ExitCode, 0) << refused.Output;
  EXPECT_NE(refused.Output.find("Association Rejected"), std::string::npos) << refused.Output;
  EXPECT_NE(refused.Output.find("Reason: Local Limit Exceeded"), std::string::npos) << refused.Output;
  EXPECT_EQ(CountOf(server->Log(), "WARNING, ServerThread, association from 127.0.0.1 rejected: 20 "),
            kExtra + 1);

  for (auto& modality : held) EXPECT_TRUE(modality->Echo());
  for (auto& modality : held) modality->Release();
  held.clear();
  ASSERT_TRUE(server->WaitForLog("Close Connection: ", kLimit, 10000)) << server->Log();
  std::atomic<int> answered{0};
  std::vector<std::thread> after;
  for (int i = 0; i < kLimit; ++i)
    after.emplace_back([&] {
      ModalityPeer modality("LOADTEST");
      if (modality.Connect(port) && FindAll(modality) == ScheduledEntries) ++answered;
      modality.Release();
    });
  for (auto& t : after) t.join();
  EXPECT_EQ(answered.load(), kLimit);
  EXPECT_EQ(RunPeer("echoscu -aec TARVELIN 127.0.0.1 " + std::to_string(port)).ExitCode, 0);
  EXPECT_EQ(CountOf(server->Log(), "ERROR"), 0) << server->Log();
}

TEST(LoadAndFaults, ManyHL7ConnectionsEveryOrderAcknowledgedAndStored) {
  const Scale scale = LoadScale();
  auto server = StartServer("hl7load", "");
  std::mutex lock;
  int failures = 0, acknowledged = 0;
  std::vector<std::thread> senders;
  for (int c = 0; c < scale.hl7Connections; ++c)
    senders.emplace_back([&, c] {
      std::vector<std::string> mine;
      const int failed = SendOrders(server->HL7Port(), "H" + std::to_string(c), scale.ordersEach, mine);
      std::lock_guard<std::mutex> hold(lock);
      failures += failed;
      acknowledged += static_cast<int>(mine.size());
    });
  for (auto& t : senders) t.join();
  const int total = scale.hl7Connections * scale.ordersEach;
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(acknowledged, total);
  EXPECT_EQ(OneValue("SELECT COUNT(*) FROM Worklist WHERE AccessionNumber LIKE 'H%'"), std::to_string(total) + ";");
}

TEST(LoadAndFaults, KilledDuringHL7IngestLosesNoAcknowledgedOrder) {
  const Scale scale = LoadScale();
  auto server = StartServer("kill", "");
  constexpr int kConnections = 10;
  for (int kill = 0; kill < scale.kills; ++kill) {
    std::mutex lock;
    std::vector<std::string> acknowledged;
    std::vector<std::thread> senders;
    for (int c = 0; c < kConnections; ++c)
      senders.emplace_back([&, c] {
        std::vector<std::string> mine;
        SendOrders(server->HL7Port(), "K" + std::to_string(kill) + "x" + std::to_string(c), 100000, mine);
        std::lock_guard<std::mutex> hold(lock);
        acknowledged.insert(acknowledged.end(), mine.begin(), mine.end());
      });
    ASSERT_TRUE(server->WaitForLog("ORM^O01|CK" + std::to_string(kill), 200, 30000)) << "no ingest under way";
    server->Kill();
    for (auto& t : senders) t.join();
    ASSERT_GT(acknowledged.size(), 0u);

    // Every acknowledged order survived, and the file is sound.
    EXPECT_EQ(OneValue("PRAGMA integrity_check"), "ok;");
    SQLdb db("quillat", SQLdb::ReadOnly);
    std::vector<std::string> rows;
    db.Query("SELECT AccessionNumber FROM Worklist WHERE AccessionNumber LIKE 'K" + std::to_string(kill) + "x%'",
             rows);
    std::set<std::string> stored;
    for (const std::string& row : rows) stored.insert(row.substr(0, row.size() - 1));
    int lost = 0;
    for (const std::string& accession : acknowledged) lost += stored.count(accession) == 0;
    EXPECT_EQ(lost, 0) << "of " << acknowledged.size() << " acknowledged orders";

    ASSERT_TRUE(server->Start());
    ASSERT_TRUE(server->WaitForLog("INFO, Initialized HL7 server at port: ", kill + 2, 10000)) << server->Log();
  }

  // Stopping with connections open ends them all before the finishing line.
  std::vector<std::unique_ptr<ModalityPeer>> open;
  for (int i = 0; i < 3; ++i) {
    open.push_back(std::make_unique<ModalityPeer>("LOADTEST"));
    ASSERT_TRUE(open.back()->Connect(server->DicomPort()));
  }
  MllpPeer idle(server->HL7Port());
  std::vector<std::string> last;
  EXPECT_EQ(SendOrders(server->HL7Port(), "AFTER", 1, last), 0);
  const int closedBefore = CountOf(server->Log(), "Close Connection: ");
  ASSERT_TRUE(server->Terminate(10000));
  EXPECT_EQ(server->ExitStatus(), 0);
  const std::string log = server->Log();
  EXPECT_EQ(CountOf(log, "Close Connection: "), closedBefore + 3) << log;
  EXPECT_LT(log.rfind("Close Connection: "), log.rfind("is finishing ****")) << log;
  EXPECT_TRUE(idle.ClosedByServer(1000));
}

}  // namespace tarvelin
