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

struct OrderAnswer {
  AckCode ack = AckCode::AR;
  std::string text;  // MSA-3 ("" for AA)
  std::vector<OrderRefusal> refused;
};

}  // namespace tarvelin
