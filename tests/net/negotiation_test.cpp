// The acceptor's negotiation: which context gets which transfer syntax, the
// answer to every proposed context in order, and refusing all of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dicom/uid.h"
#include "net/associate_pdu.h"
#include "net/pdu_service.h"
#include "net_test_support.h"
#include "service/settings.h"

namespace tarvelin {

using namespace nettest;

namespace {

const std::string CT = "1.2.840.10008.5.1.4.1.1.2";
const std::string Verification = "1.2.840.10008.1.1";
const std::string Worklist = "1.2.840.10008.5.1.4.31";
const std::string MPPS = "1.2.840.10008.3.1.2.3.3";
const std::string StudyRootFind = "1.2.840.10008.5.1.4.1.2.2.1";
const std::string StorageCommitment = "1.2.840.10008.1.20.1";
const std::string Implicit = "1.2.840.10008.1.2";
const std::string Explicit = "1.2.840.10008.1.2.1";
const std::string J2K = "1.2.840.10008.1.2.4.91";
const std::string Baseline = "1.2.840.10008.1.2.4.50";

// Sends a request made of `contexts` to a fresh acceptor and reads its answer.
struct Negotiation {
  SocketPair pair;
  PDU_Service service;
  Buffer peer;  // our side of the conversation with the acceptor
  AAssociateAC answer;
  bool accepted = false;
  bool answered = false;

  explicit Negotiation(const Bytes& contexts, const Bytes& userInfo = UserInfoItem(MaxLengthSubItem(4096))) {
    Bytes items;
    items.append(contexts).append(userInfo);
    WriteAll(pair.theirs, AssociateRQ(items).data);
    accepted = service.Multiplex(pair.ours);
    peer.Sock.Attach(pair.theirs);
    peer.Sock.SetTimeout(5);
    pair.theirs = -1;
    peer.SetIncomingEndian(Buffer::BigEndianOrder);
    answered = answer.ReadDynamic(peer);
  }

  std::string Syntax(std::size_t index) const { return answer.PresContextAccepts.at(index).TrnSyntax.UID; }
  int Result(std::size_t index) const { return answer.PresContextAccepts.at(index).Result; }
};

// A role selection sub-item for `uid` with the requestor's SCU and SCP roles.
Bytes RoleItem(const std::string& uid, std::uint8_t scu, std::uint8_t scp) {
  return Bytes().u8(0x54).u8(0).u16(static_cast<std::uint16_t>(uid.size() + 4)).u16(static_cast<std::uint16_t>(uid.size())).text(uid).u8(scu).u8(scp);
}

}  // namespace

TEST(Negotiation, OnlyServedClassesAreAcceptedAndRefusalsSayWhy) {
  struct Case {
    std::string abstractSyntax;
    std::vector<std::string> offered;
    int result;
    std::string chosen;
  };
  const std::vector<Case> cases = {
      {Worklist, {Implicit, Explicit}, 0, Explicit},
      {Worklist, {Implicit, Baseline}, 0, Implicit},
      {Verification, {Implicit}, 0, Implicit},
      {MPPS, {Explicit}, 0, Explicit},
      {Worklist, {Baseline, J2K}, 4, ""},  // served, but not in these syntaxes
      {CT, {Implicit, Explicit, J2K}, 3, ""},  // storage is not served
      {StudyRootFind, {Implicit}, 3, ""},
      {StorageCommitment, {Implicit}, 3, ""},
      {"1.2.3.4.5", {Implicit}, 3, ""},
  };
  Bytes contexts;
  for (std::size_t i = 0; i < cases.size(); ++i)
    contexts.append(RequestContext(static_cast<std::uint8_t>(2 * i + 1), cases[i].abstractSyntax, cases[i].offered));
  Negotiation n(contexts);
  ASSERT_TRUE(n.accepted);
  ASSERT_TRUE(n.answered);
  ASSERT_EQ(n.answer.PresContextAccepts.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(n.answer.PresContextAccepts[i].PresentationContextID, 2 * i + 1);
    EXPECT_EQ(n.Result(i), cases[i].result) << cases[i].abstractSyntax;
    EXPECT_EQ(n.Syntax(i), cases[i].chosen) << cases[i].abstractSyntax;
  }
  EXPECT_EQ(n.service.AcceptedPresentationContexts.size(), 4u);
}

TEST(Negotiation, RoleSelectionIsAnsweredWithTheServerAsProviderOnly) {
  Bytes sub;
  sub.append(MaxLengthSubItem(4096))
      .append(RoleItem(Worklist, 1, 1))       // both offered: the requestor is the user only
      .append(RoleItem(MPPS, 0, 1))           // the requestor only as provider: nothing to serve
      .append(RoleItem(Verification, 1, 0));  // the default, confirmed
  Bytes contexts;
  contexts.append(RequestContext(1, Worklist, {Implicit}))
      .append(RequestContext(3, MPPS, {Implicit}))
      .append(RequestContext(5, Verification, {Implicit}))
      .append(RequestContext(7, Worklist, {Explicit}));  // a second context, one answer
  Negotiation n(contexts, UserInfoItem(sub));
  ASSERT_TRUE(n.accepted);
  ASSERT_TRUE(n.answered);
  EXPECT_EQ(n.Result(0), 0);
  EXPECT_EQ(n.Result(1), 1);
  EXPECT_EQ(n.Result(2), 0);
  EXPECT_EQ(n.Result(3), 0);
  const std::vector<RoleSelectionItem>& roles = n.answer.UserInfo.RoleSelections;
  ASSERT_EQ(roles.size(), 2u);
  EXPECT_EQ(roles[0].UID, Worklist);
  EXPECT_EQ(roles[0].SCURole, 1);
  EXPECT_EQ(roles[0].SCPRole, 0);
  EXPECT_EQ(roles[1].UID, Verification);
  EXPECT_EQ(roles[1].SCURole, 1);
  EXPECT_EQ(roles[1].SCPRole, 0);
}

TEST(Negotiation, AcceptCarriesTitlesAndOurOwnUserInformation) {
  // The peer's asynchronous operations window is read but not repeated; an
  // extended negotiation sub-item does not stop it.
  Bytes sub;
  sub.append(MaxLengthSubItem(4096)).u8(0x53).u8(0).u16(4).u16(1).u16(1);
  sub.u8(0x56).u8(0).u16(2 + 17 + 1).u16(17).text("1.2.840.10008.1.1").u8(1);
  sub.append(UidItem(0x52, "1.2.3.4"));
  Negotiation n(RequestContext(1, "1.2.840.10008.1.1", {Implicit}), UserInfoItem(sub));
  ASSERT_TRUE(n.accepted);
  ASSERT_TRUE(n.answered);
  EXPECT_EQ(n.service.assocRQ.UserInfo.AsyncOpWindow.MaxOperationsInvoked, 1);
  EXPECT_EQ(n.service.assocRQ.UserInfo.ImpClass.UID, "");  // lost after the 0x56 sub-item
  EXPECT_EQ(n.answer.UserInfo.Length, 8 + (4 + ImplementationClassUID().size()) + (4 + 11));
  EXPECT_EQ(n.answer.GetCalledApTitle(), "TARVELIN        ");
  EXPECT_EQ(n.answer.GetCallingApTitle(), "MODALITY        ");
  EXPECT_EQ(n.answer.AppContext.UID, "1.2.840.10008.3.1.1.1");
  EXPECT_EQ(n.answer.UserInfo.MaxSubLength.MaximumLength, 16384u);
  EXPECT_EQ(n.answer.UserInfo.ImpClass.UID, UIDRoot() + ".999");
  EXPECT_EQ(n.answer.UserInfo.ImpVersion.Name, "QuillatSoft");
}

TEST(Negotiation, NoSupportedContextIsAnsweredRefusedAndTheConnectionClosed) {
  LogCapture log;
  Negotiation n(RequestContext(1, StorageCommitment, {Implicit, Explicit}));
  EXPECT_FALSE(n.accepted);
  ASSERT_TRUE(n.answered);
  ASSERT_EQ(n.answer.PresContextAccepts.size(), 1u);
  EXPECT_EQ(n.Result(0), 3);
  EXPECT_EQ(n.Syntax(0), "");
  EXPECT_TRUE(log.Contains(
      "WARNING, PDU_Service::InterogateAAssociateRQ, no Valid Presentation Contexts, MODALITY"));
  EXPECT_TRUE(log.Contains("INFO, PDU_Service::InterogateAAssociateRQ, Abstract Syntax: " +
                           StorageCommitment));
  EXPECT_TRUE(log.Contains("ERROR, PDU_Service::Multiplex InterogateAAsociateRQ()"));
  EXPECT_FALSE(n.service.IsConnected());
  EXPECT_TRUE(PeerClosed(n.peer.Sock.Socketfd));
}

TEST(Negotiation, FieldLinesAreWrittenOnlyAtTheDebugLevel) {
  const int before = ServerSettings.LogLevel;
  for (int level : {1, 2}) {
    LogCapture log;
    ServerSettings.LogLevel = level;
    Negotiation n(RequestContext(1, "1.2.840.10008.1.1", {Implicit}));
    ServerSettings.LogLevel = before;
    ASSERT_TRUE(n.accepted);
    const bool debug = level == 2;
    for (const char* line :
         {"INFO, AAssociateRQ::Read\r\n", "CalledApTitle: TARVELIN        \r\n",
          "INFO, PresentationContext::Read\r\n", "AbsSyntax: 1.2.840.10008.1.1\r\n",
          "INFO, UserInformation::ReadDynamic, Count=8\r\n",
          "INFO, MaxSubLength::ReadDynamic, Count=0, MaxSubLength.MaximumLength=4096\r\n",
          "INFO, AAssociateAC::Write\r\n", "INFO, PresentationContextAccept::Write\r\n",
          "INFO, PDU_Service::InterogateAAssociateRQ, Valid Presentation Context ID: 1, "
          "Transfer Syntax: 1.2.840.10008.1.2\r\n",
          "INFO, ImpVersion::Size, Length=11, \"QuillatSoft\"\r\n"})
      EXPECT_EQ(log.Contains(line), debug) << level << " " << line;
  }
}

}  // namespace tarvelin
