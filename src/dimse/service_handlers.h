#pragma once
// The services the DICOM server hands requests to but does not implement
// itself: the worklist query and the performed procedure step updates live in
// the worklist engine, a higher layer. The executable registers them once,
// before the DICOM listener starts; the association threads only read them.
//
// A hook that is not set means the service is not available: a worklist
// C-FIND then ends the association's message loop as a failed query does, and
// an N-CREATE/N-SET on the MPPS class ends it without a response.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarvelin {

class DcmObj;
class PDU_Service;

// The answer to an N-CREATE or N-SET: its DIMSE status and, for an invalid
// or missing attribute, the tags at fault ((gggg << 16) | eeee), which go to
// the response's (0000,1005) Attribute Identifier List.
struct ProcedureStepOutcome {
  std::uint16_t status = 0;
  std::vector<std::uint32_t> attributes;
};

struct ServiceHandlers {
  // Answers a C-FIND-RQ on the Modality Worklist context: reads the identifier
  // from the association, writes every pending response and the final one.
  // True when all responses, the final one included, were sent.
  std::function<bool(PDU_Service& association, DcmObj& command)> WorklistFind;

  // Applies an N-CREATE of a performed procedure step. `sopInstanceUID` is the
  // request's Affected SOP Instance UID; when it is empty a new UID may be
  // written into it, and the response carries what it holds afterwards.
  // `callingAETitle` (trimmed) decides the character set of a data set that
  // names none.
  std::function<ProcedureStepOutcome(DcmObj& dataset, std::string& sopInstanceUID,
                                     const std::string& callingAETitle)>
      CreateMPPS;

  // Applies an N-SET of a performed procedure step, found by the request's
  // Requested SOP Instance UID.
  std::function<ProcedureStepOutcome(DcmObj& dataset, const std::string& sopInstanceUID,
                                     const std::string& callingAETitle)>
      SetMPPS;
};

// Registers the hooks (the executable calls this before ServiceStart).
void SetServiceHandlers(const ServiceHandlers& handlers);

// The registered hooks; members are empty until SetServiceHandlers was called.
const ServiceHandlers& RegisteredServiceHandlers();

}  // namespace tarvelin
