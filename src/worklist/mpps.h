#pragma once
// Modality Performed Procedure Step, the SCP side: the state machine of a
// performed step (IN PROGRESS, then COMPLETED or DISCONTINUED, and nothing
// after that), kept in its own table with its attributes, and the worklist
// entries it performs following it under the forward-only status rule.
// Concurrent messages need no lock here: each database change is one unit
// holding the database's write lock (db/performed_step_db.h).
#include <cstdint>
#include <string>
#include <vector>

#include "dicom/dcmobj.h"
#include "dimse/service_handlers.h"

namespace tarvelin {

// The statuses answered (the DIMSE status codes of N-CREATE and N-SET).
inline constexpr std::uint16_t MppsSuccess = 0x0000;
inline constexpr std::uint16_t MppsInvalidAttributeValue = 0x0106;
inline constexpr std::uint16_t MppsProcessingFailure = 0x0110;
inline constexpr std::uint16_t MppsDuplicateInstance = 0x0111;
inline constexpr std::uint16_t MppsNoSuchInstance = 0x0112;
inline constexpr std::uint16_t MppsMissingAttribute = 0x0120;

// The keys of one scheduled step a performed step reports on: an item of
// (0040,0270) Scheduled Step Attributes Sequence.
struct ScheduledStepKeys {
  std::string AccessionNumber;
  std::string StudyInstanceUID;
  std::string SPSID;
};

// Reads the keys of every (0040,0270) item of an N-CREATE data set (defined
// or undefined lengths alike); elements of sequences inside an item are not
// the step's own.
std::vector<ScheduledStepKeys> FindScheduledStepKeys(const DcmObj& dataset);

// Both take the data set's text from the set its (0008,0005) names (the
// calling station's set when it names none or one we do not convert) into
// the stored set; a value not valid in that set gets 0x0106 naming it.
//
// N-CREATE: the status must be IN PROGRESS (else 0x0106 naming (0040,0252));
// (0040,0252), (0040,0270) and a Study Instance UID in each of its items are
// required (else 0x0120 naming what is missing); a SOP Instance UID already
// created gets 0x0111; a database failure 0x0110. An empty `sopInstanceUID`
// is replaced by a generated one. A step that names no stored entry is
// stored all the same.
ProcedureStepOutcome CreateMPPS(DcmObj& dataset, std::string& sopInstanceUID, const std::string& callingAETitle = "");

// N-SET: an unknown (or empty) instance gets 0x0112; a step already
// COMPLETED or DISCONTINUED 0x0110; a status that is not a defined term
// 0x0106 naming (0040,0252). Only the attributes an N-SET may set are
// changed; others are ignored and logged. The settable attributes are moved
// out of `dataset` into the stored ones.
ProcedureStepOutcome SetMPPS(DcmObj& dataset, const std::string& sopInstanceUID,
                             const std::string& callingAETitle = "");

}  // namespace tarvelin
