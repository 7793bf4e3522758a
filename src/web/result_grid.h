#pragma once
// One page (ten rows) of a query's results as a form of text boxes with a
// check box per row, Edit (and for ADMIN users Delete) buttons, Previous and
// Next cells and "Page n/m". The form posts to "form_" + name; for each row
// in order it sends CHECK=on (ticked rows only) followed by one pair per
// column, and the pressed button's pair last.
#include <string>
#include <vector>

#include "web/request_params.h"

class SQLdb;

// A column definition: "column;heading;size;kind" with kind TEXT, DATE
// (shown through DicomDateToDisplay) or TIME (DicomTimeToDisplay).
using GridColumns = std::vector<std::string>;

inline constexpr int kGridPageSize = 10;

// Runs baseSql + " LIMIT 10 OFFSET " + the first "Offset" of params (0 when
// absent, not a number or negative) on `db` and builds the page; totalRows is
// the number of rows baseSql yields. Every value is HTML-escaped. A failed
// query is logged ("Study Query Failed: " + SQLite's message) and answered
// with that text.
std::string ResultGrid(const std::string& name, const ParamList& params, SQLdb& db, const std::string& baseSql,
                       long long totalRows, const GridColumns& columns, int rights);
