#pragma once
// Answers one Modality Worklist C-FIND request: reads the identifier, applies
// the station filter, runs the worklist SELECT and sends one pending response
// per entry (in patient-name order) and then the final success response.
#include "dicom/dcmobj.h"

class PDU_Service;

// True when all responses, the final one included, were sent. On false the
// association's message loop ends: after a failed read or query nothing was
// sent; after a failed response no final response follows.
bool WorklistFind(PDU_Service& association, DcmObj& command);
