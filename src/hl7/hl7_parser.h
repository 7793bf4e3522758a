#pragma once
// The HL7 v2 order parser: ORM^O01 messages become worklist entries.
#include <string>

#include "hl7/order_answer.h"

namespace tarvelin {

// AR when `message` does not contain "ORM^O01" anywhere (the database is not
// touched); otherwise the answer of ParseORM.
OrderAnswer ProcessHL7(const std::string& message);

// Applies the orders of the message as one unit (see WriteOrders) and
// answers AA, AE with the refused orders, or AR.
OrderAnswer ParseORM(const std::string& message);

}  // namespace tarvelin
