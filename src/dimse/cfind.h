#pragma once
// C-FIND on both sides: the server reads requests and writes responses (the
// worklist engine drives it), the find client writes requests and reads
// responses. Failures are logged here and reported by the result.
#include <cstdint>
#include <memory>
#include <string>

#include "dicom/dcmobj.h"

namespace tarvelin {

class PDU_Service;

class CFind {
 public:
  // Checks that `command` is a C-FIND-RQ with an identifier and, when an
  // association and an identifier object are given, reads the identifier.
  bool ReadRQ(PDU_Service* association, const DcmObj& command, DcmObj* identifier);
  // Sends a C-FIND-RQ for `sopClass` with a new message ID, then the
  // identifier when it has entries.
  bool WriteRQ(PDU_Service* association, DcmObj& identifier, const std::string& sopClass);
  // Reads one C-FIND-RSP (and its identifier, when one follows) and returns
  // its status, or -1 when no response could be read.
  std::int32_t ReadRSP(PDU_Service* association, DcmObj& identifier);
  // Sends the response to `request` with `status`, followed by `identifier`
  // when one is given (pending responses), or alone (the final response).
  bool WriteRSP(PDU_Service* association, const DcmObj* request, DcmObj* identifier,
                std::uint16_t status);
  // Sends a final response with a failure `status`, its Error Comment (cut
  // to 64 characters) and, when `offending` is not 0, the Offending Element
  // (group << 16 | element).
  bool WriteFailureRSP(PDU_Service& association, const DcmObj& request, std::uint16_t status,
                       const std::string& comment, std::uint32_t offending);

  // What the requestor sent while the responses to `request` were going out.
  enum class Interruption {
    None,       // nothing, or a cancel of another message (ignored)
    Cancelled,  // a C-CANCEL-RQ of this request: end with status Cancel
    Ended,      // a release, an abort, a closed connection or another request
  };
  // Looks, without waiting, for a message of the requestor; reads it when
  // there is one. Called between pending responses.
  Interruption CheckInterruption(PDU_Service& association, const DcmObj& request);

  // The C-FIND-RQ command set.
  static DcmObj BuildRQ(const std::string& sopClass, std::uint16_t messageID);
  // The C-FIND-RSP command set.
  static DcmObj BuildRSP(const std::string& sopClass, std::uint16_t messageID,
                         bool identifierFollows, std::uint16_t status);
  // The next message ID of a request: odd, from the process-wide counter.
  static std::uint16_t NewMessageID();

 private:
  // The last response command written; the pending responses to one request
  // are all the same command, so it is built once.
  struct ResponseCommand {
    std::string SOPClass;
    std::uint16_t MessageID = 0;
    bool IdentifierFollows = false;
    std::uint16_t Status = 0;
    DcmObj Command;
  };
  std::unique_ptr<ResponseCommand> lastResponse_;
};

}  // namespace tarvelin
