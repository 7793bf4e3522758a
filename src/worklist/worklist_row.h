#pragma once
// One row of the worklist SELECT, read by column name. The column list is the
// one the query selected ("PatientName, Modality", or "*"); a row holds one
// value per selected column, in that order. The list is split once, so
// filling a response does not re-scan it for every attribute.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "db/text_rows.h"

namespace tarvelin {

class WorklistRow {
 public:
  explicit WorklistRow(const std::string& columns);
  // Reads row `row` of `rows` from now on; `rows` must outlive the lookups.
  void SetRow(const TextRows& rows, std::size_t row);
  // The position of the first column with that name, or -1 when it was not
  // selected (always so for "*").
  int Index(std::string_view column) const;
  // The value at that position, without the characters of code 32 or below
  // at its ends; "" for -1.
  std::string_view Value(int index) const;
  std::string_view Value(std::string_view column) const { return Value(Index(column)); }

 private:
  std::vector<std::string> names_;
  const TextRows* rows_ = nullptr;
  std::size_t row_ = 0;
};

}  // namespace tarvelin
