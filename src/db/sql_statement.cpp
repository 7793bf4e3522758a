#include "db/sql_statement.h"

#include "db/sqlquote.h"

namespace tarvelin {

SqlStatement& SqlStatement::Add(const std::string& sql, std::initializer_list<std::string> values) {
  Text += sql;
  Values.insert(Values.end(), values.begin(), values.end());
  return *this;
}

std::string SqlStatement::Logged() const {
  std::string logged;
  std::size_t next = 0;
  bool inLiteral = false;
  for (char c : Text) {
    if (c == '\'') inLiteral = !inLiteral;  // a doubled quote toggles twice
    if (c == '?' && !inLiteral && next < Values.size())
      logged += SqlQuote(Values[next++]);
    else
      logged += c;
  }
  return logged;
}

}  // namespace tarvelin
