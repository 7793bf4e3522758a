#include "support/modality_peer.h"

#include <utility>

#include "dicom/uid.h"
#include "dimse/cfind.h"
#include "dimse/command_set.h"
#include "net/presentation_context.h"

namespace tarvelin {

namespace {

enum Context : std::size_t { VerificationContext, WorklistContext, StepContext };

}  // namespace

ModalityPeer::ModalityPeer(const std::string& callingAE) {
  pdu_.assocRQ.SetCalledApTitle("TARVELIN");
  pdu_.assocRQ.SetCallingApTitle(callingAE);
  for (const char* uid : {UID_Verification, UID_ModalityWorklistFind, UID_MPPS}) {
    PresentationContext context;
    context.SetAbstractSyntax(uid);
    context.AddTransferSyntax(UID_ImplicitVRLittleEndian);
    contextOf_.push_back(context.PresentationContextID);
    pdu_.assocRQ.AddPresentationContext(context);
  }
}

bool ModalityPeer::Connect(int port, int readTimeoutSeconds) {
  pdu_.Link.Sock.TimeOut = readTimeoutSeconds;
  return pdu_.Connect("127.0.0.1", std::to_string(port));
}

void ModalityPeer::Use(std::size_t context) { pdu_.pdata.StoredPresentationContextID = contextOf_[context]; }

bool ModalityPeer::Echo() {
  Use(VerificationContext);
  DcmObj request = MakeCommandSet({CommandUID(Cmd::AffectedSOPClassUID, UID_Verification),
                                   CommandUS(Cmd::CommandField, Cmd::C_ECHO_RQ),
                                   CommandUS(Cmd::MessageID, nextMessageID_++),
                                   CommandUS(Cmd::CommandDataSetType, Cmd::NoDataSet)});
  DcmObj response;
  return pdu_.Write(request, PDU_Service::CommandPart) && pdu_.Read(response) &&
         response.GetUS(0x0000, Cmd::CommandField) == Cmd::C_ECHO_RSP &&
         response.GetUS(0x0000, Cmd::Status) == Cmd::Success;
}

FindOutcome ModalityPeer::Find(DcmObj& identifier) {
  Use(WorklistContext);
  FindOutcome outcome;
  CFind find;
  if (!find.WriteRQ(&pdu_, identifier, UID_ModalityWorklistFind)) return outcome;
  for (;;) {
    DcmObj answer;
    const std::int32_t status = find.ReadRSP(&pdu_, answer);
    if (status != Cmd::Pending && status != Cmd::PendingWarning) {
      outcome.FinalStatus = status;
      return outcome;
    }
    outcome.Accessions.push_back(answer.GetString(0x0008, 0x0050));
  }
}

std::int32_t ModalityPeer::Create(const std::string& uid, DcmObj& dataset) {
  return ProcedureStep(Cmd::N_CREATE_RQ, uid, dataset);
}

std::int32_t ModalityPeer::Set(const std::string& uid, DcmObj& dataset) {
  return ProcedureStep(Cmd::N_SET_RQ, uid, dataset);
}

std::int32_t ModalityPeer::ProcedureStep(std::uint16_t commandField, const std::string& uid, DcmObj& dataset) {
  Use(StepContext);
  const bool create = commandField == Cmd::N_CREATE_RQ;
  DcmObj command = MakeCommandSet(
      {CommandUID(create ? Cmd::AffectedSOPClassUID : Cmd::RequestedSOPClassUID, UID_MPPS),
       CommandUS(Cmd::CommandField, commandField), CommandUS(Cmd::MessageID, nextMessageID_++),
       CommandUS(Cmd::CommandDataSetType, Cmd::DataSetPresent),
       CommandUID(create ? Cmd::AffectedSOPInstanceUID : Cmd::RequestedSOPInstanceUID, uid)});
  if (!pdu_.WriteMessage(command, &dataset)) return -1;
  DcmObj response;
  if (!pdu_.Read(response)) return -1;
  if (response.GetUS(0x0000, Cmd::CommandField) != (create ? Cmd::N_CREATE_RSP : Cmd::N_SET_RSP)) return -1;
  if (response.GetUS(0x0000, Cmd::CommandDataSetType) != Cmd::NoDataSet) {
    DcmObj attributes;
    if (!pdu_.Read(attributes)) return -1;
  }
  return response.GetUS(0x0000, Cmd::Status);
}

std::unique_ptr<DcmObj> SequenceOf(std::vector<DcmTag> itemElements) {
  auto item = std::make_unique<DcmObj>();
  for (DcmTag& element : itemElements) item->Add(std::move(element));
  item->Header.Length = item->EncodedLength();
  auto sequence = std::make_unique<DcmObj>();
  sequence->AddSequence(0xFFFE, 0xE000, std::move(item));
  sequence->Header.Length = sequence->EncodedLength();
  return sequence;
}

void ModalityPeer::Release() {
  if (pdu_.IsConnected()) pdu_.Release();
}

DcmObj WorklistIdentifier(const std::string& modality, const std::string& date) {
  DcmObj identifier;
  identifier.Add(0x0008, 0x0050, "");
  identifier.Add(0x0010, 0x0010, "");
  identifier.Add(0x0010, 0x0020, "");
  identifier.Add(0x0020, 0x000D, "");
  identifier.AddSequence(0x0040, 0x0100,
                         SequenceOf({DcmTag(0x0008, 0x0060, modality), DcmTag(0x0040, 0x0002, date),
                                  DcmTag(0x0040, 0x0009, "")}));
  return identifier;
}

DcmObj StepInProgress(const std::string& accession, const std::string& studyUID, const std::string& spsID) {
  DcmObj dataset;
  dataset.Add(0x0008, 0x0060, "CT");
  dataset.AddSequence(0x0040, 0x0270,
                      SequenceOf({DcmTag(0x0008, 0x0050, accession), DcmTag(0x0020, 0x000D, studyUID),
                               DcmTag(0x0040, 0x0009, spsID)}));
  dataset.Add(0x0040, 0x0252, "IN PROGRESS");
  return dataset;
}

DcmObj StepEnded(const std::string& status) {
  DcmObj dataset;
  dataset.Add(0x0040, 0x0252, status);
  return dataset;
}

}  // namespace tarvelin
