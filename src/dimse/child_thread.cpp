#include "dimse/child_thread.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>

#include "dicom/uid.h"
#include "dimse/cecho.h"
#include "dimse/command_set.h"
#include "dimse/nmessage.h"
#include "dimse/service_handlers.h"
#include "net/pdu_service.h"
#include "platform/clock.h"
#include "platform/tcp_server.h"
#include "service/log.h"
#include "service/audit_actor.h"
#include "service/log_peer.h"
#include "service/settings.h"
#include "service/text.h"

namespace tarvelin {

namespace {
// How long a finished association stays open before the connection is
// closed; after a release, at most this long, until the peer has closed.
constexpr int CloseDelayMs = 2000;
// The N-CREATE/N-SET failure status for an object class the server does not manage.
constexpr std::uint16_t kNoSuchSOPClass = 0x0118;
}  // namespace

void ChildThread::Serve(TcpConnection& connection, const TlsContext* tls) {
  const int handle = fcntl(connection.Fd(), F_DUPFD_CLOEXEC, 0);
  if (handle < 0) {
    WriteLog("ERROR: Association Failed! Socket: " + std::to_string(connection.Fd()) + ", " + std::strerror(errno));
    return;
  }
  // Every line of this association names the peer.
  const PeerLogScope peer(connection.PeerAddress());
  ChildThread(handle, connection.PeerAddress(), tls).Execute();
}

std::string ChildThread::SocketText() const { return " Socket: " + std::to_string(handle_); }

void ChildThread::Execute() {
  try {
    PDU_Service association;
    association.DumpDataSets = DebugLogOn();
    association.AssociationTimeout = ServerSettings.AssociationTimeout;
    association.Tls = tls_;
    association.PeerAddress = peerAddress_;
    association.Callers = &ServerSettings.Callers;
    if (!association.Multiplex(handle_)) {
      WriteLog("ERROR: Association Failed!" + SocketText());
      return;
    }
    WriteLog("Associated with " + association.assocRQ.GetCallingApTitle() + "," + SocketText());
    // An association that says nothing for this long gives its slot back.
    association.Link.Sock.TimeOut = ServerSettings.AssociationIdle;
    // What the association changes (performed procedure steps) is the caller's.
    const AuditActorScope actor({"calling AE", Trim(association.assocRQ.GetCallingApTitle()), peerAddress_});

    DcmObj command;
    Next next = Next::Continue;
    while (next == Next::Continue && association.Read(command)) {
      next = Dispatch(association, command);
      command.Clear();
    }
    if (next == Next::EndThread) return;

    if (association.ReleaseAnswered()) {
      // Peers that half-close after the A-RELEASE-RP and wait for our FIN
      // (dcmjs-dimse does) would report a reset as a failed operation.
      association.CloseInOrder(CloseDelayMs);
    } else {
      SleepMs(CloseDelayMs);
      association.Close();
    }
    WriteLog("Close Connection: " + std::to_string(handle_));
  } catch (const std::exception& e) {
    WriteLog(std::string("ERROR, ChildThread::Execute, ") + e.what() + "," + SocketText());
  } catch (...) {
    WriteLog("ERROR, ChildThread::Execute," + SocketText());
  }
}

ChildThread::Next ChildThread::Dispatch(PDU_Service& association, DcmObj& command) {
  switch (command.GetUS(0x0000, Cmd::CommandField)) {
    case Cmd::C_FIND_RQ:
      return Find(association, command);
    case Cmd::C_ECHO_RQ:
      return Echo(association, command);
    case Cmd::N_SET_RQ:
      return Set(association, command);
    case Cmd::N_CREATE_RQ:
      return Create(association, command);
    case Cmd::C_CANCEL_RQ:
      // A cancel that crossed the final response on the wire: the answer
      // it meant is complete, and a cancel is never answered.
      WriteLog("INFO, C-CANCEL-RQ after the final response ignored," + SocketText());
      return Next::Continue;
    default:
      WriteLog("ERROR: Service not implemented," + SocketText());
      return Next::EndLoop;
  }
}

ChildThread::Next ChildThread::Find(PDU_Service& association, DcmObj& command) {
  // Only worklist queries are served; any other C-FIND ends the association
  // without an answer.
  if (association.GetAbstractSyntaxUID() != UID_ModalityWorklistFind) return Next::EndLoop;
  association.NextPartLimit = static_cast<std::uint32_t>(ServerSettings.MaxQueryBytes);
  const auto& worklistFind = RegisteredServiceHandlers().WorklistFind;
  if (!worklistFind || !worklistFind(association, command)) {
    WriteLog("ERROR: Find RQ: Failed!," + SocketText());
    return Next::EndLoop;
  }
  return Next::Continue;
}

ChildThread::Next ChildThread::Echo(PDU_Service& association, DcmObj& command) {
  CEcho echo;
  if (!echo.ReadRQ(command)) {
    WriteLog("ERROR: Echo RQ: Failed!," + SocketText());
    return Next::Continue;
  }
  if (!echo.WriteRSP(association, command)) {
    WriteLog("ERROR: Echo RSP: Failed!," + SocketText());
    return Next::EndLoop;
  }
  WriteLog("Echo RSP: Ok!," + SocketText());
  return Next::Continue;
}

// How an N-SET and an N-CREATE differ on the server side.
struct ProcedureStepRequest {
  const char* name;               // the log line naming the request
  std::uint16_t classElement;     // where the request names the SOP class
  std::uint16_t instanceElement;  // and the SOP instance
  const char* exceptionLine;      // logged when reading the request throws
  bool clearBeforeResponse;       // the N-SET response carries no data set
  // The MPPS update; may give the step a new instance UID. Empty result: the
  // worklist engine is not available.
  std::optional<ProcedureStepOutcome> (*update)(DcmObj& dataset, std::string& sopInstance,
                                                const std::string& callingAETitle);
};

namespace {

std::optional<ProcedureStepOutcome> SetUpdate(DcmObj& dataset, std::string& sopInstance,
                                             const std::string& callingAETitle) {
  const auto& setMPPS = RegisteredServiceHandlers().SetMPPS;
  if (!setMPPS) return std::nullopt;
  return setMPPS(dataset, sopInstance, callingAETitle);
}

std::optional<ProcedureStepOutcome> CreateUpdate(DcmObj& dataset, std::string& sopInstance,
                                                const std::string& callingAETitle) {
  const auto& createMPPS = RegisteredServiceHandlers().CreateMPPS;
  if (!createMPPS) return std::nullopt;
  return createMPPS(dataset, sopInstance, callingAETitle);
}

const ProcedureStepRequest SetRequest{"N-SET", Cmd::RequestedSOPClassUID,
                                      Cmd::RequestedSOPInstanceUID, "ERROR: Exception Read Set RQ",
                                      true, SetUpdate};
const ProcedureStepRequest CreateRequest{"N-CREATE", Cmd::AffectedSOPClassUID,
                                         Cmd::AffectedSOPInstanceUID,
                                         "ERROR: Exception Read Create RQ", false, CreateUpdate};

}  // namespace

ChildThread::Next ChildThread::Set(PDU_Service& association, DcmObj& command) {
  NSet nset;
  return ProcedureStep(association, command, nset, SetRequest);
}

ChildThread::Next ChildThread::Create(PDU_Service& association, DcmObj& command) {
  NCreate ncreate;
  return ProcedureStep(association, command, ncreate, CreateRequest);
}

ChildThread::Next ChildThread::ProcedureStep(PDU_Service& association, DcmObj& command,
                                             NMessage& message,
                                             const ProcedureStepRequest& request) {
  DcmObj dataset;
  WriteLog(request.name);
  const std::string sopClass = command.GetString(0x0000, request.classElement);
  std::string sopInstance = command.GetString(0x0000, request.instanceElement);
  bool received = false;
  association.NextPartLimit = static_cast<std::uint32_t>(ServerSettings.MaxMppsBytes);
  try {
    received = message.ReadRQ(&association, command, &dataset);
  } catch (...) {
    WriteLog(request.exceptionLine);
    association.Release();
    return Next::EndThread;
  }
  // A data set that did not arrive whole is never applied to the database.
  if (!received) {
    WriteLog(std::string("ERROR: ") + request.name + " RQ: Failed!," + SocketText());
    return Next::EndLoop;
  }

  ProcedureStepOutcome outcome;
  // The class named in the command must be the one negotiated for the
  // context: a caller refused MPPS at negotiation cannot send it on its
  // verification or worklist context instead.
  const bool mppsContext = association.GetAbstractSyntaxUID() == UID_MPPS;
  if (sopClass == UID_MPPS && !mppsContext) {
    WriteLog(std::string("ERROR: ") + request.name + " RQ: the MPPS class on a context negotiated for " +
             association.GetAbstractSyntaxUID() + ", refused," + SocketText());
    outcome.status = Cmd::SOPClassNotSupported;
  } else if (association.PartOversized()) {
    WriteLog(std::string("ERROR: ") + request.name + " RQ: data set over " +
             std::to_string(ServerSettings.MaxMppsBytes) + " bytes (MaxMppsBytes), refused," + SocketText());
    outcome.status = Cmd::ResourceLimitation;
  } else if (sopClass == UID_MPPS) {
    std::optional<ProcedureStepOutcome> updated =
        request.update(dataset, sopInstance, Trim(association.assocRQ.GetCallingApTitle()));
    if (!updated) {
      WriteLog(std::string("ERROR: ") + request.name + " RQ: MPPS not available," + SocketText());
      return Next::EndLoop;
    }
    outcome = std::move(*updated);
  } else {
    // Performed procedure steps are the only objects this server manages.
    WriteLog(std::string("ERROR: ") + request.name + " RQ: no such SOP class: " + sopClass + "," + SocketText());
    outcome.status = kNoSuchSOPClass;
  }
  // Only a successful N-CREATE echoes the attributes it stored.
  if (request.clearBeforeResponse || outcome.status != Cmd::Success) dataset.Clear();
  if (!message.WriteRSP(association, command, &dataset, sopInstance, sopClass, outcome.status,
                        outcome.attributes)) {
    WriteLog("Failed RSP Write");
    return Next::EndLoop;
  }
  WriteLog("Succesful RSP Write");
  return Next::Continue;
}

}  // namespace tarvelin
