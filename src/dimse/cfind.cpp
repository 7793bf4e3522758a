#include "dimse/cfind.h"

#include <utility>
#include <vector>

#include "dimse/command_set.h"
#include "net/identifier.h"
#include "net/pdu_service.h"
#include "service/log.h"

namespace tarvelin {

DcmObj CFind::BuildRQ(const std::string& sopClass, std::uint16_t messageID) {
  return MakeCommandSet({
      CommandUID(Cmd::AffectedSOPClassUID, sopClass),
      CommandUS(Cmd::CommandField, Cmd::C_FIND_RQ),
      CommandUS(Cmd::MessageID, messageID),
      CommandUS(Cmd::Priority, Cmd::MediumPriority),
      CommandUS(Cmd::CommandDataSetType, Cmd::DataSetPresent),
  });
}

DcmObj CFind::BuildRSP(const std::string& sopClass, std::uint16_t messageID,
                       bool identifierFollows, std::uint16_t status) {
  return MakeCommandSet({
      CommandUID(Cmd::AffectedSOPClassUID, sopClass),
      CommandUS(Cmd::CommandField, Cmd::C_FIND_RSP),
      CommandUS(Cmd::MessageIDBeingRespondedTo, messageID),
      CommandUS(Cmd::CommandDataSetType, identifierFollows ? Cmd::DataSetPresent : Cmd::NoDataSet),
      CommandUS(Cmd::Status, status),
  });
}

std::uint16_t CFind::NewMessageID() {
  return static_cast<std::uint16_t>(NextOddIdentifier() & 0xFFFF);
}

bool CFind::ReadRQ(PDU_Service* association, const DcmObj& command, DcmObj* identifier) {
  if (command.Count() == 0) {
    WriteLog("ERROR, CFind::ReadRQ, DCO->Count() is zero");
    return false;
  }
  if (command.GetUS(0x0000, Cmd::CommandField) != Cmd::C_FIND_RQ) {
    WriteLog("ERROR, CFind::ReadRQ, DCO is not C-Find");
    return false;
  }
  if (command.GetUS(0x0000, Cmd::CommandDataSetType) == Cmd::NoDataSet) {
    WriteLog("ERROR, CFind::ReadRQ, DCO with no data section");
    return false;
  }
  if (association && identifier) return association->Read(*identifier);
  return true;
}

bool CFind::WriteRQ(PDU_Service* association, DcmObj& identifier, const std::string& sopClass) {
  if (!association) {
    WriteLog("ERROR, CFind::WriteRQ, PDU is NULL");
    return false;
  }
  DcmObj command = BuildRQ(sopClass, NewMessageID());
  if (!association->WriteMessage(command, identifier.Count() > 0 ? &identifier : nullptr)) {
    WriteLog("ERROR, CFind::WriteRQ, PDU->Write failed!");
    return false;
  }
  return true;
}

std::int32_t CFind::ReadRSP(PDU_Service* association, DcmObj& identifier) {
  DcmObj command;
  if (!association || !association->Read(command)) {
    WriteLog("ERROR, CFind::ReadRSP, PDU->Read Failed!");
    return -1;
  }
  if (command.GetUS(0x0000, Cmd::CommandField) != Cmd::C_FIND_RSP) {
    WriteLog("ERROR, CFind::ReadRSP, DCO not C-Find");
    return -1;
  }
  if (command.GetUS(0x0000, Cmd::CommandDataSetType) != Cmd::NoDataSet &&
      !association->Read(identifier))
    return -1;
  return command.GetUS(0x0000, Cmd::Status);
}

bool CFind::WriteRSP(PDU_Service* association, const DcmObj* request, DcmObj* identifier,
                     std::uint16_t status) {
  if (!association) {
    WriteLog("ERROR, CFind::WriteRSP, PDU==NULL");
    return false;
  }
  if (!request) {
    WriteLog("ERROR, CFind::WriteRSP, DCO==NULL");
    return false;
  }
  const std::string sopClass = request->GetString(0x0000, Cmd::AffectedSOPClassUID);
  if (sopClass.empty()) {
    WriteLog("ERROR, CFind::WriteRSP, SOPClassUID.Length==0");
    return false;
  }
  const std::uint16_t messageID = request->GetUS(0x0000, Cmd::MessageID);
  const bool identifierFollows = identifier != nullptr;
  ResponseCommand* last = lastResponse_.get();
  if (!last || last->SOPClass != sopClass || last->MessageID != messageID ||
      last->IdentifierFollows != identifierFollows || last->Status != status) {
    lastResponse_ = std::make_unique<ResponseCommand>(ResponseCommand{
        sopClass, messageID, identifierFollows, status,
        BuildRSP(sopClass, messageID, identifierFollows, status)});
  }
  // A pending response is always followed by another one.
  const bool pending = status == Cmd::Pending || status == Cmd::PendingWarning;
  if (!association->WriteMessage(lastResponse_->Command, identifier, pending)) {
    WriteLog("ERROR, CFind::WriteRSP, Failed PDU->Write DCOR");
    return false;
  }
  return true;
}

bool CFind::WriteFailureRSP(PDU_Service& association, const DcmObj& request, std::uint16_t status,
                            const std::string& comment, std::uint32_t offending) {
  std::vector<DcmTag> elements = {
      CommandUID(Cmd::AffectedSOPClassUID, request.GetString(0x0000, Cmd::AffectedSOPClassUID)),
      CommandUS(Cmd::CommandField, Cmd::C_FIND_RSP),
      CommandUS(Cmd::MessageIDBeingRespondedTo, request.GetUS(0x0000, Cmd::MessageID)),
      CommandUS(Cmd::CommandDataSetType, Cmd::NoDataSet),
      CommandUS(Cmd::Status, status),
  };
  if (offending != 0)
    elements.push_back(CommandAT(Cmd::OffendingElement, static_cast<std::uint16_t>(offending >> 16),
                                 static_cast<std::uint16_t>(offending & 0xFFFF)));
  if (!comment.empty()) elements.push_back(CommandLO(Cmd::ErrorComment, comment));
  DcmObj command = MakeCommandSet(std::move(elements));
  if (!association.WriteMessage(command, nullptr)) {
    WriteLog("ERROR, CFind::WriteFailureRSP, Failed PDU->Write DCOR");
    return false;
  }
  return true;
}

CFind::Interruption CFind::CheckInterruption(PDU_Service& association, const DcmObj& request) {
  if (!association.MessageWaiting()) return Interruption::None;
  // The message names its own context; the answer stays on the request's.
  const std::uint8_t context = association.pdata.StoredPresentationContextID;
  DcmObj message;
  const bool read = association.Read(message);
  association.pdata.StoredPresentationContextID = context;
  if (!read) {
    WriteLog("WARNING, CFind, the association ended during the answer");
    return Interruption::Ended;
  }
  const std::uint16_t messageID = request.GetUS(0x0000, Cmd::MessageID);
  if (message.GetUS(0x0000, Cmd::CommandField) != Cmd::C_CANCEL_RQ) {
    // Without asynchronous operations a requestor waits for the final
    // response; a new request now cannot be answered in order.
    WriteLog("ERROR, CFind, request received before the final response to message " +
             std::to_string(messageID) + ", association aborted");
    association.Abort(AbortSource::ServiceUser);
    return Interruption::Ended;
  }
  const std::uint16_t cancelled = message.GetUS(0x0000, Cmd::MessageIDBeingRespondedTo);
  if (cancelled != messageID) {
    WriteLog("WARNING, CFind, C-CANCEL-RQ for message " + std::to_string(cancelled) + " ignored");
    return Interruption::None;
  }
  WriteLog("INFO, CFind, C-CANCEL-RQ for message " + std::to_string(messageID));
  return Interruption::Cancelled;
}

}  // namespace tarvelin
