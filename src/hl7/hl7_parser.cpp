#include "hl7/hl7_parser.h"

#include "hl7/order_group.h"
#include "hl7/received_message.h"
#include "service/audit_trail.h"
#include "service/log.h"

namespace tarvelin {

namespace {
// Each committed order in the audit trail, under the thread's actor (the
// sender, or the order file).
void AuditOrders(const OrderAnswer& answer) {
  for (const AppliedOrder& order : answer.applied) {
    AuditEvent event{"hl7-order", AuditAction::Update, true, order.accession, "accession", {}, "ORC-1=" + order.control + ", " + order.done};
    if (order.done == "created") event.action = AuditAction::Create;
    if (order.done == "deleted") event.action = AuditAction::Delete;
    if (!order.oldStatus.empty()) event.changes.push_back({"SPSStatus", order.oldStatus, order.done});
    event.patientId = order.patientId;
    event.patientName = order.patientName;
    WriteAudit(event);
  }
}
}  // namespace

OrderAnswer ProcessHL7(const std::string& bytes) { return ProcessHL7(ReadReceivedMessage(bytes)); }

OrderAnswer ProcessHL7(const ReceivedMessage& message) {
  OrderAnswer answer;
  if (message.problem) {
    WriteLog("ERROR, ProcessHL7, message refused, nothing stored: " + message.problem->reason);
    answer.ack = AckCode::AE;
    answer.text = "ERROR";
    answer.refused.push_back(*message.problem);
    return answer;
  }
  if (!message.note.empty()) WriteLog("WARNING, ProcessHL7, " + message.note);
  if (message.text.find("ORM^O01") == std::string::npos) {
    answer.text = "ERROR - not an order message";
    answer.refused.push_back({0, "", "MSH", 9, 200, "only ORM^O01 order messages are accepted"});
    return answer;
  }
  return ParseORM(message.text);
}

OrderAnswer ParseORM(const std::string& message) {
  OrderAnswer answer = WriteInGroup(message);
  if (answer.ack == AckCode::AA) AuditOrders(answer);
  return answer;
}

}  // namespace tarvelin
