#pragma once
// Turns a Modality Worklist C-FIND identifier into one SELECT on the Worklist
// table. Listed attributes select their columns (empty or not); some of them
// also restrict the result when they carry a value. Only SCHEDULED entries are
// ever returned, ordered by patient name.
#include <string>
#include <vector>

#include "db/text_rows.h"
#include "dicom/dcmobj.h"
#include "dicom/dcmtag.h"

// The matching value of an identifier element: empty for length 0 or
// undefined length; otherwise the bytes up to the first zero byte, a trailing
// "*" removed (also when followed by the one pad byte that makes the length
// even), then trimmed. A "*" anywhere else stays.
std::string PrepareMatchValue(const DcmTag& element);

// The condition for Scheduled Procedure Step Start Date: "d", "-d", "d-" or
// "d1-d2" (blanks beside the "-" allowed). The text starts with a blank.
std::string DateCondition(const std::string& value);

// Walks `dataset` (sequence items included) and appends the selected columns,
// each followed by ", ", to `columns`, and the conditions, each preceded by
// " WHERE " (the first of the query) or " AND ", to `conditions`.
// `whereWritten` tells whether the query already has its WHERE and is set
// when this walk writes it.
void BuildWorklistSelect(const DcmObj& dataset, std::string& columns,
                         std::string& conditions, bool& whereWritten);

// The whole SELECT for an identifier and a station filter line
// ("AE|modality", or "" for none); `columns` receives the column list
// ("*" when the identifier names no listed attribute).
std::string WorklistSelect(const DcmObj& identifier, const std::string& filterLine,
                           std::string& columns);

// Runs the worklist SELECT on a read-only connection. Fills `rows` with one
// row per entry (one value per selected column, NULL as "", a ";" inside a
// value read as ":") and sets `columns`. False when the database cannot be
// opened or the SELECT fails.
bool WLQuery(const DcmObj& identifier, TextRows& rows, std::string& columns, const std::string& filterLine);
