#include "hl7/hl7_parser.h"

#include "hl7/order_group.h"

namespace tarvelin {

OrderAnswer ProcessHL7(const std::string& message) {
  if (message.find("ORM^O01") == std::string::npos) {
    OrderAnswer answer;
    answer.text = "ERROR - not an order message";
    answer.refused.push_back({0, "", "MSH", 9, 200, "only ORM^O01 order messages are accepted"});
    return answer;
  }
  return ParseORM(message);
}

OrderAnswer ParseORM(const std::string& message) { return WriteInGroup(message); }

}  // namespace tarvelin
