#include "worklist/worklist_row.h"

#include "service/text.h"

namespace tarvelin {

WorklistRow::WorklistRow(const std::string& columns) {
  std::string::size_type start = 0;
  while (start <= columns.size()) {
    auto end = columns.find(',', start);
    if (end == std::string::npos) end = columns.size();
    names_.push_back(Trim(columns.substr(start, end - start)));
    start = end + 1;
  }
}

void WorklistRow::SetRow(const TextRows& rows, std::size_t row) {
  rows_ = &rows;
  row_ = row;
}

int WorklistRow::Index(std::string_view column) const {
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (names_[i] == column) return static_cast<int>(i);
  return -1;
}

std::string_view WorklistRow::Value(int index) const {
  if (index < 0 || !rows_) return {};
  std::string_view value = rows_->Value(row_, static_cast<std::size_t>(index));
  while (!value.empty() && static_cast<unsigned char>(value.front()) <= 0x20) value.remove_prefix(1);
  while (!value.empty() && static_cast<unsigned char>(value.back()) <= 0x20) value.remove_suffix(1);
  return value;
}

}  // namespace tarvelin
