// Buffer byte orders and queues, P-DATA-TF fragmentation and assembly, and
// the refusal of PDV and PDU lengths that cannot fit.
#include "net/pdatatf.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <numeric>
#include <thread>
#include <vector>

#include "net/buffer.h"
#include "net/pdu_limits.h"
#include "net_test_support.h"

namespace tarvelin {

using namespace nettest;

namespace {

std::vector<std::uint8_t> Pattern(std::size_t n, std::uint8_t start = 0) {
  std::vector<std::uint8_t> bytes(n);
  std::iota(bytes.begin(), bytes.end(), start);
  return bytes;
}

// A Buffer bound to one end of a socket pair.

}  // namespace

TEST(Buffer, WritesAndReadsBothByteOrders) {
  LinkPair p;
  p.link.Write16(0x1234);
  p.link.Write32(0x89ABCDEF);
  p.link.SetOutgoingEndian(Buffer::LittleEndianOrder);
  p.link.Write16(0x1234);
  p.link.Write32(0x89ABCDEF);
  ASSERT_TRUE(p.link.Flush());
  std::vector<std::uint8_t> expected = {0x12, 0x34, 0x89, 0xAB, 0xCD, 0xEF,
                                        0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89};
  std::vector<std::uint8_t> wire = ReadExactly(p.pair.theirs, 12);
  EXPECT_EQ(wire, expected);

  WriteAll(p.pair.theirs, expected);
  EXPECT_EQ(p.link.Read16(), 0x1234);
  EXPECT_EQ(p.link.Read32(), 0x89ABCDEFu);
  p.link.SetIncomingEndian(Buffer::LittleEndianOrder);
  EXPECT_EQ(p.link.Read16(), 0x1234);
  EXPECT_EQ(p.link.Read32(), 0x89ABCDEFu);
}

TEST(Buffer, ReadReceivesMoreWhenTooFewBytesAreQueued) {
  LinkPair p;
  WriteAll(p.pair.theirs, {1, 2, 3, 4});
  ASSERT_TRUE(p.link.ReadBlock());
  EXPECT_EQ(p.link.IncomingCount(), 4u);
  std::thread late([&] { WriteAll(p.pair.theirs, {5, 6}); });
  std::uint8_t got[6];
  EXPECT_TRUE(p.link.Read(got, 6));
  late.join();
  EXPECT_EQ(std::vector<std::uint8_t>(got, got + 6), Pattern(6, 1));
}

TEST(Buffer, FlushSendsALargeQueueCompletelyAndInOrder) {
  LinkPair p;
  std::vector<std::uint8_t> bytes = Pattern(100000);
  std::vector<std::uint8_t> wire;
  std::thread reader([&] { wire = ReadExactly(p.pair.theirs, bytes.size()); });
  p.link.Write(bytes.data(), bytes.size());
  EXPECT_TRUE(p.link.Flush());
  reader.join();
  EXPECT_EQ(wire, bytes);
  EXPECT_EQ(p.link.OutgoingCount(), 0u);
}

TEST(Buffer, ReadAfterThePeerClosedFailsWithBothLines) {
  LogCapture log;
  LinkPair p;
  close(p.pair.theirs);
  p.pair.theirs = -1;
  std::uint8_t got[2];
  EXPECT_FALSE(p.link.Read(got, 2));
  EXPECT_TRUE(log.Contains("ERROR, Buffer::ReadBlock, Error from ReadBinary()"));
  EXPECT_TRUE(log.Contains("ERROR, Buffer::Read, failed ReadBlock"));
  Buffer target;
  EXPECT_FALSE(p.link.MoveOut(target, 1));
  EXPECT_TRUE(log.Contains("ERROR, Buffer::MoveOut, Outsize<Byte"));
}

TEST(PDataTF, FortyThousandBytesLeaveInThreeFragments) {
  LinkPair p;
  PDataTF pdata;
  std::vector<std::uint8_t> part = Pattern(40000);
  pdata.VRBuffer.Write(part.data(), part.size());
  pdata.StoredPresentationContextID = 3;
  pdata.MsgHeaderToWrite = 0;
  pdata.BlockSize = 16378;
  std::vector<std::vector<std::uint8_t>> pdus;
  std::thread reader([&] {
    for (int i = 0; i < 3; ++i) pdus.push_back(ReadPDU(p.pair.theirs));
  });
  ASSERT_TRUE(pdata.Write(p.link));
  reader.join();
  const std::uint32_t fragments[] = {16378, 16378, 7244};
  std::vector<std::uint8_t> joined;
  for (int i = 0; i < 3; ++i) {
    const auto& pdu = pdus[i];
    ASSERT_EQ(pdu.size(), fragments[i] + 12u);
    EXPECT_EQ(pdu[0], 0x04);
    EXPECT_EQ(BE32(pdu, 2), fragments[i] + 6);
    EXPECT_EQ(BE32(pdu, 6), fragments[i] + 2);
    EXPECT_EQ(pdu[10], 3);
    EXPECT_EQ(pdu[11], i == 2 ? 0x02 : 0x00);  // data set; last fragment only on the third
    joined.insert(joined.end(), pdu.begin() + 12, pdu.end());
  }
  EXPECT_EQ(joined, part);
}

TEST(PDataTF, ACommandSetOfOneHundredBytesIsOnePDU) {
  LinkPair p;
  PDataTF pdata;
  std::vector<std::uint8_t> part = Pattern(100);
  pdata.VRBuffer.Write(part.data(), part.size());
  pdata.StoredPresentationContextID = 1;
  pdata.MsgHeaderToWrite = 1;
  pdata.BlockSize = 16378;
  ASSERT_TRUE(pdata.Write(p.link));
  std::vector<std::uint8_t> pdu = ReadPDU(p.pair.theirs);
  ASSERT_EQ(pdu.size(), 112u);
  EXPECT_EQ(BE32(pdu, 2), 106u);
  EXPECT_EQ(BE32(pdu, 6), 102u);
  EXPECT_EQ(pdu[11], 0x03);

  // An empty message part sends nothing at all.
  ASSERT_TRUE(pdata.Write(p.link));
  EXPECT_TRUE(ReadExactly(p.pair.theirs, 1, 100).empty());
}

TEST(PDataTF, TwoPDVsInOnePDUCompleteTwoMessageParts) {
  LinkPair p;
  std::vector<std::uint8_t> command = Pattern(10, 1), data = Pattern(20, 100);
  Bytes pdu;
  pdu.u8(4).u8(0).u32(6 + 10 + 6 + 20);
  pdu.u32(12).u8(5).u8(0x03).append(command);
  pdu.u32(22).u8(7).u8(0x02).append(data);
  WriteAll(p.pair.theirs, pdu.data);

  PDataTF pdata;
  ASSERT_EQ(p.link.Read8(), 4);
  ASSERT_TRUE(pdata.ReadDynamic(p.link));
  EXPECT_EQ(pdata.MsgStatus, 1);
  EXPECT_EQ(pdata.StoredPresentationContextID, 5);
  EXPECT_EQ(pdata.VRBuffer.TakeIncoming(), command);
  EXPECT_EQ(pdata.Length, 26u);  // the second PDV is still to be read

  ASSERT_TRUE(pdata.ReadDynamic(p.link));  // no PDU header in between
  EXPECT_EQ(pdata.MsgStatus, 1);
  EXPECT_EQ(pdata.StoredPresentationContextID, 7);
  EXPECT_EQ(pdata.VRBuffer.TakeIncoming(), data);
  EXPECT_EQ(pdata.Length, 0u);
}

TEST(PDataTF, AMessagePartOverSeveralPDUsIsAssembledInOrder) {
  LinkPair p;
  std::vector<std::uint8_t> a = Pattern(300, 0), b = Pattern(300, 44), c = Pattern(5, 9);
  Bytes wire;
  wire.append(PDataPDU(1, 0x00, a)).append(PDataPDU(1, 0x00, b)).append(PDataPDU(3, 0x02, c));
  WriteAll(p.pair.theirs, wire.data);

  PDataTF pdata;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(p.link.Read8(), 4);
    ASSERT_TRUE(pdata.ReadDynamic(p.link));
    EXPECT_EQ(pdata.MsgStatus, i == 2 ? 1 : 0);
  }
  std::vector<std::uint8_t> expected = a;
  expected.insert(expected.end(), b.begin(), b.end());
  expected.insert(expected.end(), c.begin(), c.end());
  EXPECT_EQ(pdata.VRBuffer.TakeIncoming(), expected);
  EXPECT_EQ(pdata.StoredPresentationContextID, 3);
}

// Each case: the PDU after its type byte; the read must fail with an error
// line before it waits for or allocates the bytes the lengths announce.
TEST(PDataTF, RefusesLengthsThatCannotFit) {
  struct Case {
    const char* name;
    Bytes pdu;
  };
  std::vector<Case> cases = {
      {"PDV longer than its PDU", Bytes().u8(0).u32(20).u32(100).u8(1).u8(2)},
      {"PDV length below 2", Bytes().u8(0).u32(20).u32(1).u8(1).u8(2)},
      {"PDU of 4 GiB", Bytes().u8(0).u32(0xFFFFFFFF).u32(0xFFFFFFF0).u8(1).u8(2)},
      {"PDU too short for a PDV header", Bytes().u8(0).u32(3).u8(0).u8(0).u8(0)},
      {"PDV of 4 GiB in a small PDU", Bytes().u8(0).u32(30).u32(0xFFFFFFFF).u8(1).u8(2)},
  };
  for (const Case& c : cases) {
    LogCapture log;
    LinkPair p;
    WriteAll(p.pair.theirs, c.pdu.data);
    PDataTF pdata;
    EXPECT_FALSE(pdata.ReadDynamic(p.link)) << c.name;
    EXPECT_TRUE(log.Contains("ERROR, PDataTF::ReadDynamic, ")) << c.name << log.Text();
    EXPECT_EQ(pdata.Length, 0u) << c.name;
    EXPECT_EQ(pdata.VRBuffer.IncomingCount(), 0u) << c.name;
  }
}

TEST(PDataTF, RefusesAMessagePartOverSixtyFourMebibytes) {
  LogCapture log;
  LinkPair p;
  const std::uint32_t first = 40u << 20, second = 30u << 20;
  std::thread writer([&] {
    std::vector<std::uint8_t> head = Bytes().u8(4).u8(0).u32(first + 6).u32(first + 2).u8(1).u8(0).data;
    WriteAll(p.pair.theirs, head);
    WriteAll(p.pair.theirs, std::vector<std::uint8_t>(first, 0x55));
    WriteAll(p.pair.theirs, Bytes().u8(4).u8(0).u32(second + 6).u32(second + 2).u8(1).u8(2).data);
  });
  PDataTF pdata;
  ASSERT_EQ(p.link.Read8(), 4);
  ASSERT_TRUE(pdata.ReadDynamic(p.link));
  EXPECT_EQ(pdata.MsgStatus, 0);
  EXPECT_EQ(pdata.VRBuffer.IncomingCount(), first);
  ASSERT_EQ(p.link.Read8(), 4);
  EXPECT_FALSE(pdata.ReadDynamic(p.link));
  writer.join();
  EXPECT_TRUE(log.Contains("ERROR, PDataTF::ReadDynamic, message part over"));
  EXPECT_EQ(pdata.VRBuffer.IncomingCount(), 0u);
}

}  // namespace tarvelin
