#include "db/text_rows.h"

namespace tarvelin {

void TextRows::Reset(std::size_t columns) {
  text_.clear();
  ends_.clear();
  columns_ = columns;
}

void TextRows::Add(std::string_view value) {
  text_.append(value);
  ends_.push_back(text_.size());
}

std::string_view TextRows::Value(std::size_t row, std::size_t column) const {
  const std::size_t at = row * columns_ + column;
  if (column >= columns_ || at >= ends_.size()) return {};
  const std::size_t begin = at == 0 ? 0 : ends_[at - 1];
  return std::string_view(text_).substr(begin, ends_[at] - begin);
}

void TextRows::Replace(char from, char to) {
  // Usually there is none: searching is much quicker than rewriting.
  for (auto at = text_.find(from); at != std::string::npos; at = text_.find(from, at + 1)) text_[at] = to;
}

}  // namespace tarvelin
