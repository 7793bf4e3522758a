#pragma once
// The rows of a SELECT as exact text, kept in one block of memory: a row
// costs no allocation of its own, which counts when a worklist answer reads
// thousands of them. NULL reads as "".
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelin {

class TextRows {
 public:
  // Empties the table; `columns` values make a row from now on.
  void Reset(std::size_t columns);
  // Appends the next value, row after row.
  void Add(std::string_view value);

  std::size_t Count() const { return columns_ ? ends_.size() / columns_ : 0; }
  std::size_t Columns() const { return columns_; }
  // Value `column` of row `row`, both from 0; "" outside the table.
  std::string_view Value(std::size_t row, std::size_t column) const;
  // Turns every `from` in every value into `to`.
  void Replace(char from, char to);

 private:
  std::string text_;
  std::vector<std::size_t> ends_;  // where each value ends in text_
  std::size_t columns_ = 0;
};

}  // namespace tarvelin
