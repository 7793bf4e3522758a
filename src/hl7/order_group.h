#pragma once
// Group commit for orders: messages that arrive at the same moment on
// different connections are written in one transaction, so one durable commit
// serves them all, and each caller returns only once its own changes are
// committed.
#include <string>

#include "hl7/order_answer.h"

namespace tarvelin {

// Writes the orders of `message` (see WriteOrders) together with whatever
// other threads submit meanwhile. Returns the message's answer; AR when the
// database cannot be opened.
OrderAnswer WriteInGroup(const std::string& message);

}  // namespace tarvelin
