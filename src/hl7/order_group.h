#pragma once
// Group commit for orders: messages that arrive at the same moment on
// different connections are written in one transaction, so one durable commit
// serves them all, and each caller returns only once its own changes are
// committed.
#include <string>

// Writes the orders of `message` (see WriteOrders) together with whatever
// other threads submit meanwhile. Returns the message's result; -1 when the
// database cannot be opened.
int WriteInGroup(const std::string& message);
