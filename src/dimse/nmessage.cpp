#include "dimse/nmessage.h"

#include <utility>
#include <vector>

#include "dimse/command_set.h"
#include "net/pdu_service.h"

namespace tarvelin {

NCreate::NCreate() : NMessage(Cmd::N_CREATE_RQ, Cmd::N_CREATE_RSP) {}

NSet::NSet() : NMessage(Cmd::N_SET_RQ, Cmd::N_SET_RSP) {}

bool NMessage::ReadRQ(PDU_Service* association, const DcmObj& command, DcmObj* dataset) {
  Record.CommandField = requestField_;
  Record.DataSetType = Cmd::NoDataSet;
  if (command.Count() == 0 || command.GetUS(0x0000, Cmd::CommandField) != Record.CommandField)
    return false;
  if (command.GetUS(0x0000, Cmd::CommandDataSetType) != Cmd::NoDataSet && association && dataset)
    return association->Read(*dataset);
  return true;
}

DcmObj NMessage::BuildRSP(const DcmObj& request, bool dataSetFollows,
                          const std::string& sopInstanceUID, const std::string& sopClassUID,
                          std::uint16_t status, const std::vector<std::uint32_t>& attributes) {
  Record.CommandField = responseField_;
  Record.MessageID = request.GetUS(0x0000, Cmd::MessageID);
  Record.DataSetType = dataSetFollows ? Cmd::DataSetPresent : Cmd::NoDataSet;
  Record.ActionTypeID = 0;  // so (0000,1008) is never written

  std::vector<DcmTag> elements;
  elements.push_back(CommandUID(Cmd::AffectedSOPClassUID, sopClassUID));
  elements.push_back(CommandUS(Cmd::CommandField, Record.CommandField));
  elements.push_back(CommandUS(Cmd::MessageIDBeingRespondedTo, Record.MessageID));
  elements.push_back(CommandUS(Cmd::CommandDataSetType, Record.DataSetType));
  elements.push_back(CommandUS(Cmd::Status, status));
  if (!sopInstanceUID.empty())
    elements.push_back(CommandUID(Cmd::AffectedSOPInstanceUID, sopInstanceUID));
  if (!attributes.empty()) {
    // AT values: group then element, each little endian as the command set is.
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t tag : attributes)
      for (std::uint16_t half : {static_cast<std::uint16_t>(tag >> 16), static_cast<std::uint16_t>(tag & 0xFFFF)}) {
        bytes.push_back(static_cast<std::uint8_t>(half & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(half >> 8));
      }
    elements.emplace_back(0x0000, 0x1005, static_cast<std::uint32_t>(bytes.size()), bytes.data(), "AT");
  }
  return MakeCommandSet(std::move(elements));
}

bool NMessage::WriteRSP(PDU_Service& association, const DcmObj& request, DcmObj* dataset,
                        const std::string& sopInstanceUID, const std::string& sopClassUID,
                        std::uint16_t status, const std::vector<std::uint32_t>& attributes) {
  if (request.Count() == 0) return false;
  const bool dataSetFollows = dataset && dataset->Count() > 0;
  DcmObj response = BuildRSP(request, dataSetFollows, sopInstanceUID, sopClassUID, status, attributes);
  return association.WriteMessage(response, dataSetFollows ? dataset : nullptr);
}

}  // namespace tarvelin
