#include "web/entry_fields.h"

#include "service/text.h"
#include "web/date_display.h"

namespace tarvelin {

namespace {
enum class FieldKind { Text, Date };

template <class Record>
struct Field {
  const char* Name;
  std::string Record::*Target;
  FieldKind Kind = FieldKind::Text;
};

// Every name the forms and other systems send, with the alternative
// spellings in use ("ReferringPysician" is the entry form's own).
constexpr Field<WorklistDB> kColumns[] = {
    {"PatientID", &WorklistDB::PatientID},
    {"PatientName", &WorklistDB::PatientName},
    {"PatientBD", &WorklistDB::PatientBD, FieldKind::Date},
    {"PatientSex", &WorklistDB::PatientSex},
    {"MedicalAlerts", &WorklistDB::MedicalAlerts},
    {"Modality", &WorklistDB::Modality},
    {"ReferringPysician", &WorklistDB::ReferringPhysician},
    {"ReferringPhysician", &WorklistDB::ReferringPhysician},
    {"ProcedureDescription", &WorklistDB::SPSDescription},
    {"StudyDescription", &WorklistDB::SPSDescription},
    {"ProcedureCode", &WorklistDB::RequestedProcedureDescription},
    {"ProtocolCode", &WorklistDB::RequestedProcedureDescription},
    {"StartDate", &WorklistDB::SPSDate, FieldKind::Date},
    {"StartTime", &WorklistDB::SPSTime},
    {"AccessionNumber", &WorklistDB::AccessionNumber},
    {"ScheduledStation", &WorklistDB::ScheduledStation},
    {"StationAET", &WorklistDB::ScheduledStation},
    {"RequestedProcedureID", &WorklistDB::RequestedProcedureID},
    {"StudyInstanceUID", &WorklistDB::StudyInstanceUID},
    {"Status", &WorklistDB::SPSStatus},
};

constexpr Field<EntryFields> kFormParts[] = {
    {"LastName", &EntryFields::LastName},
    {"FirstName", &EntryFields::FirstName},
    {"HOUR", &EntryFields::Hour},
    {"MINUTES", &EntryFields::Minutes},
};

// Dates already in the DICOM form are never run through the converter,
// which would garble them.
std::string StoredDate(const std::string& value) {
  return value.find_first_of("-/") == std::string::npos ? value : DisplayDateToDicom(value);
}

template <class Record, std::size_t N>
bool Assign(const Field<Record> (&fields)[N], Record& record, const std::string& name, const std::string& value) {
  for (const auto& field : fields) {
    if (name != field.Name) continue;
    record.*field.Target = field.Kind == FieldKind::Date ? StoredDate(value) : value;
    return true;
  }
  return false;
}
}  // namespace

EntryFields ReadEntryFields(const ParamList& params, bool trimValues) {
  EntryFields fields;
  for (const auto& param : params) {
    const std::string name = ParamName(param);
    const std::string value = trimValues ? Trim(ParamValue(param)) : ParamValue(param);
    if (!Assign(kColumns, fields.Entry, name, value)) Assign(kFormParts, fields, name, value);
  }
  return fields;
}

}  // namespace tarvelin
