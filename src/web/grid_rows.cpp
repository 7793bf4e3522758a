#include "web/grid_rows.h"

#include "service/text.h"

std::vector<GridRow> TickedRows(const ParamList& params, const std::string& lastColumn) {
  std::vector<GridRow> rows;
  bool collecting = false;
  for (const auto& param : params) {
    const std::string name = Trim(ParamName(param));
    if (name == "CHECK") {
      rows.emplace_back();
      collecting = true;
    } else if (collecting) {
      rows.back()[name] = Trim(ParamValue(param));
      collecting = name != lastColumn;
    }
  }
  return rows;
}

std::string PressedButton(const ParamList& params) { return params.empty() ? "" : ParamName(params.back()); }

std::string Column(const GridRow& row, const std::string& column) {
  const auto found = row.find(column);
  return found == row.end() ? "" : found->second;
}
