#pragma once
// The station filter file wlfilter.txt in the instance folder: each line
// "calling AE title|modality" pins what that modality may see. It is read
// afresh for every worklist query, so edits take effect at the next query.
#include <string>

namespace tarvelin {

// The whole first line whose first "|" field equals `callingAETitle` exactly
// (case-sensitive, the file's field untrimmed); "" when the file is missing
// or no line matches.
std::string FilterLookup(const std::string& callingAETitle);

}  // namespace tarvelin
