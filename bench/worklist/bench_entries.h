#pragma once
// The scheduled entries of a benchmark database: realistic names, several
// modalities and stations, dates spread over a month around today, plus three
// planted groups on dates of their own that give queries with a fixed number
// of matches at every database size.
#include <string>
#include <vector>

namespace tarvelin {

struct BenchEntry {
  std::string PatientID, PatientName, PatientBD, PatientSex, ReferringPhysician;
  std::string AccessionNumber, StudyInstanceUID, RequestedProcedureDescription;
  std::string Modality, SPSDate, SPSTime, PerformingPhysician, SPSDescription, SPSID;
  std::string ScheduledStation, RequestedProcedureID, RequestedProcedurePriority;
};

struct BenchDates {
  std::string Today;     // the typical query's date
  std::string Planted20;   // exactly 20 CT entries
  std::string Planted500;  // exactly 500 entries, any modality
  std::string Planted750;  // exactly 750 entries, any modality
  std::string Empty;       // no entry at all
};

// yyyymmdd of today plus `days`.
std::string DateFromToday(int days);
BenchDates PlantedDates();

// Entries on the planted dates; every database holds at least these.
constexpr int kPlantedEntries = 20 + 500 + 750;

// `count` entries (count >= kPlantedEntries), the same for the same count.
std::vector<BenchEntry> MakeBenchEntries(int count);

}  // namespace tarvelin
