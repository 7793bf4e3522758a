// The association threads in this process, driven by a requesting
// PDU_Service: which request reaches which service, what goes back, and how
// an association ends when the worklist engine is not there.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dimse/cfind.h"
#include "dimse/command_set.h"
#include "dimse/dicom_listener.h"
#include "dimse/service_handlers.h"
#include "net/pdu_service.h"
#include "net/presentation_context.h"
#include "service/settings.h"
#include "support/free_port.h"
#include "support/log_file.h"

namespace tarvelin {

namespace {

using namespace std::chrono;

const std::string Verification = "1.2.840.10008.1.1";
const std::string ModalityWorklist = "1.2.840.10008.5.1.4.31";
const std::string MPPS = "1.2.840.10008.3.1.2.3.3";

// The requesting side: one implicit VR little endian context per abstract syntax.
struct Modality {
  PDU_Service pdu;
  std::map<std::string, std::uint8_t> contextOf;
  std::string callingAE = "MODALITY";

  bool Connect(int port, const std::vector<std::string>& abstractSyntaxes) {
    pdu.assocRQ.SetCalledApTitle("TARVELIN");
    pdu.assocRQ.SetCallingApTitle(callingAE);
    for (const std::string& uid : abstractSyntaxes) {
      PresentationContext context;
      context.SetAbstractSyntax(uid);
      context.AddTransferSyntax("1.2.840.10008.1.2");
      contextOf[uid] = context.PresentationContextID;
      pdu.assocRQ.AddPresentationContext(context);
    }
    return pdu.Connect("127.0.0.1", std::to_string(port));
  }
  void Use(const std::string& abstractSyntax) {
    pdu.pdata.StoredPresentationContextID = contextOf.at(abstractSyntax);
  }
  bool Send(DcmObj command, DcmObj* dataset = nullptr) {
    if (!pdu.Write(command, PDU_Service::CommandPart)) return false;
    return !dataset || pdu.Write(*dataset, PDU_Service::DataSetPart);
  }
};

DcmObj ProcedureStepRequest(std::uint16_t commandField, std::uint16_t messageID,
                            const std::string& sopClass, const std::string& instance) {
  const bool create = commandField == Cmd::N_CREATE_RQ;
  std::vector<DcmTag> elements;
  elements.push_back(CommandUID(create ? Cmd::AffectedSOPClassUID : Cmd::RequestedSOPClassUID,
                                sopClass));
  elements.push_back(CommandUS(Cmd::CommandField, commandField));
  elements.push_back(CommandUS(Cmd::MessageID, messageID));
  elements.push_back(CommandUS(Cmd::CommandDataSetType, Cmd::DataSetPresent));
  if (!instance.empty())
    elements.push_back(CommandUID(
        create ? Cmd::AffectedSOPInstanceUID : Cmd::RequestedSOPInstanceUID, instance));
  return MakeCommandSet(std::move(elements));
}

DcmObj StatusDataSet(const std::string& status) {
  DcmObj dataset;
  dataset.Add(0x0040, 0x0252, status);
  return dataset;
}

// True when something accepts TCP connections on the loopback port.
bool Accepting(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  bool connected = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return connected;
}

// A listener of this process on a free port, stopped at the end of the test.
class Listener {
 public:
  explicit Listener(const LogCapture& log) : port_(FreePort()) {
    StartDicomListener(std::to_string(port_));
    ready_ = log.WaitFor("Initialize DICOM port: " + std::to_string(port_), 1, 5000);
  }
  ~Listener() { StopDicomListener(); }
  bool Ready() const { return ready_; }
  int Port() const { return port_; }

 private:
  int port_;
  bool ready_ = false;
};

TEST(AssociationDispatch, RequestsReachTheirServicesOnOneAssociation) {
  LogCapture log;
  // Written on the association's thread, read here once its answer arrived
  // (the socket orders them, but not in a way the thread checker sees).
  std::mutex seenLock;
  std::string queriedName, createdStatus, setStatus, setInstance;
  int setCalls = 0;
  auto seen = [&](const auto& value) {
    std::lock_guard<std::mutex> hold(seenLock);
    return value;
  };
  ServiceHandlers handlers;
  handlers.WorklistFind = [&](PDU_Service& association, DcmObj& command) {
    CFind find;
    DcmObj identifier;
    if (!find.ReadRQ(&association, command, &identifier)) return false;
    {
      std::lock_guard<std::mutex> hold(seenLock);
      queriedName = identifier.GetString(0x0010, 0x0010);
    }
    DcmObj match;
    match.TransferSyntax = identifier.TransferSyntax;
    match.Add(0x0010, 0x0010, "DOE^JOHN");
    return find.WriteRSP(&association, &command, &match, Cmd::Pending) &&
           find.WriteRSP(&association, &command, nullptr, Cmd::Success);
  };
  handlers.CreateMPPS = [&](DcmObj& dataset, std::string& instance, const std::string&) -> ProcedureStepOutcome {
    std::lock_guard<std::mutex> hold(seenLock);
    createdStatus = dataset.GetString(0x0040, 0x0252);
    if (instance.empty()) instance = "1.2.3.4.5.6";
    return {0x0000, {}};
  };
  handlers.SetMPPS = [&](DcmObj& dataset, const std::string& instance, const std::string&) -> ProcedureStepOutcome {
    std::lock_guard<std::mutex> hold(seenLock);
    ++setCalls;
    setStatus = dataset.GetString(0x0040, 0x0252);
    setInstance = instance;
    return {0x0106, {0x00400252}};
  };
  SetServiceHandlers(handlers);
  Listener listener(log);
  ASSERT_TRUE(listener.Ready()) << log.Text();

  Modality modality;
  ASSERT_TRUE(modality.Connect(listener.Port(), {Verification, ModalityWorklist, MPPS}));

  // Worklist C-FIND: the handler's pending answer, then its final one.
  modality.Use(ModalityWorklist);
  DcmObj query;
  query.Add(0x0010, 0x0010, "DOE*");
  CFind find;
  ASSERT_TRUE(find.WriteRQ(&modality.pdu, query, ModalityWorklist));
  DcmObj answer;
  EXPECT_EQ(find.ReadRSP(&modality.pdu, answer), 0xFF00);
  EXPECT_EQ(answer.GetString(0x0010, 0x0010), "DOE^JOHN");
  DcmObj none;
  EXPECT_EQ(find.ReadRSP(&modality.pdu, none), 0x0000);
  EXPECT_EQ(none.Count(), 0u);
  EXPECT_EQ(seen(queriedName), "DOE*");

  // N-CREATE without an instance UID: the one the handler made is returned,
  // with the request's data set.
  modality.Use(MPPS);
  DcmObj inProgress = StatusDataSet("IN PROGRESS");
  ASSERT_TRUE(modality.Send(ProcedureStepRequest(Cmd::N_CREATE_RQ, 21, MPPS, ""), &inProgress));
  DcmObj created;
  ASSERT_TRUE(modality.pdu.Read(created));
  EXPECT_EQ(created.GetUS(0x0000, Cmd::CommandField), Cmd::N_CREATE_RSP);
  EXPECT_EQ(created.GetUS(0x0000, Cmd::MessageIDBeingRespondedTo), 21);
  EXPECT_EQ(created.GetUS(0x0000, Cmd::Status), 0x0000);
  EXPECT_EQ(created.GetString(0x0000, Cmd::AffectedSOPInstanceUID), "1.2.3.4.5.6");
  EXPECT_EQ(created.GetUS(0x0000, Cmd::CommandDataSetType), Cmd::DataSetPresent);
  DcmObj echoed;
  ASSERT_TRUE(modality.pdu.Read(echoed));
  EXPECT_EQ(echoed.GetString(0x0040, 0x0252), "IN PROGRESS");
  EXPECT_EQ(seen(createdStatus), "IN PROGRESS");

  // N-SET: the handler's status and the attribute it names, no data set back.
  DcmObj completed = StatusDataSet("COMPLETED");
  ASSERT_TRUE(
      modality.Send(ProcedureStepRequest(Cmd::N_SET_RQ, 23, MPPS, "1.2.3.4.5.6"), &completed));
  DcmObj set;
  ASSERT_TRUE(modality.pdu.Read(set));
  EXPECT_EQ(set.GetUS(0x0000, Cmd::CommandField), Cmd::N_SET_RSP);
  EXPECT_EQ(set.GetUS(0x0000, Cmd::Status), 0x0106);
  const DcmTag* named = set.Find(0x0000, 0x1005);
  ASSERT_NE(named, nullptr);
  // (0040,0252) as AT: group, then element, little endian.
  EXPECT_EQ(named->Data, (std::vector<std::uint8_t>{0x40, 0x00, 0x52, 0x02}));
  EXPECT_EQ(set.GetUS(0x0000, Cmd::CommandDataSetType), Cmd::NoDataSet);
  EXPECT_EQ(set.GetString(0x0000, Cmd::AffectedSOPInstanceUID), "1.2.3.4.5.6");
  EXPECT_EQ(seen(setStatus), "COMPLETED");
  EXPECT_EQ(seen(setInstance), "1.2.3.4.5.6");

  // N-SET of another SOP class: no such SOP class, no MPPS update.
  modality.Use(Verification);
  DcmObj other = StatusDataSet("COMPLETED");
  ASSERT_TRUE(modality.Send(ProcedureStepRequest(Cmd::N_SET_RQ, 25, Verification, "9.9"), &other));
  DcmObj otherResponse;
  ASSERT_TRUE(modality.pdu.Read(otherResponse));
  EXPECT_EQ(otherResponse.GetUS(0x0000, Cmd::Status), 0x0118);
  EXPECT_EQ(otherResponse.GetUS(0x0000, Cmd::CommandDataSetType), Cmd::NoDataSet);
  EXPECT_EQ(seen(setCalls), 1);

  // The next message is the echo's response: no data set was left behind.
  ASSERT_TRUE(modality.Send(MakeCommandSet({CommandUID(Cmd::AffectedSOPClassUID, Verification),
                                            CommandUS(Cmd::CommandField, Cmd::C_ECHO_RQ),
                                            CommandUS(Cmd::MessageID, 27),
                                            CommandUS(Cmd::CommandDataSetType, Cmd::NoDataSet)})));
  DcmObj echo;
  ASSERT_TRUE(modality.pdu.Read(echo));
  EXPECT_EQ(echo.GetUS(0x0000, Cmd::CommandField), Cmd::C_ECHO_RSP);
  EXPECT_EQ(echo.GetUS(0x0000, Cmd::MessageIDBeingRespondedTo), 27);

  auto released = steady_clock::now();
  modality.pdu.Release();
  ASSERT_TRUE(log.WaitFor("Close Connection: ", 1, 5000)) << log.Text();
  // Our requestor closes as soon as the release is answered: the server
  // closes then too, instead of waiting out the 2000 ms.
  EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - released).count(), 1500);

  const std::string text = log.Text();
  EXPECT_EQ(CountOf(text, ", Associated with MODALITY, Socket: "), 1) << text;
  EXPECT_EQ(CountOf(text, ", N-CREATE, from 127.0.0.1\r\n"), 1) << text;
  EXPECT_EQ(CountOf(text, ", N-SET, from 127.0.0.1\r\n"), 2) << text;
  EXPECT_EQ(CountOf(text, ", Succesful RSP Write, from 127.0.0.1\r\n"), 3) << text;
  EXPECT_EQ(CountOf(text, ", Echo RSP: Ok!, Socket: "), 1) << text;
  EXPECT_EQ(CountOf(text, "ERROR"), 1) << text;
  EXPECT_EQ(CountOf(text, "ERROR: N-SET RQ: no such SOP class: "), 1) << text;
}

// The result the acceptor gave the context proposed for `abstractSyntax`.
int ContextResult(const Modality& modality, const std::string& abstractSyntax) {
  for (const PresentationContextAccept& accept : modality.pdu.assocAC.PresContextAccepts)
    if (accept.PresentationContextID == modality.contextOf.at(abstractSyntax)) return accept.Result;
  return -1;
}

// The status of the answer to an N-CREATE of the MPPS class sent on the
// context of `onContext`; the answer's data set, if any, is read too.
std::uint16_t CreateStatus(Modality& modality, const std::string& onContext, DcmObj dataset) {
  modality.Use(onContext);
  if (!modality.Send(ProcedureStepRequest(Cmd::N_CREATE_RQ, 31, MPPS, "1.2.3.9"), &dataset)) return 0xFFFF;
  DcmObj response;
  if (!modality.pdu.Read(response)) return 0xFFFF;
  if (response.GetUS(0x0000, Cmd::CommandDataSetType) != Cmd::NoDataSet) {
    DcmObj echoed;
    modality.pdu.Read(echoed);
  }
  return response.GetUS(0x0000, Cmd::Status);
}

// A caller off the list is rejected 1/1/3; a caller allowed only to query
// gets no MPPS context and cannot send MPPS on another one; an MPPS data set
// over MaxMppsBytes is refused with a status, and the association goes on.
TEST(AssociationDispatch, CallersListAndSizeLimitGuardTheProcedureSteps) {
  LogCapture log;
  std::mutex createdLock;
  int created = 0;
  ServiceHandlers handlers;
  handlers.CreateMPPS = [&](DcmObj&, std::string&, const std::string&) {
    std::lock_guard<std::mutex> hold(createdLock);
    ++created;
    return ProcedureStepOutcome{};
  };
  SetServiceHandlers(handlers);
  std::vector<std::string> errors;
  ServerSettings.Callers = CallerAllowList::Parse("MODALITY query 127.0.0.1\nREMOTE query,mpps 10.0.0.0/8\n", errors);
  ServerSettings.MaxMppsBytes = 4096;
  Listener listener(log);
  ASSERT_TRUE(listener.Ready()) << log.Text();

  for (const char* stranger : {"ROGUE", "REMOTE"}) {
    Modality modality;
    modality.callingAE = stranger;
    EXPECT_FALSE(modality.Connect(listener.Port(), {Verification, MPPS})) << stranger;
    EXPECT_EQ(modality.pdu.assocRJ.Result, 1) << stranger;
    EXPECT_EQ(modality.pdu.assocRJ.Source, 1) << stranger;
    EXPECT_EQ(modality.pdu.assocRJ.Reason, 3) << stranger;
    EXPECT_TRUE(log.WaitFor("association from calling AE " + std::string(stranger), 1, 3000)) << log.Text();
  }
  EXPECT_EQ(CountOf(log.Text(), "at 127.0.0.1 rejected: not on the list of callers (callers.txt)"), 2);

  Modality queryOnly;
  ASSERT_TRUE(queryOnly.Connect(listener.Port(), {Verification, ModalityWorklist, MPPS}));
  EXPECT_EQ(ContextResult(queryOnly, Verification), PresentationContextAccept::Accepted);
  EXPECT_EQ(ContextResult(queryOnly, ModalityWorklist), PresentationContextAccept::Accepted);
  EXPECT_EQ(ContextResult(queryOnly, MPPS), PresentationContextAccept::UserRejection);
  EXPECT_EQ(CreateStatus(queryOnly, Verification, StatusDataSet("DISCONTINUED")), Cmd::SOPClassNotSupported);
  queryOnly.pdu.Release();

  ServerSettings.Callers = CallerAllowList{};
  Modality open;
  ASSERT_TRUE(open.Connect(listener.Port(), {Verification, MPPS}));
  DcmObj big = StatusDataSet("IN PROGRESS");
  big.Add(0x0040, 0x0254, std::string(8000, 'x'));
  EXPECT_EQ(CreateStatus(open, MPPS, std::move(big)), Cmd::ResourceLimitation);
  EXPECT_EQ(CreateStatus(open, MPPS, StatusDataSet("IN PROGRESS")), Cmd::Success);
  open.pdu.Release();
  {
    std::lock_guard<std::mutex> hold(createdLock);
    EXPECT_EQ(created, 1);
  }
  EXPECT_TRUE(log.Contains("data set over 4096 bytes (MaxMppsBytes), refused")) << log.Text();
  ServerSettings.MaxMppsBytes = ServerSettingsRecord().MaxMppsBytes;
}

TEST(AssociationDispatch, WithoutTheWorklistEngineTheAssociationEndsUnanswered) {
  LogCapture log;
  SetServiceHandlers(ServiceHandlers{});
  Listener listener(log);
  ASSERT_TRUE(listener.Ready()) << log.Text();

  std::thread procedureStep([&] {
    Modality modality;
    ASSERT_TRUE(modality.Connect(listener.Port(), {MPPS}));
    DcmObj inProgress = StatusDataSet("IN PROGRESS");
    ASSERT_TRUE(
        modality.Send(ProcedureStepRequest(Cmd::N_CREATE_RQ, 1, MPPS, "1.2.3"), &inProgress));
    DcmObj response;
    EXPECT_FALSE(modality.pdu.Read(response));
  });

  Modality modality;
  ASSERT_TRUE(modality.Connect(listener.Port(), {ModalityWorklist}));
  DcmObj query;
  query.Add(0x0010, 0x0010, "");
  CFind find;
  auto sent = steady_clock::now();
  ASSERT_TRUE(find.WriteRQ(&modality.pdu, query, ModalityWorklist));
  DcmObj answer;
  EXPECT_EQ(find.ReadRSP(&modality.pdu, answer), -1);
  EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - sent).count(), 1900);
  procedureStep.join();

  ASSERT_TRUE(log.WaitFor("Close Connection: ", 2, 5000)) << log.Text();
  const std::string text = log.Text();
  EXPECT_EQ(CountOf(text, ", ERROR: Find RQ: Failed!, Socket: "), 1) << text;
  EXPECT_EQ(CountOf(text, ", ERROR: N-CREATE RQ: MPPS not available, Socket: "), 1) << text;
  EXPECT_EQ(CountOf(text, "Succesful RSP Write"), 0) << text;
}

TEST(DicomListener, StopEndsItWithoutTreatingTheWakeUpAsAnAssociation) {
  LogCapture log;
  const int port = FreePort();
  StartDicomListener(std::to_string(port));
  ASSERT_TRUE(log.WaitFor("Initialize DICOM port: " + std::to_string(port), 1, 5000)) << log.Text();

  StopDicomListener();
  EXPECT_FALSE(Accepting(port));
  std::this_thread::sleep_for(milliseconds(300));
  const std::string text = log.Text();
  EXPECT_EQ(CountOf(text, "Association Failed"), 0) << text;
  EXPECT_EQ(CountOf(text, "Associated with"), 0) << text;
}

TEST(DicomListener, PortInUseIsReportedAndStopStillReturns) {
  LogCapture log;
  const int port = FreePort();
  int holder = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(holder, 1), 0);

  StartDicomListener(std::to_string(port));
  EXPECT_TRUE(log.WaitFor(", ERROR: Couldn't initialize port: " + std::to_string(port) + "\r\n", 1,
                          5000))
      << log.Text();
  auto stopping = steady_clock::now();
  StopDicomListener();
  EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - stopping).count(), 1000);
  close(holder);
  EXPECT_EQ(CountOf(log.Text(), "Initialize DICOM port"), 0) << log.Text();
}

TEST(DicomListener, OverTheLimitIsRejectedTransientlyAndStopJoinsEveryAssociation) {
  LogCapture log;
  SetServiceHandlers(ServiceHandlers{});
  ServerSettings.MaxAssociations = 2;
  Listener listener(log);
  ServerSettings.MaxAssociations = 100;
  ASSERT_TRUE(listener.Ready()) << log.Text();

  Modality first, second, third;
  ASSERT_TRUE(first.Connect(listener.Port(), {Verification}));
  ASSERT_TRUE(second.Connect(listener.Port(), {Verification}));
  EXPECT_FALSE(third.Connect(listener.Port(), {Verification}));
  // Rejected-transient, by the service provider (presentation), local limit exceeded.
  EXPECT_EQ(third.pdu.assocRJ.Result, 2);
  EXPECT_EQ(third.pdu.assocRJ.Source, 3);
  EXPECT_EQ(third.pdu.assocRJ.Reason, 2);
  EXPECT_TRUE(log.Contains(
      ", WARNING, ServerThread, association from 127.0.0.1 rejected: 2 associations open (MaxAssociations)"))
      << log.Text();

  first.pdu.Release();
  ASSERT_TRUE(log.WaitFor("Close Connection: ", 1, 5000)) << log.Text();
  Modality fourth;
  ASSERT_TRUE(fourth.Connect(listener.Port(), {Verification}));

  // Stop returns once the two open associations have ended.
  StopDicomListener();
  EXPECT_EQ(CountOf(log.Text(), "Close Connection: "), 3) << log.Text();
  EXPECT_EQ(CountOf(log.Text(), "Associated with"), 3) << log.Text();
  DcmObj nothing;
  EXPECT_FALSE(second.pdu.Read(nothing));
  EXPECT_FALSE(Accepting(listener.Port()));
}

}  // namespace

}  // namespace tarvelin
