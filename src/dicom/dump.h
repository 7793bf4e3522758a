#pragma once
// The text dump of datasets for debug logging.
#include <string>
#include <vector>

#include "dicom/dcmobj.h"
#include "dicom/dcmtag.h"

namespace tarvelin {

// Appends one line per entry, recursively; start with depth 0. Group 0000
// elements get their VR from the dictionary first.
void Dump(DcmObj& obj, std::vector<std::string>& lines, int depth);
// "(gggg,eeee), len, VR, name: value" prefixed with "..." (depth-1) times.
std::string DumpLine(const DcmTag& tag, int depth);

}  // namespace tarvelin
