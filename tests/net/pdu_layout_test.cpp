// Byte layouts of the association PDUs as written, and reading requests
// with the sub-items peers send.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "net/associate_pdu.h"
#include "net/buffer.h"
#include "net/control_pdu.h"
#include "net/identifier.h"
#include "net_test_support.h"

namespace tarvelin {

using namespace nettest;

namespace {

std::string Text(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t n) {
  return std::string(bytes.begin() + at, bytes.begin() + at + n);
}

const std::string ImpClass20 = "1.2.826.0.1.3680043.";  // 20 characters

AAssociateRQ EchoRequest() {
  AAssociateRQ rq;
  rq.SetCalledApTitle("ANY-SCP         ");
  rq.SetCallingApTitle("TARVELIN        ");
  PresentationContext pc;
  pc.PresentationContextID = 1;
  pc.SetAbstractSyntax("1.2.840.10008.1.1");
  pc.AddTransferSyntax("1.2.840.10008.1.2");
  rq.AddPresentationContext(pc);
  rq.UserInfo.SetMaximumLength(16384);
  rq.UserInfo.SetImpClassUID(ImpClass20);
  rq.UserInfo.SetImpVersionName("QuillatSoft");
  return rq;
}

}  // namespace

TEST(AssociatePDU, RequestLayoutIsByteExact) {
  LinkPair p;
  AAssociateRQ rq = EchoRequest();
  ASSERT_TRUE(rq.Write(p.link));
  std::vector<std::uint8_t> pdu = ReadPDU(p.pair.theirs);
  // 68 fixed + 25 application context + 50 context + 51 user information
  ASSERT_EQ(pdu.size(), 6u + 194u);
  EXPECT_EQ(pdu[0], 0x01);
  EXPECT_EQ(BE32(pdu, 2), 194u);
  EXPECT_EQ(BE16(pdu, 6), 1);
  EXPECT_EQ(Text(pdu, 10, 16), "ANY-SCP         ");
  EXPECT_EQ(Text(pdu, 26, 16), "TARVELIN        ");
  EXPECT_EQ(Text(pdu, 42, 32), std::string(32, '\0'));
  EXPECT_EQ(pdu[74], 0x10);
  EXPECT_EQ(BE16(pdu, 76), 21);
  EXPECT_EQ(Text(pdu, 78, 21), "1.2.840.10008.3.1.1.1");

  std::size_t pc = 99;
  EXPECT_EQ(pdu[pc], 0x20);
  EXPECT_EQ(BE16(pdu, pc + 2), 46);  // 8 + 17 + (4 + 17)
  EXPECT_EQ(pdu[pc + 4], 1);
  EXPECT_EQ(pdu[pc + 8], 0x30);
  EXPECT_EQ(Text(pdu, pc + 12, 17), "1.2.840.10008.1.1");
  EXPECT_EQ(pdu[pc + 29], 0x40);
  EXPECT_EQ(Text(pdu, pc + 33, 17), "1.2.840.10008.1.2");

  std::size_t ui = pc + 50;
  EXPECT_EQ(pdu[ui], 0x50);
  EXPECT_EQ(BE16(pdu, ui + 2), 47);  // 8 + 24 + 15
  Bytes subItems;
  subItems.append(MaxLengthSubItem(16384)).append(UidItem(0x52, ImpClass20)).append(
      UidItem(0x55, "QuillatSoft"));
  EXPECT_EQ(std::vector<std::uint8_t>(pdu.begin() + ui + 4, pdu.end()), subItems.data);
}

TEST(AssociatePDU, UserIdentityIsWrittenOnlyWithAUserName) {
  LinkPair p;
  AAssociateRQ rq = EchoRequest();
  rq.UserInfo.SetUserIdentity("alice", "secret");
  ASSERT_TRUE(rq.Write(p.link));
  std::vector<std::uint8_t> pdu = ReadPDU(p.pair.theirs);
  Bytes identity;
  identity.u8(0x58).u8(0).u16(6 + 5 + 6).u8(2).u8(1).u16(5).text("alice").u16(6).text("secret");
  ASSERT_GE(pdu.size(), identity.size());
  EXPECT_EQ(std::vector<std::uint8_t>(pdu.end() - identity.size(), pdu.end()), identity.data);
  EXPECT_EQ(BE16(pdu, 149 + 2), 47 + identity.size());
}

TEST(AssociatePDU, ARequestContextWithoutTransferSyntaxSendsNothing) {
  LogCapture log;
  LinkPair p;
  AAssociateRQ rq = EchoRequest();
  rq.PresContexts[0].TrnSyntax.clear();
  EXPECT_FALSE(rq.Write(p.link));
  EXPECT_TRUE(log.Contains("ERROR, PresentationContext::Write"));
  EXPECT_TRUE(ReadExactly(p.pair.theirs, 1, 100).empty());
}

TEST(AssociatePDU, AcceptLayoutWithARejectedContextIsByteExact) {
  LinkPair p;
  AAssociateAC ac;
  PresentationContextAccept rejected;
  rejected.PresentationContextID = 7;
  rejected.Result = PresentationContextAccept::TransferSyntaxesNotSupported;
  ac.AddPresentationContextAccept(rejected);
  ac.UserInfo.SetMaximumLength(16384);
  ac.UserInfo.SetImpClassUID(ImpClass20);
  ac.UserInfo.SetImpVersionName("QuillatSoft");
  ASSERT_TRUE(ac.Write(p.link));
  std::vector<std::uint8_t> pdu = ReadPDU(p.pair.theirs);
  ASSERT_EQ(pdu.size(), 6u + 68 + 25 + 12 + 51);
  EXPECT_EQ(pdu[0], 0x02);
  std::vector<std::uint8_t> item(pdu.begin() + 99, pdu.begin() + 111);
  EXPECT_EQ(item, (std::vector<std::uint8_t>{0x21, 0x00, 0x00, 0x08, 7, 0x00, 0x04, 0x00, 0x40,
                                             0x00, 0x00, 0x00}));
}

TEST(AssociatePDU, ControlPDUsAreTenBytes) {
  LinkPair p;
  AAbortRQ abort;
  abort.Set(AbortSource::ServiceProvider, AbortReason::UnexpectedPdu);
  AAbortRQ userAbort;  // a service user's abort carries no reason
  userAbort.Set(AbortSource::ServiceUser, AbortReason::InvalidParameterValue);
  AReleaseRQ releaseRQ;
  AReleaseRP releaseRP;
  ASSERT_TRUE(abort.Write(p.link));
  ASSERT_TRUE(userAbort.Write(p.link));
  ASSERT_TRUE(releaseRQ.Write(p.link));
  ASSERT_TRUE(releaseRP.Write(p.link));
  std::vector<std::uint8_t> wire = ReadExactly(p.pair.theirs, 40);
  EXPECT_EQ(wire, (std::vector<std::uint8_t>{7, 0, 0, 0, 0, 4, 0, 0, 2, 2,  //
                                             7, 0, 0, 0, 0, 4, 0, 0, 0, 0,  //
                                             5, 0, 0, 0, 0, 4, 0, 0, 0, 0,  //
                                             6, 0, 0, 0, 0, 4, 0, 0, 0, 0}));
  // A rejection is read field by field.
  WriteAll(p.pair.theirs, {3, 0, 0, 0, 0, 4, 0, 1, 2, 7});
  AAssociateRJ rj;
  ASSERT_TRUE(rj.ReadDynamic(p.link));
  EXPECT_EQ(rj.Result, 1);
  EXPECT_EQ(rj.Source, 2);
  EXPECT_EQ(rj.Reason, 7);
}

TEST(AssociatePDU, WrittenRequestReadsBackWithPaddedTitles) {
  LinkPair p;
  AAssociateRQ written = EchoRequest();
  ASSERT_TRUE(written.Write(p.link));
  WriteAll(p.pair.theirs, ReadPDU(p.pair.theirs));  // echo it back
  AAssociateRQ read;
  ASSERT_TRUE(read.ReadDynamic(p.link));
  EXPECT_EQ(read.GetCalledApTitle(), "ANY-SCP         ");
  EXPECT_EQ(read.GetCallingApTitle(), "TARVELIN        ");
  ASSERT_EQ(read.PresContexts.size(), 1u);
  EXPECT_EQ(read.PresContexts[0].AbsSyntax.UID, "1.2.840.10008.1.1");
  ASSERT_EQ(read.PresContexts[0].TrnSyntax.size(), 1u);
  EXPECT_EQ(read.UserInfo.MaxSubLength.MaximumLength, 16384u);
  EXPECT_EQ(read.UserInfo.ImpClass.UID, ImpClass20);
  EXPECT_EQ(read.UserInfo.ImpVersion.Name, "QuillatSoft");
}

TEST(AssociatePDU, ReadsAsyncWindowRoleSelectionAndUserIdentity) {
  LinkPair p;
  Bytes sub;
  sub.append(MaxLengthSubItem(32768)).append(UidItem(0x52, "1.2.3.4"));
  sub.u8(0x53).u8(0).u16(4).u16(5).u16(6);
  sub.u8(0x54).u8(0).u16(2 + 17 + 2).u16(17).text("1.2.840.10008.1.1").u8(1).u8(0);
  sub.append(UidItem(0x55, "PEER_1"));
  sub.u8(0x58).u8(0).u16(6 + 3 + 2).u8(2).u8(1).u16(3).text("bob").u16(2).text("pw");
  Bytes items;
  items.append(RequestContext(1, "1.2.840.10008.1.1", {"1.2.840.10008.1.2"}))
      .append(UserInfoItem(sub));
  WriteAll(p.pair.theirs, AssociateRQ(items).data);
  AAssociateRQ rq;
  ASSERT_TRUE(rq.ReadDynamic(p.link));
  const UserInformation& ui = rq.UserInfo;
  EXPECT_EQ(ui.MaxSubLength.MaximumLength, 32768u);
  EXPECT_EQ(ui.ImpClass.UID, "1.2.3.4");
  EXPECT_EQ(ui.AsyncOpWindow.MaxOperationsInvoked, 5);
  EXPECT_EQ(ui.AsyncOpWindow.MaxOperationsPerformed, 6);
  ASSERT_EQ(ui.RoleSelections.size(), 1u);
  EXPECT_EQ(ui.RoleSelections[0].UID, "1.2.840.10008.1.1");
  EXPECT_EQ(ui.RoleSelections[0].SCURole, 1);
  EXPECT_EQ(ui.ImpVersion.Name, "PEER_1");
  EXPECT_EQ(ui.UserIdent.PrimaryField, "bob");
  EXPECT_EQ(ui.UserIdent.SecondaryField, "pw");
  EXPECT_EQ(rq.GetCallingApTitle(), "MODALITY        ");
}

TEST(AssociatePDU, AnExtendedNegotiationSubItemLosesTheRestOfTheUserInformation) {
  LogCapture log;
  LinkPair p;
  Bytes sub;
  sub.append(MaxLengthSubItem(16384));
  sub.u8(0x56).u8(0).u16(2 + 17 + 1).u16(17).text("1.2.840.10008.1.1").u8(1);
  sub.append(UidItem(0x52, "1.2.3.4"));
  Bytes items;
  items.append(RequestContext(1, "1.2.840.10008.1.1", {"1.2.840.10008.1.2"}))
      .append(UserInfoItem(sub))
      .append(RequestContext(3, "1.2.840.10008.5.1.4.31", {"1.2.840.10008.1.2"}));
  WriteAll(p.pair.theirs, AssociateRQ(items).data);
  AAssociateRQ rq;
  ASSERT_TRUE(rq.ReadDynamic(p.link));
  EXPECT_TRUE(log.Contains("WARNING, UserInformation::Read Unknown Packet"));
  EXPECT_EQ(rq.UserInfo.MaxSubLength.MaximumLength, 16384u);
  EXPECT_EQ(rq.UserInfo.ImpClass.UID, "");
  ASSERT_EQ(rq.PresContexts.size(), 2u);  // items after the user information still count
  EXPECT_EQ(rq.PresContexts[1].AbsSyntax.UID, "1.2.840.10008.5.1.4.31");
}

TEST(AssociatePDU, SubItemsThatDoNotAddUpFailOnlyTheirItem) {
  LogCapture log;
  LinkPair p;
  Bytes badContext;  // claims 2 more bytes than its sub-items hold
  badContext.u8(0x20).u8(0).u16(8 + 17 + 4 + 17 + 2).u8(1).u8(0).u8(0).u8(0)
      .append(UidItem(0x30, "1.2.840.10008.1.1")).append(UidItem(0x40, "1.2.840.10008.1.2"))
      .u8(0x40).u8(0);
  Bytes items;
  items.append(badContext).append(RequestContext(3, "1.2.840.10008.1.1", {"1.2.840.10008.1.2"}));
  WriteAll(p.pair.theirs, AssociateRQ(items).data);
  AAssociateRQ rq;
  ASSERT_TRUE(rq.ReadDynamic(p.link));
  EXPECT_TRUE(log.Contains("WARNING, PresentationContext::Read Count=")) << log.Text();
  ASSERT_EQ(rq.PresContexts.size(), 2u);
  EXPECT_EQ(rq.PresContexts[1].PresentationContextID, 3);
}

TEST(AssociatePDU, AnUnknownItemTypeFailsTheRequest) {
  LogCapture log;
  LinkPair p;
  Bytes items;
  items.append(RequestContext(1, "1.2.840.10008.1.1", {"1.2.840.10008.1.2"})).u8(0x33).u8(0).u16(0);
  WriteAll(p.pair.theirs, AssociateRQ(items).data);
  AAssociateRQ rq;
  EXPECT_FALSE(rq.ReadDynamic(p.link));
  EXPECT_TRUE(log.Contains("WARNING, AAssociateRQ::Read Unknown Packet"));
  EXPECT_TRUE(log.Contains("WARNING, AAssociateRQ::Read Count=3"));
}

TEST(IdentifierCounter, GivesOddValuesAndStartsAgainAtOne) {
  ResetIdentifierCounter();
  EXPECT_EQ(NextOddIdentifier(), 1u);
  EXPECT_EQ(NextOddIdentifier(), 3u);
  PresentationContext pc;
  EXPECT_EQ(pc.PresentationContextID, 5);
  ResetIdentifierCounter();
  EXPECT_EQ(NextOddIdentifier(), 1u);
}

TEST(IdentifierCounter, StaysOddAndDistinctUnderConcurrentUse) {
  ResetIdentifierCounter();
  std::vector<std::vector<std::uint32_t>> taken(4);
  std::vector<std::thread> threads;
  for (auto& mine : taken)
    threads.emplace_back([&mine] {
      for (int i = 0; i < 20000; ++i) mine.push_back(NextOddIdentifier());
    });
  for (auto& t : threads) t.join();
  std::set<std::uint32_t> all;
  for (const auto& mine : taken)
    for (std::uint32_t value : mine) {
      EXPECT_EQ(value % 2, 1u);
      all.insert(value);
    }
  EXPECT_EQ(all.size(), 80000u);
}

}  // namespace tarvelin
