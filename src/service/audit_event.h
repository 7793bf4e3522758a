#pragma once
// One event of the audit trail: a change made to the worklist, to a
// performed procedure step or to the web users, or a refused login. The
// fields follow what IHE ATNA's audit messages carry (event, action code,
// outcome, the active participant and the object touched), kept flat.
#include <string>
#include <vector>

namespace tarvelin {

// ATNA's event action codes.
enum class AuditAction {
  Create,   // C
  Update,   // U
  Delete,   // D
  Execute,  // E: something done that is not a change of one object (a login)
};

// One field the event changed, as it was and as it is now ("" : no value).
struct AuditChange {
  std::string field;
  std::string before;
  std::string after;
};

struct AuditEvent {
  std::string event;  // what happened: "entry-edit", "user-delete", "hl7-order", "mpps-set", ...
  AuditAction action = AuditAction::Update;
  bool success = true;
  std::string object;      // the key of what was touched: accession number, user name, SOP Instance UID
  std::string objectType;  // "accession", "user", "mpps"
  std::vector<AuditChange> changes;
  std::string detail;  // a short note: the order control, why it failed
  // The patient of a worklist entry or procedure step ("" when not known);
  // DICOM audit messages name the patient of an order or procedure record.
  // (Initialised so brace-initialised events may leave them out.)
  std::string patientId = "";
  std::string patientName = "";
};

}  // namespace tarvelin
