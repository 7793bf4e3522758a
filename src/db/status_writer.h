#pragma once
// Who asks the worklist storage for a change, which decides how the
// forward-only status rule applies.
#include <string>

namespace tarvelin {

struct StatusWriter {
  // HL7 messages, order files, performed procedure steps and housekeeping:
  // a status only moves forward.
  static StatusWriter Workflow() { return {false, ""}; }
  // An administrator's explicit change (web form, status page): any defined
  // status, backwards included; a backward move is logged with `user`.
  static StatusWriter Administrator(const std::string& user) { return {true, user}; }

  bool administrator;
  std::string user;
};

}  // namespace tarvelin
