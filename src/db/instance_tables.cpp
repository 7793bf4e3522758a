#include "db/instance_tables.h"

namespace tarvelin {

const std::vector<InstanceTable>& InstanceTables() {
  static const std::vector<InstanceTable> tables = {
      {"Worklist",
       {{"AccessionNumber"}},
       {{"PatientID"}, {"PatientName"}, {"PatientBD"}, {"PatientSex"}, {"ReferringPhysician"}, {"MedicalAlerts"},
        {"PatientState"}, {"PatientTransport"}, {"StudyInstanceUID"}, {"RequestedProcedureDescription"},
        {"Modality"}, {"SPSDate"}, {"SPSTime"}, {"PerformingPhysician"}, {"SPSDescription"}, {"SPSID"},
        {"SPSStatus"}, {"ScheduledStation"}, {"RequestedProcedureID"}, {"SOPInstanceUID"},
        {"RequestedProcedurePriority"}}},
      {"Users", {{"UserName"}}, {{"PassWord"}, {"Rights"}}},
      {"Referrers", {{"Name"}}, {{"Address"}, {"Phone"}, {"Email"}}},
      {"StudyDescription", {{"Code"}}, {{"Modality"}, {"Description"}}, true},
      {"PerformedSteps",
       {{"SOPInstanceUID"}},
       {{"Status"}, {"TransferSyntax"}, {"DataSet", ColumnKind::Bytes}, {"Created"}, {"Updated"}}},
      {"PerformedStepEntries", {{"SOPInstanceUID"}, {"AccessionNumber"}}, {}},
  };
  return tables;
}

}  // namespace tarvelin
