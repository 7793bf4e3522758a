#include "db/sqlquote.h"

namespace tarvelin {

std::string SqlQuote(const std::string& value) {
  std::string quoted;
  quoted.reserve(value.size() + 2);
  quoted += '\'';
  for (char c : value) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  quoted += '\'';
  return quoted;
}

std::string WithSecretsHidden(std::string sql, const std::vector<std::string>& secrets) {
  for (const std::string& secret : secrets) {
    if (secret.empty()) continue;
    const std::string quoted = SqlQuote(secret);
    for (auto at = sql.find(quoted); at != std::string::npos; at = sql.find(quoted, at + 10))
      sql.replace(at, quoted.size(), "'********'");
  }
  return sql;
}

}  // namespace tarvelin
