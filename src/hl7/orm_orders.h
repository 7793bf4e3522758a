#pragma once
// The orders of an ORM^O01 message applied to the worklist as one unit.
#include <string>

#include "hl7/order_answer.h"

namespace tarvelin {

class SQLdb;

// Applies every ORC/OBR group of `message` through `db`, each as its own
// order (ORC-1: NW new, XO changed, CA cancelled, DC/OC discontinued, SC
// status changed) under the storage's forward-only status rule. Either every
// order is stored, or nothing of the message is (a savepoint, so this may
// run inside a caller's transaction): AA when all were stored or were already
// stored exactly so, otherwise AE with one refusal per refused order, or AR
// when the database failed.
OrderAnswer WriteOrders(SQLdb& db, const std::string& message);

}  // namespace tarvelin
