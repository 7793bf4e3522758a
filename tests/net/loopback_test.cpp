// Our requestor against our acceptor over TCP on the loopback interface:
// connect, negotiate, exchange messages of several PDUs, release.
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <thread>

#include "dicom/uid.h"
#include "net/identifier.h"
#include "net/pdu_service.h"
#include "net/socket.h"
#include "net_test_support.h"

namespace tarvelin {

using namespace nettest;

namespace {

const std::string Verification = "1.2.840.10008.1.1";
const std::string Worklist = "1.2.840.10008.5.1.4.31";

// What the acceptor saw of one association.
struct AcceptorReport {
  bool negotiated = false;
  std::string callingTitle, userName, impClass, impVersion;
  std::uint32_t peerMaximum = 0;
  std::string firstPatientName;
  std::size_t firstValueLength = 0;
  int messagesRead = 0;
};

// Accepts one association, echoes every message part back and stops at the
// release request.
AcceptorReport ServeOne(Socket& listener) {
  AcceptorReport report;
  if (!listener.Accept()) return report;
  PDU_Service acceptor;
  acceptor.Link.Sock.SetTimeout(10);
  report.negotiated = acceptor.Multiplex(listener.Detach());
  report.callingTitle = acceptor.assocRQ.GetCallingApTitle();
  report.userName = acceptor.assocRQ.UserInfo.UserIdent.PrimaryField;
  report.impClass = acceptor.assocRQ.UserInfo.ImpClass.UID;
  report.impVersion = acceptor.assocRQ.UserInfo.ImpVersion.Name;
  report.peerMaximum = acceptor.assocRQ.UserInfo.MaxSubLength.MaximumLength;
  DcmObj obj;
  while (acceptor.Read(obj)) {
    if (report.messagesRead++ == 0) {
      report.firstPatientName = obj.GetString(0x0010, 0x0010).substr(0, 8);
      if (const DcmTag* tag = obj.Find(0x0010, 0x0010)) report.firstValueLength = tag->Length;
    }
    acceptor.Write(obj, PDU_Service::DataSetPart);
    obj.Clear();
  }
  return report;
}

// A listening socket on a free port with one acceptor association served.
struct LoopbackAcceptor {
  Socket listener;
  std::string port = std::to_string(FreePort());
  std::future<AcceptorReport> served;
  bool listening = listener.Listen(port);
  LoopbackAcceptor() {
    served = std::async(std::launch::async, [this] { return ServeOne(listener); });
  }
};

void Propose(PDU_Service& requestor, const std::string& abstractSyntax) {
  PresentationContext pc;
  pc.SetAbstractSyntax(abstractSyntax);
  pc.AddTransferSyntax("1.2.840.10008.1.2");
  requestor.assocRQ.AddPresentationContext(pc);
}

}  // namespace

TEST(Loopback, RequestorAndAcceptorExchangeMessagesAndRelease) {
  LogCapture log;
  LoopbackAcceptor acceptor;
  ASSERT_TRUE(acceptor.listening);
  PDU_Service requestor;
  requestor.Link.Sock.SetTimeout(10);
  requestor.UserName = "alice";
  requestor.Passcode = "secret";
  ResetIdentifierCounter();
  requestor.assocRQ.SetCalledApTitle("TARVELIN        ");
  requestor.assocRQ.SetCallingApTitle("FINDSCU         ");
  for (const std::string& abstract : {std::string("1.2.3.4.5"), Worklist, Verification})
    Propose(requestor, abstract);
  ASSERT_TRUE(requestor.Connect("127.0.0.1", acceptor.port)) << log.Text();
  ASSERT_EQ(requestor.AcceptedPresentationContexts.size(), 2u);
  // The unknown class (ID 1) was refused; the worklist context (ID 3) is the default.
  EXPECT_EQ(requestor.pdata.StoredPresentationContextID, 3);
  EXPECT_EQ(requestor.GetAbstractSyntaxUID(), Worklist);
  EXPECT_EQ(requestor.assocAC.UserInfo.ImpVersion.Name, "QuillatSoft");

  // A message part of about 100 kB goes out in many PDUs and comes back whole.
  DcmObj big;
  big.Add(DcmTag(0x0010, 0x0010, std::string("DOE^JANE") + std::string(99992, 'X')));
  ASSERT_TRUE(requestor.Write(big, PDU_Service::DataSetPart));
  DcmObj echoed;
  ASSERT_TRUE(requestor.Read(echoed));
  const DcmTag* name = echoed.Find(0x0010, 0x0010);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->Length, 100000u);
  EXPECT_EQ(name->Data, big.Find(0x0010, 0x0010)->Data);

  EXPECT_TRUE(requestor.Release());
  EXPECT_FALSE(requestor.IsConnected());

  AcceptorReport report = acceptor.served.get();
  EXPECT_TRUE(report.negotiated);
  EXPECT_EQ(report.callingTitle, "FINDSCU         ");
  EXPECT_EQ(report.userName, "alice");
  EXPECT_EQ(report.impClass, ImplementationClassUID());
  EXPECT_EQ(report.impVersion, "QuillatSoft");
  EXPECT_EQ(report.peerMaximum, 16384u);
  EXPECT_EQ(report.messagesRead, 1);
  EXPECT_EQ(report.firstPatientName, "DOE^JANE");
  EXPECT_EQ(log.Text().find("ERROR"), std::string::npos) << log.Text();
}

TEST(Loopback, ARequestorWhoseContextsAreAllRefusedFailsToConnect) {
  LogCapture log;
  LoopbackAcceptor acceptor;
  ASSERT_TRUE(acceptor.listening);
  PDU_Service requestor;
  requestor.Link.Sock.SetTimeout(10);
  Propose(requestor, "1.2.840.10008.1.20.1");  // storage commitment: not served
  EXPECT_FALSE(requestor.Connect("127.0.0.1", acceptor.port));
  EXPECT_TRUE(log.Contains("WARNING, PDU_Service::InterogateAAssociateRQ, no Valid Presentation Contexts"));
  EXPECT_TRUE(log.Contains("ERROR, Transfer Syntax is Empty"));
  EXPECT_TRUE(log.Contains("ERROR, PDU_Service::Connect, InterogateAAssociateAC failed"));
  EXPECT_FALSE(acceptor.served.get().negotiated);
}

TEST(Loopback, ConnectingWhereNobodyListensFails) {
  LogCapture log;
  PDU_Service requestor;
  EXPECT_FALSE(requestor.Connect("127.0.0.1", std::to_string(FreePort())));
  EXPECT_TRUE(log.Contains("ERROR, PDU_Service::Connect, Socket Level Error"));
}

}  // namespace tarvelin
