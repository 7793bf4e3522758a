#include "bench_entries.h"

#include <cstdio>
#include <ctime>
#include <random>

namespace tarvelin {

namespace {

const char* const FamilyNames[] = {
    "SMITH", "JOHNSON", "WILLIAMS", "BROWN", "JONES", "GARCIA", "MILLER", "DAVIS", "RODRIGUEZ",
    "MARTINEZ", "HERNANDEZ", "LOPEZ", "GONZALEZ", "WILSON", "ANDERSON", "THOMAS", "TAYLOR", "MOORE",
    "JACKSON", "MARTIN", "LEE", "PEREZ", "THOMPSON", "WHITE", "HARRIS", "SANCHEZ", "CLARK", "RAMIREZ",
    "LEWIS", "ROBINSON", "WALKER", "YOUNG", "ALLEN", "KING", "WRIGHT", "SCOTT", "TORRES", "NGUYEN",
    "HILL", "FLORES", "GREEN", "ADAMS", "NELSON", "BAKER", "HALL", "RIVERA", "CAMPBELL", "MITCHELL",
    "CARTER", "ROBERTS", "MUELLER", "SCHMIDT", "SCHNEIDER", "FISCHER", "WEBER", "MEYER", "WAGNER",
    "BECKER", "SCHULZ", "HOFFMANN", "O'BRIEN", "O'CONNOR", "MCCARTHY", "DUBOIS", "LAMBERT", "ROSSI",
    "RUSSO", "FERRARI", "ESPOSITO", "BIANCHI", "JANSEN", "DE VRIES", "VAN DIJK", "BAKKER", "NOVAK"};
const char* const FemaleNames[] = {"MARY", "PATRICIA", "JENNIFER", "LINDA", "ELIZABETH", "BARBARA",
                                   "SUSAN", "JESSICA", "SARAH", "KAREN", "NANCY", "LISA", "ANNA",
                                   "MARIA", "SOFIA", "EMMA", "JULIA", "LAURA", "CLAIRE", "INGRID"};
const char* const MaleNames[] = {"JAMES", "ROBERT", "JOHN", "MICHAEL", "DAVID", "WILLIAM", "RICHARD",
                                 "JOSEPH", "THOMAS", "CHARLES", "DANIEL", "MATTHEW", "PETER", "PAUL",
                                 "MARCO", "LUCAS", "JAN", "PIERRE", "HANS", "SEAN"};
const char* const Physicians[] = {"HOUSE^GREGORY", "GREY^MEREDITH", "ROSS^DOUG", "CARTER^JOHN",
                                  "QUINN^MICHAELA", "KILDARE^JAMES", "STRANGE^STEPHEN", "WHO^THE"};

struct ModalityPlan {
  const char* Modality;
  int Share;  // percent
  const char* Stations[2];
  const char* Descriptions[3];
};

const ModalityPlan Plans[] = {
    {"CT", 30, {"CT01", "CT02"}, {"CT1^CT Head^L^CT HEAD WO CONTRAST", "CT2^CT Chest^L^CT CHEST W CONTRAST", "CT ABDOMEN PELVIS"}},
    {"MR", 20, {"MR01", "MR02"}, {"MR1^MR Brain^L^MRI BRAIN", "MR2^MR Knee^L^MRI KNEE LEFT", "MRI LUMBAR SPINE"}},
    {"CR", 15, {"CR01", "CR01"}, {"X1^Chest^L^CHEST PA", "X2^Hand", "PELVIS AP"}},
    {"US", 15, {"US01", "US02"}, {"US1^Abdomen^L^US ABDOMEN", "US THYROID", "US2^Obstetric"}},
    {"DX", 10, {"DX01", "DX01"}, {"DX1^Spine^L^SPINE LAT", "DX KNEE", "DX SHOULDER"}},
    {"MG", 10, {"MG01", "MG01"}, {"MG1^Screening^L^MAMMO SCREENING", "MAMMO DIAGNOSTIC", "MG2^Tomo"}},
};

template <typename T, std::size_t N>
const T& Pick(const T (&list)[N], std::mt19937& rng) {
  return list[std::uniform_int_distribution<std::size_t>(0, N - 1)(rng)];
}

std::string Two(int n) {
  char text[4];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

BenchEntry MakeEntry(int index, const std::string& date, const ModalityPlan& plan, std::mt19937& rng) {
  BenchEntry e;
  const bool female = rng() % 2 == 0;
  e.PatientName = std::string(Pick(FamilyNames, rng)) + "^" + (female ? Pick(FemaleNames, rng) : Pick(MaleNames, rng));
  e.PatientSex = female ? "F" : "M";
  e.PatientID = "PID" + std::to_string(100000 + index);
  e.PatientBD = std::to_string(1930 + rng() % 90) + Two(1 + rng() % 12) + Two(1 + rng() % 28);
  e.ReferringPhysician = Pick(Physicians, rng);
  e.PerformingPhysician = Pick(Physicians, rng);
  e.AccessionNumber = "ACC" + std::to_string(1000000 + index);
  e.StudyInstanceUID = "1.2.826.0.1.3680043.9.7133." + std::to_string(1000000 + index);
  e.Modality = plan.Modality;
  e.ScheduledStation = plan.Stations[rng() % 2];
  e.SPSDescription = Pick(plan.Descriptions, rng);
  e.RequestedProcedureDescription = e.SPSDescription;
  e.SPSDate = date;
  e.SPSTime = Two(7 + rng() % 12) + Two((rng() % 4) * 15) + "00";
  e.SPSID = "SPS" + std::to_string(1000000 + index);
  e.RequestedProcedureID = "RP" + std::to_string(1000000 + index);
  e.RequestedProcedurePriority = (rng() % 10 == 0) ? "HIGH" : "ROUTINE";
  return e;
}

const ModalityPlan& PlanByShare(std::mt19937& rng) {
  int roll = static_cast<int>(rng() % 100);
  for (const ModalityPlan& plan : Plans) {
    if (roll < plan.Share) return plan;
    roll -= plan.Share;
  }
  return Plans[0];
}

}  // namespace

std::string DateFromToday(int days) {
  std::time_t t = std::time(nullptr) + static_cast<std::time_t>(days) * 86400;
  std::tm local{};
  localtime_r(&t, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d", &local);
  return text;
}

BenchDates PlantedDates() { return {DateFromToday(0), DateFromToday(40), DateFromToday(41), DateFromToday(42), DateFromToday(60)}; }

std::vector<BenchEntry> MakeBenchEntries(int count) {
  std::mt19937 rng(20240315);
  const BenchDates dates = PlantedDates();
  std::vector<BenchEntry> entries;
  entries.reserve(count);
  int index = 0;
  for (; index < 20; ++index) entries.push_back(MakeEntry(index, dates.Planted20, Plans[0], rng));
  for (; index < 520; ++index) entries.push_back(MakeEntry(index, dates.Planted500, PlanByShare(rng), rng));
  for (; index < kPlantedEntries; ++index) entries.push_back(MakeEntry(index, dates.Planted750, PlanByShare(rng), rng));
  for (; index < count; ++index) {
    const int day = static_cast<int>(rng() % 30) - 15;  // a month around today
    entries.push_back(MakeEntry(index, DateFromToday(day), PlanByShare(rng), rng));
  }
  return entries;
}

}  // namespace tarvelin
