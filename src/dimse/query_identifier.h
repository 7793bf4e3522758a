#pragma once
// Between the find client's records and C-FIND identifiers: which attribute
// each record field holds, which of them are sent as keys (and with which
// VR), and the length limits applied to answers.
#include "dicom/dcmobj.h"
#include "dimse/query_records.h"

namespace tarvelin {

// The Query/Retrieve Level text of a record type.
template <class Record>
const char* QueryLevel();

// A fresh identifier: the record's key attributes in tag order, each with
// the record's value (empty: a zero-length element, which asks the peer to
// return the attribute), and (0008,0052) with the level.
template <class Record>
DcmObj BuildQueryIdentifier(const Record& query);

// Fills `record` from the top-level elements of a response identifier that
// have a value; elements inside sequences and attributes without a field are
// ignored. Over-long values are cut (some with a warning line).
template <class Record>
void FillFromIdentifier(Record& record, const DcmObj& identifier);

}  // namespace tarvelin
