#pragma once
// One order of an ORM^O01 message as a worklist record: the message's
// patient data and this order's own segments, nothing of any other order.
#include <string>

#include "db/worklistdb.h"
#include "hl7/order_message.h"
#include "hl7/order_refusal.h"

namespace tarvelin {

// Fills `record` from the patient segments of `message` and `order` (a
// message in standard form; values are taken with their escapes decoded). A field
// that is empty is left empty (no change for an XO); HL7's null, "" (two
// double quotes), leaves it empty and names the column in record.Cleared.
// False, with `refusal` filled, when the order cannot be stored as sent: no
// ORC or OBR, no accession number, or a date/time or UID in the wrong form.
bool ReadOrderRecord(const OrderMessage& message, const OrderSegments& order, WorklistDB& record,
                     OrderRefusal& refusal);

// Completes a new order (NW) with what it left empty: SPS ID and requested
// procedure ID from the accession number, station "UNKNOWN", the current date
// and time, a new Study Instance UID and status SCHEDULED. False, with
// `refusal` filled, when a field a worklist entry needs is missing.
bool CompleteNewOrder(WorklistDB& record, OrderRefusal& refusal);

}  // namespace tarvelin
