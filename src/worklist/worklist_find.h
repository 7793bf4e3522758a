#pragma once
// Answers one Modality Worklist C-FIND request: reads the identifier, shapes
// it, applies the station filter, runs the worklist query and sends one
// pending response per entry (in patient-name order) and then the final
// response: success, cancel (the requestor's C-CANCEL-RQ arrived between
// pendings), out of resources (more matches than MaxAnswers), or a failure
// with an Error Comment when the identifier or the database cannot be used.
#include "dicom/dcmobj.h"

namespace tarvelin {

class PDU_Service;

// True when the request was answered to its final response, failures
// included: the association goes on. False when the request could not be
// read, a response could not be sent or the requestor ended the association
// during the answer; the association's message loop then ends.
bool WorklistFind(PDU_Service& association, DcmObj& command);

}  // namespace tarvelin
