#pragma once
// A modality on one association, for end-to-end, cluster and load runs:
// C-ECHO, worklist C-FIND and MPPS N-CREATE/N-SET in implicit VR little
// endian, with every answer reported as it came (statuses, matches, or the
// point where the association broke).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dicom/dcmobj.h"
#include "net/pdu_service.h"

namespace tarvelin {

// What one worklist C-FIND brought back.
struct FindOutcome {
  std::vector<std::string> Accessions;  // (0008,0050) of each pending response, in order
  // Status of the final response; -1 when none came (the association broke
  // or a response could not be read).
  std::int32_t FinalStatus = -1;

  bool Success() const { return FinalStatus == 0; }
  int Matches() const { return static_cast<int>(Accessions.size()); }
};

class ModalityPeer {
 public:
  explicit ModalityPeer(const std::string& callingAE = "MODALITY");
  ModalityPeer(const ModalityPeer&) = delete;
  ModalityPeer& operator=(const ModalityPeer&) = delete;

  // Requests an association with TARVELIN on 127.0.0.1:`port`, proposing
  // Verification, Modality Worklist and MPPS. Responses are awaited at most
  // `readTimeoutSeconds` each.
  bool Connect(int port, int readTimeoutSeconds = 60);
  bool Echo();
  // Sends a worklist C-FIND with `identifier` and reads responses up to the final one.
  FindOutcome Find(DcmObj& identifier);
  // N-CREATE of the MPPS instance `uid` with `dataset`; the response
  // status, or -1 when none came.
  std::int32_t Create(const std::string& uid, DcmObj& dataset);
  // N-SET of the MPPS instance `uid`; the response status, or -1.
  std::int32_t Set(const std::string& uid, DcmObj& dataset);
  // Releases the association (when it is still up).
  void Release();

  PDU_Service& Association() { return pdu_; }

 private:
  std::int32_t ProcedureStep(std::uint16_t commandField, const std::string& uid, DcmObj& dataset);
  void Use(std::size_t context);

  PDU_Service pdu_;
  std::vector<std::uint8_t> contextOf_;  // Verification, worklist, MPPS
  std::uint16_t nextMessageID_ = 1;
};

// A defined-length sequence holding one item with `itemElements`.
std::unique_ptr<DcmObj> SequenceOf(std::vector<DcmTag> itemElements);

// A worklist identifier asking for every scheduled step of `modality` on
// `date` ("" matches any), returning accession number, patient name and ID
// and the step's keys.
DcmObj WorklistIdentifier(const std::string& modality, const std::string& date);

// The N-CREATE data set that starts a performed step for the scheduled step
// (`accession`, `studyUID`, `spsID`) with status IN PROGRESS.
DcmObj StepInProgress(const std::string& accession, const std::string& studyUID, const std::string& spsID);
// The N-SET data set that ends a performed step with `status` (COMPLETED or DISCONTINUED).
DcmObj StepEnded(const std::string& status);

}  // namespace tarvelin
