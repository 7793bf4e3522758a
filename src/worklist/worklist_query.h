#pragma once
// Turns a Modality Worklist C-FIND identifier (shaped by
// ShapeWorklistIdentifier) into one selection of worklist entries. Listed
// attributes select their columns (empty or not); matching keys with a value
// also restrict the result, each by the matching rule of its value
// representation. Only SCHEDULED entries are ever returned, ordered by
// patient name.
#include <cstdint>
#include <string>
#include <vector>

#include "db/text_rows.h"
#include "db/worklist_selection.h"
#include "dicom/dcmobj.h"
#include "platform/transcoder.h"
#include "worklist/query_refusal.h"

namespace tarvelin {

struct WorklistQuery {
  WorklistSelection Selection;  // what the storage is asked for
  std::string Columns;  // the selected columns joined by ", ", or "*"
  // Keys sent with a value that the server does not match on (answered
  // with status 0xFF01), as group << 16 | element, in request order.
  std::vector<std::uint32_t> Unsupported;
  // Set when a key's value cannot be processed.
  QueryRefusal Refusal;
};

// The query for an identifier and a station filter line ("AE|modality", or
// "" for none). Key values are read through `keys` (the request's character
// set to the stored text's; nullptr: taken as stored bytes): a value that is
// not text of the request's set is refused, and one the stored text cannot
// hold matches no entry.
WorklistQuery TranslateWorklistQuery(const DcmObj& identifier, const std::string& filterLine,
                                     Transcoder* keys = nullptr);

// Runs the selection on a read-only connection, logging it as
// "INFO, WLQuery=" + the statement with its values written out. Fills `rows` with one row per
// entry (one value per selected column, NULL as "", a ";" inside a value
// read as ":"). False, with the reason logged, when the database cannot be
// opened or the query fails.
bool WLQuery(const WorklistQuery& query, TextRows& rows);

}  // namespace tarvelin
