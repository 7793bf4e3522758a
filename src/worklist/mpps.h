#pragma once
// Modality Performed Procedure Step: an N-CREATE ties a worklist entry to the
// performed procedure step (its SOP Instance UID is stored in the row) and
// writes the reported status; later N-SETs find the row by that UID alone.
// The database work of all MPPS messages runs one at a time under
// ServerSettings.MppsLock.
#include <cstdint>
#include <string>

#include "dicom/dcmobj.h"

// DIMSE statuses answered to MPPS requests.
inline constexpr std::uint16_t MppsSuccess = 0x0000;
inline constexpr std::uint16_t MppsNotApplied = 0x0100;  // keys missing, or no database
inline constexpr std::uint16_t MppsUpdateFailed = 0x0101;

// The keys of the scheduled step a performed procedure step reports on,
// found in the items of (0040,0270) Scheduled Step Attributes Sequence.
struct ScheduledStepKeys {
  std::string AccessionNumber;
  std::string StudyInstanceUID;
  std::string SPSID;
};

// Reads the keys from the (0040,0270) items of an N-CREATE data set (defined
// or undefined lengths alike); elements of sequences inside an item are not
// the step's own. When several items carry a key, the last one wins.
ScheduledStepKeys FindScheduledStepKeys(const DcmObj& dataset);

// N-CREATE: 0x0000 when the UPDATE ran (also when it matched no row), 0x0100
// when a key is missing or the database cannot be opened, 0x0101 when the
// UPDATE failed. An empty `sopInstanceUID` is replaced by a generated one.
std::uint16_t CreateMPPS(const DcmObj& dataset, std::string& sopInstanceUID);

// N-SET: writes the reported status to the row holding `sopInstanceUID`.
// Without a status in the data set the row is left unchanged.
std::uint16_t SetMPPS(const DcmObj& dataset, const std::string& sopInstanceUID);
