#pragma once
// The HL7 v2 order parser: ORM^O01 messages become worklist entries.
#include <string>

#include "hl7/order_answer.h"

namespace tarvelin {

struct ReceivedMessage;

// The message's bytes read (see ReadReceivedMessage) and answered as below.
OrderAnswer ProcessHL7(const std::string& bytes);

// AE with the reason when the message could not be read (its character set,
// delimiters or escapes; logged); AR when it does not contain "ORM^O01"
// anywhere (the database is not touched); otherwise the answer of ParseORM.
OrderAnswer ProcessHL7(const ReceivedMessage& message);

// Applies the orders of the message (UTF-8, standard delimiters) as one unit
// (see WriteOrders) and answers AA, AE with the refused orders, or AR.
OrderAnswer ParseORM(const std::string& message);

}  // namespace tarvelin
