#pragma once
// HL7 TS values (YYYYMMDD[HHMM[SS[.S...]]][+/-ZZZZ]) as the DICOM DA and TM
// of a scheduled start. A value a RIS sends in any other shape is refused,
// never cut into a date no query can match.
#include <string>

namespace tarvelin {

struct DicomDateTime {
  std::string date;  // YYYYMMDD
  std::string time;  // HHMM, HHMMSS or HHMMSS.F... (up to six fraction digits); "" when none
};

// True when `ts` is a valid HL7 TS with at least a full date; fills `out`.
// The time zone offset is checked and dropped (the worklist keeps the
// sender's local time).
bool ParseHL7Timestamp(const std::string& ts, DicomDateTime& out);

}  // namespace tarvelin
