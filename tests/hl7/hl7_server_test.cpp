#include "hl7/hl7_server.h"

#include <gtest/gtest.h>


#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "hl7/hl7_ack.h"
#include "service/settings.h"
#include "support/log_file.h"
#include "hl7/hl7_test_support.h"
#include "support/pinned_clock.h"

namespace tarvelin {

namespace {

class HL7Listener : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(instance.Ready());
    AckControlCounter = 0;
  }
  InstanceFolder instance;
  PinnedClock pinned{2024, 3, 5, 14, 30, 15};
  THL7Server server{0, instance.Home(), ""};
};

TEST_F(HL7Listener, NewOrderIsAcknowledgedWithTheWholeAckText) {
  MllpPeer peer(server.Port());
  ASSERT_TRUE(peer.Send(Framed(TestOrder{}.Text())));
  auto ack = peer.ReadAck();
  ASSERT_TRUE(ack);
  EXPECT_EQ(*ack,
            "MSH|^~\\&|TARVELIN||RIS|HOSP|20240305143015||ACK^O01|24030514300|P|2.3.1\r"
            "MSA|AA|C1\r");
  EXPECT_EQ(instance.Column("A100", "Modality"), "CT");
  // The message is logged as received, its segment ends escaped so that it
  // stays one line.
  EXPECT_NE(instance.Log().find("MSH|^~\\&|RIS|HOSP|TARVELIN|RAD|20240305143015||ORM^O01|C1|P|2.3.1\\rPID|"),
            std::string::npos);
}

TEST_F(HL7Listener, SeveralMessagesInOneWriteGetOneAckEachInOrder) {
  MllpPeer peer(server.Port());
  TestOrder first, second;
  second.controlId = "C2";
  second.accession = "A200";
  const std::string adt = MshSegment("ADT^A01", "C3") + "\rPID|||9\r";
  ASSERT_TRUE(peer.Send(Framed(first.Text()) + Framed(second.Text()) + Framed(adt) + Framed(first.Text())));
  EXPECT_EQ(MsaSegment(peer.ReadAck().value_or("")), "MSA|AA|C1");
  EXPECT_EQ(MsaSegment(peer.ReadAck().value_or("")), "MSA|AA|C2");
  EXPECT_EQ(MsaSegment(peer.ReadAck().value_or("")), "MSA|AR|C3|ERROR - not an order message");
  // The resend of a stored order is acknowledged again and changes nothing.
  EXPECT_EQ(MsaSegment(peer.ReadAck().value_or("")), "MSA|AA|C1");
}

TEST_F(HL7Listener, UnframedMessageIsTakenAsItComes) {
  MllpPeer peer(server.Port());
  ASSERT_TRUE(peer.Send(TestOrder{}.Text()));
  EXPECT_EQ(MsaSegment(peer.ReadAck().value_or("")), "MSA|AA|C1");
}

TEST_F(HL7Listener, EndlessFrameIsRefusedAndTheConnectionClosed) {
  MllpPeer peer(server.Port());
  ASSERT_TRUE(peer.Send("\x0b" + MshSegment("ORM^O01", "HUGE") + "\r"));
  const std::string chunk(65536, 'z');
  for (int i = 0; i < 17; ++i)
    if (!peer.Send(chunk)) break;  // the server may close while we still write
  auto ack = peer.ReadAck();
  ASSERT_TRUE(ack);
  EXPECT_EQ(MsaSegment(*ack), "MSA|AE|HUGE|ERROR");
  EXPECT_TRUE(peer.ClosedByServer());
  EXPECT_NE(instance.Log().find("ERROR, THL7Server, message from 127.0.0.1 exceeds 1048576 bytes"),
            std::string::npos);
  // Other connections are still served.
  MllpPeer next(server.Port());
  ASSERT_TRUE(next.Send(Framed(TestOrder{}.Text())));
  EXPECT_EQ(MsaSegment(next.ReadAck().value_or("")), "MSA|AA|C1");
}

// A listener made after the test chose its limits and lists.
class GuardedHL7Listener : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(instance.Ready()); }
  void TearDown() override {
    server.reset();
    const ServerSettingsRecord fresh;
    ServerSettings.MaxHL7Connections = fresh.MaxHL7Connections;
    ServerSettings.HL7IdleTimeout = fresh.HL7IdleTimeout;
    ServerSettings.HL7FrameTimeout = fresh.HL7FrameTimeout;
    ServerSettings.HL7Senders = fresh.HL7Senders;
  }
  void Listen() { server = std::make_unique<THL7Server>(0, instance.Home(), ""); }
  int Port() const { return server->Port(); }

  InstanceFolder instance;
  PinnedClock pinned{2024, 3, 5, 14, 30, 15};
  std::unique_ptr<THL7Server> server;
};

// Silent connections cannot pile up: beyond MaxHL7Connections they are
// closed at once, and each one ends after its idle or frame time-out.
TEST_F(GuardedHL7Listener, ConnectionsAreCappedAndSilentOnesEnd) {
  ServerSettings.MaxHL7Connections = 3;
  ServerSettings.HL7IdleTimeout = 1;
  ServerSettings.HL7FrameTimeout = 1;
  Listen();
  std::vector<std::unique_ptr<MllpPeer>> silent;
  for (int i = 0; i < 3; ++i) silent.push_back(std::make_unique<MllpPeer>(Port()));
  // Give the three their threads before the fourth arrives.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  MllpPeer over(Port());
  EXPECT_TRUE(over.ClosedByServer(4000));
  for (auto& peer : silent) EXPECT_TRUE(peer->ClosedByServer(4000));
  MllpPeer partial(Port());
  ASSERT_TRUE(partial.Send("\x0b" + TestOrder{}.Text()));
  EXPECT_TRUE(partial.ClosedByServer(4000));
  EXPECT_EQ(instance.Row("A100"), "");  // the unfinished order was dropped

  const std::string log = instance.Log();
  EXPECT_NE(log.find("WARNING, THL7Server, connection from 127.0.0.1 refused: 3 connections open "
                     "(MaxHL7Connections)"),
            std::string::npos)
      << log;
  EXPECT_EQ(CountOf(log, "INFO, THL7Server, connection silent for 1 seconds (HL7IdleTimeout), closed, from 127.0.0.1"),
            3)
      << log;
  EXPECT_NE(log.find("incomplete message not finished within 1 seconds (HL7FrameTimeout), dropped"),
            std::string::npos);
  // The slots are free again.
  MllpPeer next(Port());
  ASSERT_TRUE(next.Send(Framed(TestOrder{}.Text())));
  EXPECT_EQ(MsaSegment(next.ReadAck().value_or("")), "MSA|AA|C1");
}

TEST_F(GuardedHL7Listener, SendersOffTheListsGetARAndChangeNothing) {
  Listen();
  struct Case {
    const char* addresses;
    const char* senders;
    const char* sender;  // MSH-3|MSH-4 of the message
    const char* msa;
  };
  const Case cases[] = {
      {"", "", "RIS|HOSP", "MSA|AA|C1"},
      {"10.0.0.0/8", "", "RIS|HOSP", "MSA|AR|C1|sender address 127.0.0.1 not allowed"},
      {"127.0.0.0/8", "RIS@HOSP", "RIS|HOSP", "MSA|AA|C1"},
      {"", "RIS@OTHER", "RIS|HOSP", "MSA|AR|C1|sending application RIS facility HOSP not allowed"},
      {"", "LAB, RIS", "RIS^1.2.3^ISO|X", "MSA|AA|C1"},
      {"", "RIS", "EVIL|HOSP", "MSA|AR|C1|sending application EVIL facility HOSP not allowed"},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::vector<std::string> errors;
    ServerSettings.HL7Senders = SenderAllowList::Parse(c.addresses, c.senders, errors);
    TestOrder order;
    order.accession = "ALLOW" + std::to_string(++n);
    std::string text = order.Text();
    text.replace(text.find("RIS|HOSP"), 8, c.sender);
    MllpPeer peer(Port());
    ASSERT_TRUE(peer.Send(Framed(text)));
    const std::string msa = MsaSegment(peer.ReadAck().value_or(""));
    EXPECT_EQ(msa, c.msa) << c.addresses << " / " << c.senders;
    EXPECT_EQ(instance.Row(order.accession).empty(), msa != "MSA|AA|C1") << order.accession;
  }
  EXPECT_NE(instance.Log().find("WARNING, THL7Server, message refused and not stored: sending application EVIL"),
            std::string::npos);
}

// Unframed bytes are logged as messages, each line cut to LogLineLimit: a
// stream of junk cannot fill the disk through the log.
TEST_F(GuardedHL7Listener, AFloodOfJunkLeavesABoundedLog) {
  Listen();
  const std::size_t before = instance.Log().size();
  MllpPeer peer(Port());
  const std::string junk(4 << 20, 'J');
  ASSERT_TRUE(peer.Send(junk));
  // Every read of junk is answered; wait until the server has caught up.
  while (peer.ReadAck(1500)) {
  }
  const std::string log = instance.Log();
  EXPECT_LT(log.size() - before, junk.size() / 4) << "log grew by " << log.size() - before;
  EXPECT_NE(log.find(" more bytes], from 127.0.0.1\r\n"), std::string::npos);
}

}  // namespace

}  // namespace tarvelin
