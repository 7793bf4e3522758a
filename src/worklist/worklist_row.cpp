#include "worklist/worklist_row.h"

#include "service/text.h"

WorklistRow::WorklistRow(const std::string& columns) {
  std::string::size_type start = 0;
  while (start <= columns.size()) {
    auto end = columns.find(',', start);
    if (end == std::string::npos) end = columns.size();
    names_.push_back(Trim(columns.substr(start, end - start)));
    start = end + 1;
  }
}

void WorklistRow::SetRow(const std::string& row) {
  fields_.clear();
  std::string_view rest(row);
  while (!rest.empty()) {
    const auto end = rest.find(';');
    fields_.push_back(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
}

std::string WorklistRow::Value(std::string_view column) const {
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (names_[i] != column) continue;
    if (i >= fields_.size()) return "";
    return Trim(std::string(fields_[i]));
  }
  return "";
}

std::string ColumnValue(const std::string& name, const std::string& columns,
                        const std::string& row) {
  WorklistRow lookup(columns);
  lookup.SetRow(row);
  return lookup.Value(name);
}
