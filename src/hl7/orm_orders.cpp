#include "hl7/orm_orders.h"

#include <cstdio>
#include <vector>

#include "db/worklistdb.h"
#include "dicom/uid.h"
#include "platform/clock.h"
#include "service/log.h"
#include "service/text.h"

namespace {

// CR, LF and CR LF each end a segment.
std::vector<std::string> SplitSegments(const std::string& message) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < message.size()) {
    auto end = message.find_first_of("\r\n", start);
    if (end == std::string::npos) end = message.size();
    lines.push_back(message.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Field n of a segment: the n-th "|"-piece after the segment name.
std::string Field(const std::string& segment, int n) { return Piece(segment, "|", n + 1); }

// Component k of a field that has components, else the whole field.
std::string ComponentOrWhole(const std::string& field, int k) {
  return field.find('^') != std::string::npos ? Piece(field, "^", k) : field;
}

std::string Head(const std::string& text, std::string::size_type count) { return text.substr(0, count); }

std::string Mid(const std::string& text, std::string::size_type from, std::string::size_type count) {
  return from < text.size() ? text.substr(from, count) : std::string();
}

std::string Stamp(const char* format) {
  std::tm t = LocalTime(Now());
  char text[16];
  std::strftime(text, sizeof text, format, &t);
  return text;
}

void ApplyPID(const std::string& seg, WorklistDB& wl) {
  wl.PatientID = ComponentOrWhole(Field(seg, 3), 1);
  wl.PatientName = Field(seg, 5);
  wl.PatientBD = Head(Field(seg, 7), 8);
  wl.PatientSex = Field(seg, 8);
}

void ApplyORC(const std::string& seg, WorklistDB& wl) {
  const std::string start = Piece(Field(seg, 7), "^", 4);
  if (!start.empty()) {
    wl.SPSDate = Head(start, 8);
    if (start.size() == 14) wl.SPSTime = Mid(start, 8, 6);
    else if (start.size() == 12) wl.SPSTime = Mid(start, 8, 4);
  }
  wl.ScheduledStation = Field(seg, 18);
}

void ApplyPV1(const std::string& seg, WorklistDB& wl) {
  wl.ReferringPhysician = ComponentOrWhole(Field(seg, 8), 2);
}

void ApplyOBR(const std::string& seg, WorklistDB& wl) {
  if (wl.SPSDate.empty()) {
    const std::string requested = Field(seg, 6);
    wl.SPSDate = Head(requested, 8);
    wl.SPSTime = Mid(requested, 8, 6);
  }
  wl.PatientState = Field(seg, 12);
  wl.MedicalAlerts = Field(seg, 13);
  if (wl.ReferringPhysician.empty()) wl.ReferringPhysician = ComponentOrWhole(Field(seg, 16), 2);
  wl.AccessionNumber = Field(seg, 18);
  if (wl.AccessionNumber.empty()) wl.AccessionNumber = Field(seg, 2);
  wl.RequestedProcedureID = Field(seg, 20);
  wl.ScheduledStation = Field(seg, 21);
  if (wl.ScheduledStation.empty()) wl.ScheduledStation = Field(seg, 10);
  wl.Modality = Field(seg, 24);
  wl.SPSDescription = ComponentOrWhole(Field(seg, 44), 2);
  if (wl.SPSDescription.empty()) wl.SPSDescription = ComponentOrWhole(Field(seg, 4), 2);
}

// Fills what the order left empty. The order matters: the generated Study
// Instance UID is built from the defaulted date and time.
void ApplyDefaults(WorklistDB& wl) {
  if (wl.SPSID.empty()) wl.SPSID = wl.AccessionNumber;
  if (wl.RequestedProcedureID.empty()) wl.RequestedProcedureID = wl.AccessionNumber;
  if (wl.ScheduledStation.empty()) wl.ScheduledStation = "UNKNOWN";
  if (wl.SPSDate.empty()) wl.SPSDate = Stamp("%Y%m%d");
  if (wl.SPSTime.empty()) wl.SPSTime = Stamp("%H%M%S");
  if (wl.StudyInstanceUID.empty())
    wl.StudyInstanceUID = CreateStudyUID(wl.PatientID, wl.AccessionNumber, wl.SPSDate, wl.SPSTime);
  if (wl.SPSStatus.empty()) wl.SPSStatus = "SCHEDULED";
}

bool IsOrderControl(const std::string& code) { return code == "NW" || code == "XO" || code == "CA"; }

// Writes one order whose group has ended; returns the action's result, or
// `previous` when nothing was written.
int WriteOrder(SQLdb& db, WorklistDB& wl, const std::string& orderControl, int previous) {
  if (wl.AccessionNumber.empty()) {
    WriteLog("ERROR, ParseORM, AccessionNumber is Empty");
    return previous;
  }
  ApplyDefaults(wl);
  if (orderControl == "NW") return wl.Insert(db);
  if (orderControl == "XO") return wl.Update(db);
  if (orderControl == "CA") return wl.Delete(db);
  WriteLog("ERROR, ParseORM, Unknown Command: " + orderControl);
  return previous;
}

}  // namespace

int WriteOrders(SQLdb& db, const std::string& message) {
  // One record for the whole message: a second order keeps every value of the
  // first that its own segments do not replace.
  WorklistDB wl;
  std::string orderControl;
  bool orderSeen = false;
  // An order is written when its group ends (at the next ORC or the end of
  // the message), so segments after its OBR still belong to it: RIS systems
  // send the ZDS there.
  bool orderPending = false;
  int result = -1;
  for (const std::string& seg : SplitSegments(message)) {
    const std::string name = Piece(seg, "|", 1);
    if (name == "PID") {
      ApplyPID(seg, wl);
    } else if (name == "ZDS") {
      // "1.2.840...^100^Application^DICOM": the UID is component 1.
      wl.StudyInstanceUID = ComponentOrWhole(Field(seg, 1), 1);
    } else if (name == "ORC") {
      if (orderPending) result = WriteOrder(db, wl, orderControl, result);
      orderPending = false;
      orderControl = Field(seg, 1);
      if (IsOrderControl(orderControl)) orderSeen = true;
      ApplyORC(seg, wl);
    } else if (name == "PV1") {
      ApplyPV1(seg, wl);
    } else if (name == "OBR" && orderSeen) {
      ApplyOBR(seg, wl);
      orderSeen = false;
      orderPending = true;
    }
  }
  if (orderPending) result = WriteOrder(db, wl, orderControl, result);
  return result;
}
