#include "hl7/order_record.h"

#include <ctime>

#include "dicom/uid.h"
#include "hl7/hl7_escapes.h"
#include "hl7/hl7_timestamp.h"
#include "platform/clock.h"
#include "service/text.h"

namespace tarvelin {

namespace {

constexpr const char* kNull = "\"\"";

using Member = std::string WorklistDB::*;

// Component k of a field that has components, else the whole field.
std::string ComponentOrWhole(const std::string& field, int k) {
  return field.find('^') != std::string::npos ? Piece(field, "^", k) : field;
}

// Stores one received value with its escapes decoded: "" (HL7 null) clears
// the column on an update.
void Take(WorklistDB& record, Member member, const char* column, const std::string& value) {
  if (value == kNull) {
    record.Cleared.insert(column);
    (record.*member).clear();
  } else if (!value.empty()) {
    record.*member = UnescapeHl7(value);
  }
}

bool Refuse(OrderRefusal& refusal, const char* segment, int field, int code, const std::string& reason) {
  refusal.segment = segment;
  refusal.field = field;
  refusal.code = code;
  refusal.reason = reason;
  return false;
}

// A DICOM UID: digits and dots, no empty or zero-led component, 64 at most.
bool ValidUID(const std::string& uid) {
  if (uid.empty() || uid.size() > 64 || uid.front() == '.' || uid.back() == '.') return false;
  char previous = '.';
  for (std::size_t i = 0; i < uid.size(); ++i) {
    const char c = uid[i];
    if (c == '.' && previous == '.') return false;
    if (c != '.' && (c < '0' || c > '9')) return false;
    if (c == '0' && previous == '.' && i + 1 < uid.size() && uid[i + 1] != '.') return false;
    previous = c;
  }
  return true;
}

struct StartSource {
  const char* segment;
  int field;
  std::string value;
};

// The scheduled start: the first of ORC-7.4, OBR-27.4, OBR-6 and OBR-7 that
// is given; every one given must be a valid HL7 TS.
bool ReadStart(const OrderSegments& order, WorklistDB& record, OrderRefusal& refusal) {
  const StartSource sources[] = {
      {"ORC", 7, Piece(SegmentField(order.orc, 7), "^", 4)},
      {"OBR", 27, Piece(SegmentField(order.obr, 27), "^", 4)},
      {"OBR", 6, SegmentField(order.obr, 6)},
      {"OBR", 7, SegmentField(order.obr, 7)},
  };
  bool taken = false;
  for (const StartSource& source : sources) {
    if (source.value.empty() || source.value == kNull) continue;
    DicomDateTime start;
    if (!ParseHL7Timestamp(source.value, start))
      return Refuse(refusal, source.segment, source.field, 102,
                    std::string(source.segment) + "-" + std::to_string(source.field) + " is not an HL7 date/time " +
                        "(YYYYMMDD[HHMM[SS]]): " + source.value);
    if (taken) continue;
    taken = true;
    record.SPSDate = start.date;
    record.SPSTime = start.time;
  }
  return true;
}

std::string Stamp(const char* format) {
  std::tm t = LocalTime(Now());
  char text[16];
  std::strftime(text, sizeof text, format, &t);
  return text;
}

}  // namespace

bool ReadOrderRecord(const OrderMessage& message, const OrderSegments& order, WorklistDB& record,
                     OrderRefusal& refusal) {
  if (order.orc.empty()) return Refuse(refusal, "OBR", 0, 100, "OBR without its ORC");
  if (order.obr.empty()) return Refuse(refusal, "ORC", 0, 100, "ORC without an OBR");
  const std::string& pid = message.pid;
  const std::string& obr = order.obr;
  const std::string patientId = SegmentField(pid, 3);
  Take(record, &WorklistDB::PatientID, "PatientID", patientId == kNull ? patientId : ComponentOrWhole(patientId, 1));
  Take(record, &WorklistDB::PatientName, "PatientName", SegmentField(pid, 5));
  const std::string birth = SegmentField(pid, 7);
  if (!birth.empty() && birth != kNull) {
    DicomDateTime born;
    if (!ParseHL7Timestamp(birth, born))
      return Refuse(refusal, "PID", 7, 102, "PID-7 is not an HL7 date: " + birth);
    record.PatientBD = born.date;
  }
  Take(record, &WorklistDB::PatientBD, "PatientBD", birth == kNull ? birth : "");
  Take(record, &WorklistDB::PatientSex, "PatientSex", SegmentField(pid, 8));

  const std::string referring = SegmentField(message.pv1, 8);
  const std::string ordering = SegmentField(obr, 16);
  const std::string& referrer = referring.empty() ? ordering : referring;
  Take(record, &WorklistDB::ReferringPhysician, "ReferringPhysician",
       referrer == kNull ? referrer : ComponentOrWhole(referrer, 2));

  if (!ReadStart(order, record, refusal)) return false;
  Take(record, &WorklistDB::PatientState, "PatientState", SegmentField(obr, 12));
  Take(record, &WorklistDB::MedicalAlerts, "MedicalAlerts", SegmentField(obr, 13));
  record.AccessionNumber = UnescapeHl7(SegmentField(obr, 18));
  if (record.AccessionNumber.empty()) record.AccessionNumber = UnescapeHl7(SegmentField(obr, 2));
  refusal.accession = record.AccessionNumber;
  if (record.AccessionNumber.empty() || record.AccessionNumber == kNull)
    return Refuse(refusal, "OBR", 18, 101, "no accession number (OBR-18 or OBR-2)");
  Take(record, &WorklistDB::RequestedProcedureID, "RequestedProcedureID", SegmentField(obr, 20));
  std::string station = SegmentField(obr, 21);
  if (station.empty()) station = SegmentField(obr, 10);
  if (station.empty()) station = SegmentField(order.orc, 18);
  Take(record, &WorklistDB::ScheduledStation, "ScheduledStation", station);
  Take(record, &WorklistDB::Modality, "Modality", SegmentField(obr, 24));
  std::string procedure = SegmentField(obr, 44);
  if (procedure.empty()) procedure = SegmentField(obr, 4);
  Take(record, &WorklistDB::SPSDescription, "SPSDescription",
       procedure == kNull ? procedure : ComponentOrWhole(procedure, 2));

  // "1.2.840...^100^Application^DICOM": the UID is component 1.
  const std::string uid = ComponentOrWhole(SegmentField(order.zds, 1), 1);
  if (!uid.empty() && uid != kNull) {
    if (!ValidUID(uid)) return Refuse(refusal, "ZDS", 1, 102, "ZDS-1 is not a DICOM UID: " + uid);
    record.StudyInstanceUID = uid;
  }
  return true;
}

bool CompleteNewOrder(WorklistDB& record, OrderRefusal& refusal) {
  struct Required {
    Member member;
    const char* segment;
    int field;
    const char* what;
  };
  const Required required[] = {
      {&WorklistDB::PatientID, "PID", 3, "no patient ID (PID-3)"},
      {&WorklistDB::PatientName, "PID", 5, "no patient name (PID-5)"},
      {&WorklistDB::Modality, "OBR", 24, "no modality (OBR-24)"},
  };
  for (const Required& r : required)
    if ((record.*r.member).empty()) return Refuse(refusal, r.segment, r.field, 101, r.what);
  record.Cleared.clear();
  if (record.SPSID.empty()) record.SPSID = record.AccessionNumber;
  if (record.RequestedProcedureID.empty()) record.RequestedProcedureID = record.AccessionNumber;
  if (record.ScheduledStation.empty()) record.ScheduledStation = "UNKNOWN";
  if (record.SPSDate.empty()) record.SPSDate = Stamp("%Y%m%d");
  if (record.SPSTime.empty()) record.SPSTime = Stamp("%H%M%S");
  if (record.StudyInstanceUID.empty()) record.StudyInstanceUID = NewStudyUID();
  if (record.SPSStatus.empty()) record.SPSStatus = "SCHEDULED";
  return true;
}

}  // namespace tarvelin
