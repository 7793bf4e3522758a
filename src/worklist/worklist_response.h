#pragma once
// Builds one worklist response identifier from a request identifier and one
// row of the worklist SELECT. The response mirrors the request entry for
// entry, in the request's order: attributes a column answers are filled from
// the row, the others come back as the modality sent them (or empty).
#include <string>

#include "dicom/dcmobj.h"
#include "dicom/dcmtag.h"
#include "worklist/worklist_row.h"

// The value the row gives for one request element ("" when no column answers).
std::string ResponseValue(const DcmTag& element, const WorklistRow& row);

// Appends to `response` one entry per entry of `request`, recursively for
// sequences and items. Group length elements are dropped.
void CreateWLResponse(const DcmObj& request, DcmObj& response, const WorklistRow& row);
