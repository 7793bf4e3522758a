#include "db/worklist_columns.h"

namespace tarvelin {

std::string WorklistColumnList() {
  std::string list;
  for (const auto& [column, field] : kWorklistColumns) list += (list.empty() ? "" : ", ") + std::string(column);
  return list;
}

}  // namespace tarvelin
