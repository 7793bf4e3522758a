#pragma once
// Reading back what a result grid posts: for each shown row "CHECK=on" when
// it is ticked, then one pair per column; the pressed button's pair last.
#include <map>
#include <string>
#include <vector>

#include "web/request_params.h"

// A ticked row's columns by name, values trimmed of blanks and control characters.
using GridRow = std::map<std::string, std::string>;

// The ticked rows in page order. A row is the pairs after its CHECK, up to
// and including `lastColumn` (or up to the next CHECK or the end).
std::vector<GridRow> TickedRows(const ParamList& params, const std::string& lastColumn);

// The name of the last pair: the button that was pressed ("" for no pairs).
std::string PressedButton(const ParamList& params);

// A row's value of `column` ("" when it has none).
std::string Column(const GridRow& row, const std::string& column);
