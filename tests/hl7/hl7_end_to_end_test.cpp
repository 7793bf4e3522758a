// The HL7 listener of a running `tarvelin`, with Debian's mllp_send and plain
// sockets as the sending system.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "hl7/hl7_test_support.h"
#include "support/child_process.h"
#include "support/log_file.h"

namespace tarvelin {

namespace {

// The answer mllp_send printed for the framed messages of a file.
std::string MllpSend(int port, const std::string& folder, const std::string& messages) {
  const std::string file = folder + "order.mllp";
  std::ofstream(file, std::ios::binary) << messages;
  ChildProcess sender("/usr/bin/mllp_send", {"-p", std::to_string(port), "-f", file, "127.0.0.1"});
  if (!sender.Started()) return "mllp_send (Debian python3-hl7) is missing";
  RunToEnd(sender);
  return sender.Output() + sender.Errors();
}

// The counter part of an acknowledgement's control ID (MSH-10 after yymmddhhnn;
// on PostgreSQL after the server's node number too, the counter's three digits).
std::string AckCounter(const std::string& ack) {
  auto start = ack.find("|ACK^O01|");
  if (start == std::string::npos) return "";
  start += 9;
  const std::string id = ack.substr(start, ack.find('|', start) - start);
  if (id.size() <= 10) return "";
  if (!TestsOnPostgres()) return id.substr(10);
  return id.size() > 13 ? std::to_string(std::stoi(id.substr(id.size() - 3))) : "";
}

// The WARNING and ERROR lines of a log.
std::string ErrorLines(const std::string& log) {
  std::string lines;
  for (size_t start = 0; start < log.size();) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    if (line.find(", ERROR, ") != std::string::npos || line.find(", WARNING, ") != std::string::npos)
      lines += line + "\n";
    start = end + 1;
  }
  return lines;
}

TEST(HL7EndToEnd, OrdersAreStoredChangedAndCancelled) {
  RunningTarvelin server;
  ASSERT_EQ(server.Problem(), "");
  ASSERT_NE(server.Log().find("INFO, Initialized HL7 server at port: " + std::to_string(server.HL7Port())),
            std::string::npos);

  TestOrder order;
  order.controlId = "E2E1";
  order.obr[13] = "LATEX ALLERGY";
  std::string answer = MllpSend(server.HL7Port(), server.Home(), Framed(order.Text()));
  EXPECT_NE(answer.find("MSA|AA|E2E1\r"), std::string::npos) << answer;
  EXPECT_NE(answer.find("MSH|^~\\&|TARVELIN||RIS|HOSP|"), std::string::npos) << answer;
  EXPECT_EQ(server.Sql("SELECT PatientID, PatientName, Modality, SPSStatus, ScheduledStation FROM Worklist"),
            "12345|DOE^JOHN|CT|SCHEDULED|UNKNOWN\n");

  // A resend (the ACK was lost) is acknowledged and changes nothing; the same
  // accession number for another procedure is refused with an ERR.
  answer = MllpSend(server.HL7Port(), server.Home(), Framed(order.Text()));
  EXPECT_NE(answer.find("MSA|AA|E2E1\r"), std::string::npos) << answer;
  TestOrder other = order;
  other.modality = "US";
  answer = MllpSend(server.HL7Port(), server.Home(), Framed(other.Text()));
  EXPECT_NE(answer.find("MSA|AE|E2E1|WARNING - NW - Duplicate Accession Number\rERR|OBR^1^18^205&order 1 "
                        "(accession A100): accession number A100 is already used for another patient or "
                        "procedure&HL70357\r"),
            std::string::npos)
      << answer;
  EXPECT_EQ(server.Sql("SELECT COUNT(*), MAX(Modality) FROM Worklist"), "1|CT\n");

  MllpPeer peer(server.HL7Port());
  ASSERT_TRUE(peer.Connected());
  TestOrder change;
  change.controlId = "E2E2";
  change.orderControl = "XO";
  change.modality = "MR";
  ASSERT_TRUE(peer.Send(Framed(change.Text())));
  EXPECT_EQ(MsaSegment(peer.ReadAck().value_or("")), "MSA|AA|E2E2");
  EXPECT_EQ(server.Sql("SELECT Modality, MedicalAlerts, PatientName FROM Worklist WHERE AccessionNumber='A100'"),
            "MR|LATEX ALLERGY|DOE^JOHN\n");

  // Same connection: an ADT, then the cancel.
  ASSERT_TRUE(peer.Send(Framed(MshSegment("ADT^A01", "ADT1") + "\rPID|||12345\r")));
  EXPECT_EQ(MsaSegment(peer.ReadAck().value_or("")), "MSA|AR|ADT1|ERROR - not an order message");
  TestOrder cancel;
  cancel.controlId = "E2E3";
  cancel.orderControl = "CA";
  ASSERT_TRUE(peer.Send(Framed(cancel.Text())));
  EXPECT_EQ(MsaSegment(peer.ReadAck().value_or("")), "MSA|AA|E2E3");
  EXPECT_EQ(server.Sql("SELECT COUNT(*) FROM Worklist"), "0\n");
}

TEST(HL7EndToEnd, FramingAcrossAndWithinReads) {
  RunningTarvelin server;
  ASSERT_EQ(server.Problem(), "");
  MllpPeer peer(server.HL7Port());
  ASSERT_TRUE(peer.Connected());

  // Two messages one after the other on one connection: two ACKs, in order.
  TestOrder first, second;
  first.controlId = "F1";
  first.accession = "B1";
  second.controlId = "F2";
  second.accession = "B2";
  ASSERT_TRUE(peer.Send(Framed(first.Text())));
  ASSERT_TRUE(peer.Send(Framed(second.Text())));
  EXPECT_EQ(MsaSegment(peer.ReadAck().value_or("")), "MSA|AA|F1");
  EXPECT_EQ(MsaSegment(peer.ReadAck().value_or("")), "MSA|AA|F2");

  // One message written in two pieces 50 ms apart: one ACK.
  TestOrder split;
  split.controlId = "F3";
  split.accession = "B3";
  const std::string framed = Framed(split.Text());
  const size_t half = framed.size() / 2;
  ASSERT_TRUE(peer.Send(framed.substr(0, half)));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(peer.Send(framed.substr(half)));
  EXPECT_EQ(MsaSegment(peer.ReadAck().value_or("")), "MSA|AA|F3");
  EXPECT_FALSE(peer.ReadAck(300));
  EXPECT_EQ(server.Sql("SELECT AccessionNumber FROM Worklist ORDER BY AccessionNumber"), "B1\nB2\nB3\n");
  EXPECT_EQ(CountOf(server.Log(), "ORM^O01|F3|"), 1);
}

TEST(HL7EndToEnd, TwentyConnectionsAtOnceAndTheCounterWraps) {
  RunningTarvelin server;
  ASSERT_EQ(server.Problem(), "");
  constexpr int kConnections = 20, kOrders = 50;
  std::mutex lock;
  std::vector<std::string> counters;
  std::vector<std::string> failures;
  std::vector<std::thread> senders;
  for (int c = 0; c < kConnections; ++c) {
    senders.emplace_back([&, c] {
      MllpPeer peer(server.HL7Port());
      for (int n = 0; n < kOrders; ++n) {
        TestOrder order;
        order.controlId = "K" + std::to_string(c) + "-" + std::to_string(n);
        order.accession = "L" + std::to_string(c * kOrders + n);
        std::optional<std::string> ack;
        if (peer.Send(Framed(order.Text()))) ack = peer.ReadAck(30000);
        std::lock_guard<std::mutex> hold(lock);
        if (!ack || MsaSegment(*ack) != "MSA|AA|" + order.controlId) {
          failures.push_back(order.controlId + ": " + ack.value_or("no answer"));
          return;
        }
        counters.push_back(AckCounter(*ack));
      }
    });
  }
  for (auto& t : senders) t.join();
  ASSERT_TRUE(failures.empty()) << failures.size() << " failed, first " << failures.front() << "\nlog:\n"
                                << ErrorLines(server.Log());
  EXPECT_EQ(server.Sql("SELECT COUNT(*) FROM Worklist"), "1000\n");
  // 1000 acknowledgements since start: each counter value 0..999 exactly once.
  std::set<std::string> distinct(counters.begin(), counters.end());
  EXPECT_EQ(distinct.size(), 1000u);
  for (int v : {0, 1, 500, 999}) EXPECT_TRUE(distinct.count(std::to_string(v))) << v;

  MllpPeer last(server.HL7Port());
  TestOrder order;
  order.controlId = "LAST";
  order.accession = "L1000";
  ASSERT_TRUE(last.Send(Framed(order.Text())));
  const std::string ack = last.ReadAck().value_or("");
  EXPECT_EQ(MsaSegment(ack), "MSA|AA|LAST");
  EXPECT_EQ(AckCounter(ack), "0") << "the 1001st acknowledgement";
}

TEST(HL7EndToEnd, PortInUseIsLoggedAndTheServerRunsOn) {
  int blocker = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(blocker, 1), 0);
  socklen_t len = sizeof addr;
  getsockname(blocker, reinterpret_cast<sockaddr*>(&addr), &len);
  const int port = ntohs(addr.sin_port);
  {
    RunningTarvelin server(port);
    ASSERT_EQ(server.Problem(), "");
    const std::string log = server.Log();
    EXPECT_NE(log.find("ERROR, hl7server: Could not bind socket to port " + std::to_string(port) +
                       ": Address already in use"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("Initialized HL7 server"), std::string::npos);
  }
  close(blocker);
}

}  // namespace

}  // namespace tarvelin
