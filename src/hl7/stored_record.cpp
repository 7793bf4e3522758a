#include "hl7/stored_record.h"

#include "db/stored_text.h"
#include "db/worklist_columns.h"
#include "hl7/text_in_charset.h"

namespace tarvelin {

bool ToStoredText(WorklistDB& record, std::string& problem) {
  std::string stored;
  for (const auto& [column, field] : kWorklistColumns) {
    std::string& value = record.*field;
    const std::size_t missing = WriteFromUtf8(value, StoredTextCharset, stored);
    if (missing > 0) {
      problem = std::string(column) + " " + value + " holds " + std::to_string(missing) +
                " character(s) the worklist cannot store in its character set " + StoredTextCharset;
      return false;
    }
    value.swap(stored);
  }
  return true;
}

}  // namespace tarvelin
