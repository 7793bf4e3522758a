#pragma once
// The worklist entry fields that the entry form, the edit form and other
// systems ("wlprocess", "wledit") send, read by one table of parameter names.
#include <string>

#include "db/worklistdb.h"
#include "web/request_params.h"

namespace tarvelin {

struct EntryFields {
  WorklistDB Entry;  // the fields named like columns (and their alternative names)
  // The form's parts that are not columns themselves.
  std::string LastName, FirstName, Hour, Minutes;
};

// Reads every "name=value" pair in order; a later pair replaces an earlier
// one, unknown names are ignored. Values are trimmed of blanks and control
// characters when `trimValues`. PatientBD and StartDate with "-" or "/" (a
// browser's or the display's date) become yyyymmdd; yyyymmdd passes unchanged.
EntryFields ReadEntryFields(const ParamList& params, bool trimValues);

}  // namespace tarvelin
