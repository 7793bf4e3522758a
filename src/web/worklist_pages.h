#pragma once
// The worklist query page and its background result fragment.
#include <string>

#include "web/request_params.h"

// The page for "worklist": patient ID, last and first name, a date range
// (today's date in both) and a modality, sent in the background to
// "display_wlquery"; the answer fills the result box under the form.
std::string WorklistPage(int rights);

// The fragment for "display_wlquery": at most ten matching entries (a
// ResultGrid posting to "form_wlquery"), "There are no results", or the
// failure's text. Params: PatientID, LastName, FirstName (LAST and FIRST
// count as empty), PatientName, DateFrom, DateTo (yyyy-mm-dd or the display
// form), Modality (0 all, 1..12 CR..ES), Offset.
std::string WLQueryDisplay(const ParamList& params, int rights);

// The WHERE clause (with its leading blanks, or "") for those params.
std::string WLQueryCondition(const ParamList& params);
