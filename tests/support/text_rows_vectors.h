#pragma once
// A TextRows table as vectors of values, for comparing whole results.
#include <string>
#include <vector>

#include "db/text_rows.h"

namespace tarvelin {

inline std::vector<std::vector<std::string>> AsVectors(const TextRows& rows) {
  std::vector<std::vector<std::string>> vectors(rows.Count());
  for (std::size_t r = 0; r < rows.Count(); ++r)
    for (std::size_t c = 0; c < rows.Columns(); ++c) vectors[r].emplace_back(rows.Value(r, c));
  return vectors;
}

}  // namespace tarvelin
