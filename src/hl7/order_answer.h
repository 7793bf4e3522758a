#pragma once
// What the server answers to one HL7 message: the acknowledgement code, the
// MSA-3 text, and one refusal per order that was not stored.
#include <string>
#include <vector>

#include "hl7/order_refusal.h"

namespace tarvelin {

enum class AckCode {
  AA,  // every order stored (or already stored exactly so)
  AE,  // an order was refused: nothing of the message was stored
  AR,  // not an order message, or the server could not store anything
};

// One order that changed the worklist, for the audit trail.
struct AppliedOrder {
  std::string control;    // ORC-1
  std::string accession;
  std::string done;       // "created", "updated", "deleted", or the status it moved to
  std::string oldStatus;  // the status before, when the order moved it
  std::string patientId, patientName;  // as the message names them
};

struct OrderAnswer {
  AckCode ack = AckCode::AR;
  std::string text;  // MSA-3 ("" for AA)
  std::vector<OrderRefusal> refused;
  // With AA only: the orders that changed something (a resend that found
  // its order stored is not among them). Committed once the answer is given.
  std::vector<AppliedOrder> applied;
};

}  // namespace tarvelin
