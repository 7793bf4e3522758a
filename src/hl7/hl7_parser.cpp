#include "hl7/hl7_parser.h"

#include "hl7/order_group.h"

int ProcessHL7(const std::string& message) {
  if (message.find("ORM^O01") == std::string::npos) return -1;
  return ParseORM(message);
}

int ParseORM(const std::string& message) { return WriteInGroup(message); }
