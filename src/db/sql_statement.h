#pragma once
// One SQL statement with its values kept apart from its text: each "?" in
// Text takes the next of Values, bound by SQLite, so no value is ever parsed
// as SQL and the same text (one kept prepared statement) serves every value.
#include <string>
#include <vector>

namespace tarvelin {

struct SqlStatement {
  std::string Text;
  std::vector<std::string> Values;  // bound as text, in order

  // Appends `sql` and the values its "?"s take.
  SqlStatement& Add(const std::string& sql, std::initializer_list<std::string> values = {});

  // The text with each "?" outside a literal replaced by its value quoted
  // (db/sqlquote.h): what the log shows, the statement as if written out.
  std::string Logged() const;
};

}  // namespace tarvelin
