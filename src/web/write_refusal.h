#pragma once
// The words the pages and the log use when a change to a worklist entry
// stored nothing.
#include <string>

#include "db/write_result.h"

namespace tarvelin {

// Why `result` (anything but Done) stored nothing for the entry `accession`
// that was to get `status`; `databaseError` (the connection's ErrorText)
// when the statement failed.
std::string WriteRefusal(WriteResult result, const std::string& accession, const std::string& status,
                         const std::string& databaseError);

}  // namespace tarvelin
