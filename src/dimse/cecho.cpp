#include "dimse/cecho.h"

#include "dimse/command_set.h"
#include "net/pdu_service.h"

namespace tarvelin {

bool CEcho::ReadRQ(const DcmObj& command) {
  return command.GetUS(0x0000, Cmd::CommandField) == Cmd::C_ECHO_RQ;
}

DcmObj CEcho::BuildRSP(const DcmObj& request) {
  const std::string sopClass = request.GetString(0x0000, Cmd::AffectedSOPClassUID);
  if (sopClass.empty()) return DcmObj();
  return MakeCommandSet({
      CommandUID(Cmd::AffectedSOPClassUID, sopClass),
      CommandUS(Cmd::CommandField, Cmd::C_ECHO_RSP),
      CommandUS(Cmd::MessageIDBeingRespondedTo, request.GetUS(0x0000, Cmd::MessageID)),
      CommandUS(Cmd::CommandDataSetType, request.GetUS(0x0000, Cmd::CommandDataSetType)),
      CommandUS(Cmd::Status, Cmd::Success),
  });
}

bool CEcho::WriteRSP(PDU_Service& association, const DcmObj& request) {
  DcmObj response = BuildRSP(request);
  if (response.Count() == 0) return false;
  return association.Write(response, PDU_Service::CommandPart);
}

}  // namespace tarvelin
