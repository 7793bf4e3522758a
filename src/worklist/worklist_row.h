#pragma once
// One row of the worklist SELECT, read by column name. The column list is the
// one the query selected ("PatientName, Modality", or "*"); a row is a text
// line of ";"-terminated fields in that order. Both are split once, so filling
// a response does not re-scan the texts for every attribute.
#include <string>
#include <string_view>
#include <vector>

class WorklistRow {
 public:
  explicit WorklistRow(const std::string& columns);
  // Takes the fields of `row`; the text must outlive the lookups.
  void SetRow(const std::string& row);
  // The field of the first column with that name, trimmed; "" when the
  // column was not selected (always so for "*").
  std::string Value(std::string_view column) const;

 private:
  std::vector<std::string> names_;
  std::vector<std::string_view> fields_;
};

// The value of column `name` in `row` under the column list `columns`.
std::string ColumnValue(const std::string& name, const std::string& columns,
                        const std::string& row);
