#pragma once
// Adding worklist entries: the entry form "add2wl" and "wlprocess", which
// takes that form (or one request from another system) and inserts the entry.
#include "web/page_table.h"

namespace tarvelin {

// The page for "add2wl": the entry form posting to "wlprocess"; sample
// values are placeholders only, never sent.
PageResult AddToWorklistPage(const PageRequest& request);

// The page for "wlprocess". From our form (it sends Form=add): every missing
// required field is named at once and the form shown again as typed; an
// entry for the same patient, modality and procedure on the same day is
// only added after the user confirms; a new entry sends the browser to the
// list of its day with a message (303). From another system: the first
// missing field, the refusal, or the patient added, on a page with status 200.
PageResult WorklistProcess(const PageRequest& request);

}  // namespace tarvelin
