// Message parts over an accepted association: P-DATA-TF sizes bounded by the
// peer's maximum, batched sends, decoding on the right context, release, abort, protocol
// errors, time-outs and closed peers.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "association_fixture.h"
#include "dicom/bufdata.h"
#include "dicom/dcmobj.h"

namespace tarvelin {

using namespace nettest;

namespace {

// A data set whose implicit VR encoding is exactly `size` bytes (size >= 8).
DcmObj DataSetOfSize(std::size_t size) {
  DcmObj obj;
  obj.Add(DcmTag(0x0010, 0x0010, std::string(size - 8, 'A')));
  return obj;
}

std::vector<std::uint32_t> PDULengthsOfMessage(int fd) {
  std::vector<std::uint32_t> lengths;
  for (;;) {
    std::vector<std::uint8_t> pdu = ReadPDU(fd);
    if (pdu.size() < 12) break;
    lengths.push_back(BE32(pdu, 2));
    if (pdu[11] & 0x02) break;
  }
  return lengths;
}

std::vector<std::uint8_t> EchoCommandBytes() {
  DcmObj command;
  command.Add(DcmTag(0x0000, 0x0002, VerificationUID));
  command.Add(DcmTag::U16(0x0000, 0x0100, 0x0030));
  command.Add(DcmTag::U16(0x0000, 0x0110, 7));
  command.Add(DcmTag::U16(0x0000, 0x0800, 0x0101));
  BufData codec;
  codec.WriteObj(command);
  return codec.Stream.Bytes;
}

}  // namespace

TEST(MessageExchange, PDUsNeverExceedThePeersMaximum) {
  struct Case {
    std::uint32_t peerMaximum;
    std::size_t size;
    std::vector<std::uint32_t> pduLengths;
  };
  const std::vector<Case> cases = {
      {4096, 10000, {4096, 4096, 1826}},
      {0, 40000, {16384, 16384, 7250}},       // no limit announced: our own
      {65536, 40000, {16384, 16384, 7250}},   // never above our own
      {16384, 100, {106}},
  };
  for (const Case& c : cases) {
    AcceptedAssociation a(c.peerMaximum);
    ASSERT_TRUE(a.ready);
    a.service.pdata.StoredPresentationContextID = 1;
    DcmObj data = DataSetOfSize(c.size);
    ASSERT_TRUE(a.service.Write(data, PDU_Service::DataSetPart));
    EXPECT_EQ(PDULengthsOfMessage(a.pair.theirs), c.pduLengths) << c.peerMaximum;
  }
}

// Messages written with moreFollow wait, in order, until the queue is large
// enough, an ordinary message follows, or the association reads.
TEST(MessageExchange, MessagesWithMoreToFollowLeaveTogetherLater) {
  const auto nothingWaiting = [](int fd) {
    pollfd wait{fd, POLLIN, 0};
    return poll(&wait, 1, 50) == 0;
  };
  AcceptedAssociation a;
  ASSERT_TRUE(a.ready);
  a.service.pdata.StoredPresentationContextID = 1;
  DcmObj command = DataSetOfSize(20), data = DataSetOfSize(100);
  ASSERT_TRUE(a.service.WriteMessage(command, &data, true));
  ASSERT_TRUE(a.service.WriteMessage(command, nullptr, true));
  EXPECT_TRUE(nothingWaiting(a.pair.theirs));
  ASSERT_TRUE(a.service.WriteMessage(command, &data));
  const std::vector<std::uint32_t> expected = {26, 106, 26, 26, 106};
  std::vector<std::uint32_t> lengths;
  for (std::size_t i = 0; i < expected.size(); ++i) lengths.push_back(BE32(ReadPDU(a.pair.theirs), 2));
  EXPECT_EQ(lengths, expected);

  // A batch is sent once it is large.
  DcmObj large = DataSetOfSize(PDU_Service::SendBatchBytes);
  ASSERT_TRUE(a.service.WriteMessage(command, &large, true));
  EXPECT_FALSE(nothingWaiting(a.pair.theirs));
  while (ReadPDU(a.pair.theirs)[11] != 0x02) {
  }

  // A read sends what waits first: the peer may be waiting for it.
  ASSERT_TRUE(a.service.WriteMessage(command, nullptr, true));
  EXPECT_TRUE(nothingWaiting(a.pair.theirs));
  std::thread reader([&] {
    DcmObj next;
    a.service.Read(next);
  });
  EXPECT_EQ(BE32(ReadPDU(a.pair.theirs), 2), 26u);
  WriteAll(a.pair.theirs, PDataPDU(1, 0x03, EchoCommandBytes()).data);
  reader.join();
}

TEST(MessageExchange, ReadsACommandOnItsContextAndAnswersOnTheSame) {
  AcceptedAssociation a;
  ASSERT_TRUE(a.ready);
  WriteAll(a.pair.theirs, PDataPDU(1, 0x03, EchoCommandBytes()).data);
  DcmObj command;
  ASSERT_TRUE(a.service.Read(command));
  EXPECT_EQ(command.GetUS(0x0000, 0x0100), 0x0030);
  EXPECT_EQ(command.GetString(0x0000, 0x0002), VerificationUID);
  EXPECT_EQ(command.TransferSyntax, ImplicitUID);
  EXPECT_EQ(command.ExplicitVR, 0);
  EXPECT_EQ(a.service.GetAbstractSyntaxUID(), VerificationUID);

  ASSERT_TRUE(a.service.Write(command, PDU_Service::CommandPart));
  std::vector<std::uint8_t> pdu = ReadPDU(a.pair.theirs);
  ASSERT_GE(pdu.size(), 12u);
  EXPECT_EQ(pdu[10], 1);
  EXPECT_EQ(pdu[11], 0x03);
  EXPECT_EQ(std::vector<std::uint8_t>(pdu.begin() + 12, pdu.end()), EchoCommandBytes());
}

TEST(MessageExchange, ACommandAndDataSetInOnePDUAreReadOneAfterTheOther) {
  AcceptedAssociation a;
  ASSERT_TRUE(a.ready);
  DcmObj dataset;
  dataset.TransferSyntax = ExplicitUID;
  dataset.ExplicitVR = 1;
  dataset.Add(DcmTag(0x0010, 0x0010, std::string("DOE^JOHN")));
  BufData codec;
  codec.WriteObj(dataset);
  std::vector<std::uint8_t> command = EchoCommandBytes(), data = codec.Stream.Bytes;
  Bytes pdu;
  pdu.u8(4).u8(0).u32(static_cast<std::uint32_t>(12 + command.size() + data.size()));
  pdu.u32(static_cast<std::uint32_t>(command.size() + 2)).u8(3).u8(0x03).append(command);
  pdu.u32(static_cast<std::uint32_t>(data.size() + 2)).u8(3).u8(0x02).append(data);
  WriteAll(a.pair.theirs, pdu.data);

  DcmObj first, second;
  ASSERT_TRUE(a.service.Read(first));
  EXPECT_EQ(first.GetUS(0x0000, 0x0100), 0x0030);
  ASSERT_TRUE(a.service.Read(second));
  EXPECT_EQ(second.TransferSyntax, ExplicitUID);
  EXPECT_EQ(second.ExplicitVR, 1);
  EXPECT_EQ(second.GetString(0x0010, 0x0010), "DOE^JOHN");
  EXPECT_EQ(a.service.GetAbstractSyntaxUID(), WorklistUID);
}

TEST(MessageExchange, AReleaseRequestIsAnsweredAndLeavesTheConnectionOpen) {
  LogCapture log;
  AcceptedAssociation a;
  ASSERT_TRUE(a.ready);
  WriteAll(a.pair.theirs, {5, 0, 0, 0, 0, 4, 0, 0, 0, 0});
  DcmObj obj;
  EXPECT_FALSE(a.service.Read(obj));
  EXPECT_EQ(ReadPDU(a.pair.theirs), (std::vector<std::uint8_t>{6, 0, 0, 0, 0, 4, 0, 0, 0, 0}));
  EXPECT_TRUE(a.service.IsConnected());
  EXPECT_EQ(log.Text().find("ERROR"), std::string::npos) << log.Text();
}

TEST(MessageExchange, ReleaseSendsTheRequestReadsTheAnswerAndCloses) {
  AcceptedAssociation a;
  ASSERT_TRUE(a.ready);
  WriteAll(a.pair.theirs, {6, 0, 0, 0, 0, 4, 0, 0, 0, 0});  // answered in advance
  EXPECT_TRUE(a.service.Release());
  EXPECT_EQ(ReadPDU(a.pair.theirs), (std::vector<std::uint8_t>{5, 0, 0, 0, 0, 4, 0, 0, 0, 0}));
  EXPECT_FALSE(a.service.IsConnected());
}

// Each case: what the peer sends instead of a message, the A-ABORT expected
// back (or not) and the log line.
TEST(MessageExchange, AbortsAndProtocolErrorsEndTheAssociation) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> sent;
    std::vector<std::uint8_t> abort;  // the A-ABORT expected back; empty: none
    const char* line;
  };
  std::vector<std::uint8_t> pdvOnContext9 = PDataPDU(9, 0x03, EchoCommandBytes()).data;
  std::vector<std::uint8_t> secondRequest =
      AssociateRQ(RequestContext(1, VerificationUID, {ImplicitUID})).data;
  // Faults of the protocol are the provider's (source 2) with their reason;
  // a message that does not decode is refused by the service user (0).
  const std::vector<Case> cases = {
      {"abort", {7, 0, 0, 0, 0, 4, 0, 0, 0, 2}, {}, "WARNING, PDU_Service::Read Abort-RQ"},
      {"release answer", {6, 0, 0, 0, 0, 4, 0, 0, 0, 0}, {},
       "WARNING, PDU_Service::Read Release-RSP"},
      {"unknown PDU type", {9, 0, 0, 0, 0, 0}, AbortPDU(2, 1), "ERROR, PDU_Service::Read Protocol Error"},
      {"PDV on a context not accepted", pdvOnContext9, AbortPDU(0, 0),
       "ERROR, PDU_Service::ParseRawVRIntoDCM GetTransferSyntaxUID()"},
      {"second request", secondRequest, AbortPDU(2, 2), "ERROR, PDU_Service::Read Associate-RQ"},
      {"rejection", {3, 0, 0, 0, 0, 4, 0, 1, 1, 1}, AbortPDU(2, 2), "ERROR, PDU_Service::Read Associate-RJ"},
      {"undecodable data set", PDataPDU(1, 0x03, {0x10, 0x00, 0x10, 0x00, 0xFF, 0, 0, 0}).data,
       AbortPDU(0, 0), "ERROR, PDU_Service::Read ParseRawVRIntoDCM()"},
  };
  for (const Case& c : cases) {
    LogCapture log;
    AcceptedAssociation a;
    ASSERT_TRUE(a.ready) << c.name;
    WriteAll(a.pair.theirs, c.sent);
    DcmObj obj;
    EXPECT_FALSE(a.service.Read(obj)) << c.name;
    EXPECT_FALSE(a.service.IsConnected()) << c.name;
    EXPECT_TRUE(log.Contains(c.line)) << c.name << "\n" << log.Text();
    if (!c.abort.empty()) {
      EXPECT_EQ(ReadPDU(a.pair.theirs), c.abort) << c.name;
    }
    EXPECT_TRUE(PeerClosed(a.pair.theirs)) << c.name;
  }
}

TEST(MessageExchange, AReadTimesOutAndClosesTheConnection) {
  LogCapture log;
  AcceptedAssociation a;
  ASSERT_TRUE(a.ready);
  a.service.Link.Sock.SetTimeout(1);
  WriteAll(a.pair.theirs, {4, 0, 0, 0, 0, 40});  // a PDU that never completes
  DcmObj obj;
  EXPECT_FALSE(a.service.Read(obj));
  EXPECT_TRUE(log.Contains("ERROR, Socket::ReadBinary, Timed out"));
  EXPECT_FALSE(a.service.IsConnected());
  EXPECT_FALSE(a.service.Read(obj));  // later reads fail at once
}

TEST(MessageExchange, APeerThatClosesEndsTheRead) {
  AcceptedAssociation a;
  ASSERT_TRUE(a.ready);
  close(a.pair.theirs);
  a.pair.theirs = -1;
  DcmObj obj;
  EXPECT_FALSE(a.service.Read(obj));
  EXPECT_FALSE(a.service.IsConnected());
}

TEST(MessageExchange, NothingIsWrittenBeforeAContextIsKnown) {
  LogCapture log;
  AcceptedAssociation a;
  ASSERT_TRUE(a.ready);
  DcmObj obj = DataSetOfSize(20);
  EXPECT_FALSE(a.service.Write(obj, PDU_Service::DataSetPart));
  EXPECT_TRUE(log.Contains("ERROR, PDU_Service::Write, pdata.PresentationContextID is 0"));
}

TEST(MessageExchange, APDUSomewhatOverOurMaximumIsStillServed) {
  AcceptedAssociation a;
  ASSERT_TRUE(a.ready);
  DcmObj big = DataSetOfSize(20000);
  BufData codec;
  codec.WriteObj(big);
  WriteAll(a.pair.theirs, PDataPDU(1, 0x02, codec.Stream.Bytes).data);
  DcmObj obj;
  ASSERT_TRUE(a.service.Read(obj));
  ASSERT_NE(obj.Find(0x0010, 0x0010), nullptr);
  EXPECT_EQ(obj.Find(0x0010, 0x0010)->Length, 19992u);
}

TEST(MessageExchange, TheDumpLogsEveryMessagePartBetweenTheTitles) {
  LogCapture log;
  AcceptedAssociation a;
  ASSERT_TRUE(a.ready);
  a.service.DumpDataSets = true;
  WriteAll(a.pair.theirs, PDataPDU(1, 0x03, EchoCommandBytes()).data);
  DcmObj command;
  ASSERT_TRUE(a.service.Read(command));
  ASSERT_TRUE(a.service.Write(command, PDU_Service::CommandPart));
  EXPECT_TRUE(log.Contains(", MODALITY << TARVELIN\r\n")) << log.Text();
  EXPECT_TRUE(log.Contains(", MODALITY >> TARVELIN\r\n"));
  EXPECT_TRUE(log.Contains("(0000,0002), 18, UI, "));
}

}  // namespace tarvelin
