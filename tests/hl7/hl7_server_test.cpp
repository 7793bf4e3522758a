#include "hl7/hl7_server.h"

#include <gtest/gtest.h>


#include "hl7/hl7_ack.h"
#include "hl7/hl7_test_support.h"
#include "support/pinned_clock.h"

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

}  // namespace
