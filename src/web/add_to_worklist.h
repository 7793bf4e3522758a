#pragma once
// Adding worklist entries: the entry form "add2wl" and "wlprocess", which
// takes that form (or one request from another system) and inserts the entry.
#include <string>

#include "web/request_params.h"

// The page for "add2wl": the empty entry form posting to "wlprocess".
std::string AddToWorklistPage(int rights);

// The page for "wlprocess": checks the required fields, generates what was
// not given (see EntryRequest) and inserts the entry. The page names the
// first missing field, the refusal, or the patient added; always status 200.
std::string WorklistProcess(const ParamList& list, int rights);
