#pragma once
// The columns of the Worklist table in table order, each with the field of
// the record that holds it: the one list every statement on the table is
// built from.
#include <array>
#include <string>
#include <utility>

#include "db/worklistdb.h"

namespace tarvelin {

using WorklistField = std::pair<const char*, std::string WorklistDB::*>;

inline constexpr std::array<WorklistField, 22> kWorklistColumns{{
    {"PatientID", &WorklistDB::PatientID},
    {"PatientName", &WorklistDB::PatientName},
    {"PatientBD", &WorklistDB::PatientBD},
    {"PatientSex", &WorklistDB::PatientSex},
    {"ReferringPhysician", &WorklistDB::ReferringPhysician},
    {"AccessionNumber", &WorklistDB::AccessionNumber},
    {"MedicalAlerts", &WorklistDB::MedicalAlerts},
    {"PatientState", &WorklistDB::PatientState},
    {"PatientTransport", &WorklistDB::PatientTransport},
    {"StudyInstanceUID", &WorklistDB::StudyInstanceUID},
    {"RequestedProcedureDescription", &WorklistDB::RequestedProcedureDescription},
    {"Modality", &WorklistDB::Modality},
    {"SPSDate", &WorklistDB::SPSDate},
    {"SPSTime", &WorklistDB::SPSTime},
    {"PerformingPhysician", &WorklistDB::PerformingPhysician},
    {"SPSDescription", &WorklistDB::SPSDescription},
    {"SPSID", &WorklistDB::SPSID},
    {"SPSStatus", &WorklistDB::SPSStatus},
    {"ScheduledStation", &WorklistDB::ScheduledStation},
    {"RequestedProcedureID", &WorklistDB::RequestedProcedureID},
    {"SOPInstanceUID", &WorklistDB::SOPInstanceUID},
    {"RequestedProcedurePriority", &WorklistDB::RequestedProcedurePriority},
}};


// "PatientID, PatientName, ..." in table order.
std::string WorklistColumnList();

}  // namespace tarvelin
