#include "web/entry_request.h"

#include <cstdio>
#include <utility>

#include "dicom/uid.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "web/accession_crc.h"
#include "web/entry_fields.h"
#include "web/sps_counter.h"

namespace tarvelin {

namespace {
constexpr std::pair<std::string WorklistDB::*, const char*> kRequired[] = {
    {&WorklistDB::PatientID, "Patient ID"},     {&WorklistDB::PatientName, "Patient Name"},
    {&WorklistDB::PatientBD, "Patient BirthDate"}, {&WorklistDB::PatientSex, "Patient Sex"},
    {&WorklistDB::Modality, "Modality"},        {&WorklistDB::SPSDate, "Start Date"},
    {&WorklistDB::SPSTime, "Start Time"},
};

constexpr std::size_t kMaxAccessionLength = 16;

// "yymmddhhnn" of the current local time.
std::string MinuteStamp() {
  const std::tm t = LocalTime(Now());
  char text[16];
  std::strftime(text, sizeof text, "%y%m%d%H%M", &t);
  return text;
}
}  // namespace

EntryRequest::EntryRequest(const ParamList& params) {
  EntryFields form = ReadEntryFields(params, false);
  Entry = std::move(form.Entry);
  accessionGiven_ = !Entry.AccessionNumber.empty();
  // A family name alone is a name; a given name alone is not.
  if (Entry.PatientName.empty() && !form.LastName.empty())
    Entry.PatientName = form.FirstName.empty() ? form.LastName : form.LastName + "^" + form.FirstName;
  // Without hour and minutes there is no time to make: "00" would schedule
  // the step at midnight instead of reporting the missing start time.
  if (Entry.SPSTime.empty() && !(form.Hour + form.Minutes).empty()) Entry.SPSTime = form.Hour + form.Minutes + "00";
  if (Entry.SPSStatus.empty()) Entry.SPSStatus = "SCHEDULED";
}

std::string EntryRequest::MissingField() const {
  for (const auto& [field, label] : kRequired)
    if ((Entry.*field).empty()) return label;
  return "";
}

void EntryRequest::GenerateValues(int attempt) {
  if (!accessionGiven_)
    Entry.AccessionNumber =
        MinuteStamp() + std::to_string(AccessionCrc(Entry.PatientName + Entry.PatientBD + Entry.SPSDate +
                                                     Entry.SPSTime + (attempt > 0 ? std::to_string(attempt) : "")));
  Entry.AccessionNumber.resize(Utf8PrefixBytes(Entry.AccessionNumber, kMaxAccessionLength));
  Entry.SPSID = Entry.AccessionNumber + std::to_string(NextSpsCounter());
  Entry.SPSID.resize(Utf8PrefixBytes(Entry.SPSID, kMaxAccessionLength));
  if (Entry.RequestedProcedureID.empty()) Entry.RequestedProcedureID = Entry.SPSID;
  if (Entry.ScheduledStation.empty()) Entry.ScheduledStation = "UNKNOWN";
  if (Entry.MedicalAlerts.empty()) Entry.MedicalAlerts = "HIGH";
  if (Entry.StudyInstanceUID.empty())
    Entry.StudyInstanceUID = NewStudyUID();
  Entry.StudyInstanceUID.resize(std::min<std::size_t>(Entry.StudyInstanceUID.size(), 64));
}

}  // namespace tarvelin
