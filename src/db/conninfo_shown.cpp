#include "db/conninfo_shown.h"

#include <libpq-fe.h>

namespace tarvelin {

namespace {
// A value as libpq reads it back in key=value form.
std::string Quoted(const std::string& value) {
  if (!value.empty() && value.find_first_of(" \t\\'") == std::string::npos) return value;
  std::string quoted = "'";
  for (char c : value) quoted += c == '\'' || c == '\\' ? std::string("\\") + c : std::string(1, c);
  return quoted + "'";
}
}  // namespace

std::string ConninfoShown(const std::string& conninfo) {
  char* problem = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &problem);
  PQfreemem(problem);
  if (!options) return "(unreadable connection string)";
  std::string shown;
  for (const PQconninfoOption* option = options; option->keyword; ++option) {
    if (!option->val || std::string(option->keyword) == "password") continue;
    shown += (shown.empty() ? "" : " ") + std::string(option->keyword) + "=" + Quoted(option->val);
  }
  PQconninfoFree(options);
  return shown;
}

}  // namespace tarvelin
