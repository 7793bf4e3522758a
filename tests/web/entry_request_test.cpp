// What "wlprocess" makes of its parameters before anything is stored.
#include "web/entry_request.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "dicom/uid.h"
#include "support/pinned_clock.h"
#include "web/accession_crc.h"
#include "web/sps_counter.h"

using ::testing::StartsWith;

namespace {
// The add form as a browser sends it unchanged, with `extra` pairs after it.
std::vector<std::string> AddForm(std::vector<std::string> extra = {}) {
  std::vector<std::string> params = {"PatientID=",  "LastName=LAST", "FirstName=FIRST", "PatientBD=2024-03-15",
                                     "PatientSex=M", "Modality=CT",  "ReferringPysician=", "ProcedureDescription=",
                                     "StartDate=2024-03-15", "HOUR=14", "MINUTES=30", "Status=SCHEDULED",
                                     "Submit=Submit"};
  params.insert(params.end(), extra.begin(), extra.end());
  return params;
}

TEST(AccessionCrc, IsTheStandardCrc32) {
  EXPECT_EQ(AccessionCrc("123456789"), 0xCBF43926u);
  EXPECT_EQ(AccessionCrc(""), 0u);
  EXPECT_EQ(AccessionCrc(std::string("\xFF\x00\x80", 3)), AccessionCrc(std::string("\xFF\x00\x80", 3)));
}

TEST(SpsCounter, ConcurrentAdvancesAreNeverLost) {
  // 8 x 1000 advances from any start: every value 0..99 comes back exactly 80
  // times only when no two callers ever got the same advance.
  std::vector<std::vector<int>> seen(8);
  std::vector<std::thread> threads;
  for (auto& mine : seen)
    threads.emplace_back([&mine] {
      for (int i = 0; i < 1000; ++i) mine.push_back(NextSpsCounter());
    });
  for (auto& t : threads) t.join();
  std::vector<int> count(100);
  for (const auto& mine : seen)
    for (int v : mine) ++count.at(v);
  for (int v = 0; v < 100; ++v) EXPECT_EQ(count[v], 80) << v;
}

TEST(EntryRequest, RequiredFieldsAreReportedInOrder) {
  const struct {
    std::vector<std::string> params;
    std::string missing;
  } cases[] = {
      {AddForm(), "Patient ID"},
      {AddForm({"PatientID=7", "LastName="}), "Patient Name"},
      {AddForm({"PatientID=7", "PatientBD="}), "Patient BirthDate"},
      {AddForm({"PatientID=7", "PatientSex="}), "Patient Sex"},
      {AddForm({"PatientID=7", "Modality="}), "Modality"},
      {AddForm({"PatientID=7", "StartDate="}), "Start Date"},
      {{"PatientID=7", "PatientName=A", "PatientBD=1", "PatientSex=F", "Modality=MR", "StartDate=1"}, "Start Time"},
      {AddForm({"PatientID=7"}), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(EntryRequest(c.params).MissingField(), c.missing) << c.missing;
}

TEST(EntryRequest, TheFormsDefaultsMakeLastFirstAndASixDigitTime) {
  const EntryRequest r(AddForm({"PatientID=7"}));
  EXPECT_EQ(r.Entry.PatientName, "LAST^FIRST");
  EXPECT_EQ(r.Entry.PatientBD, "20240315");
  EXPECT_EQ(r.Entry.SPSTime, "143000");
  EXPECT_EQ(r.Entry.SPSStatus, "SCHEDULED");
  EXPECT_EQ(EntryRequest({"LastName=DOE"}).Entry.PatientName, "");  // a last name alone is no name
  EXPECT_EQ(EntryRequest({"PatientName=X^Y", "LastName=A", "FirstName=B"}).Entry.PatientName, "X^Y");
}

TEST(EntryRequest, EveryNameAndAlternativeReachesItsColumn) {
  const struct {
    std::string param;
    std::string WorklistDB::*field;
    std::string stored;
  } cases[] = {
      {"ReferringPysician=DR^WHO", &WorklistDB::ReferringPhysician, "DR^WHO"},
      {"ReferringPhysician=DR^WHO", &WorklistDB::ReferringPhysician, "DR^WHO"},
      {"ProcedureDescription=HEAD", &WorklistDB::SPSDescription, "HEAD"},
      {"StudyDescription=HEAD", &WorklistDB::SPSDescription, "HEAD"},
      {"ProcedureCode=P1", &WorklistDB::RequestedProcedureDescription, "P1"},
      {"ProtocolCode=P123", &WorklistDB::RequestedProcedureDescription, "P123"},
      {"ScheduledStation=CT01", &WorklistDB::ScheduledStation, "CT01"},
      {"StationAET=CT01", &WorklistDB::ScheduledStation, "CT01"},
      {"StudyInstanceUID=1.2.3", &WorklistDB::StudyInstanceUID, "1.2.3"},
      {"MedicalAlerts=LATEX", &WorklistDB::MedicalAlerts, "LATEX"},
      {"StartTime=0915", &WorklistDB::SPSTime, "0915"},
      {"RequestedProcedureID=RP9", &WorklistDB::RequestedProcedureID, "RP9"},
      {"Status=COMPLETED", &WorklistDB::SPSStatus, "COMPLETED"},
      {"PatientBD=19700101", &WorklistDB::PatientBD, "19700101"},
      {"PatientBD=1970-01-02", &WorklistDB::PatientBD, "19700102"},
      {"StartDate=2024-12-31", &WorklistDB::SPSDate, "20241231"},
      {"PatientName=A=B ' <&>", &WorklistDB::PatientName, "A=B ' <&>"},  // cut at the first "=" only
  };
  for (const auto& c : cases) EXPECT_EQ(EntryRequest({c.param}).Entry.*c.field, c.stored) << c.param;
  const EntryRequest later({"Modality=CT", "Modality=MR", "Submit=Submit", "Unknown=1"});
  EXPECT_EQ(later.Entry.Modality, "MR");
}

TEST(EntryRequest, AGeneratedAccessionNumberIsTheMinuteAndAChecksum) {
  const PinnedClock clock(2024, 3, 15, 14, 30, 59);
  EntryRequest first(AddForm({"PatientID=7"}));
  first.GenerateValues();
  const std::string crc = std::to_string(AccessionCrc("LAST^FIRST" "20240315" "20240315" "143000"));
  ASSERT_GE(crc.size(), 6u);
  EXPECT_EQ(first.Entry.AccessionNumber, ("2403151430" + crc).substr(0, 16));
  EXPECT_EQ(first.Entry.SPSID, first.Entry.AccessionNumber);  // the counter digits are cut off
  EXPECT_EQ(first.Entry.RequestedProcedureID, first.Entry.SPSID);
  EXPECT_EQ(first.Entry.ScheduledStation, "UNKNOWN");
  EXPECT_EQ(first.Entry.MedicalAlerts, "HIGH");
  EXPECT_EQ(first.Entry.RequestedProcedurePriority, "");
  EXPECT_EQ(first.Entry.StudyInstanceUID, CreateStudyUID("7", first.Entry.AccessionNumber, "20240315", "143000"));

  EntryRequest again(AddForm({"PatientID=7"}));  // same minute, same patient and schedule
  again.GenerateValues();
  EXPECT_EQ(again.Entry.AccessionNumber, first.Entry.AccessionNumber);
}

TEST(EntryRequest, GivenValuesAreKeptAndTheStepIdCountsOnThroughZero) {
  EntryRequest given(AddForm({"PatientID=7", "AccessionNumber=ABCDEFGHIJKLMNOPQR", "StationAET=CT01",
                              "ProtocolCode=P123", "StudyInstanceUID=1.2.3", "RequestedProcedureID=RP"}));
  given.GenerateValues();
  EXPECT_EQ(given.Entry.AccessionNumber, "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(given.Entry.StudyInstanceUID, "1.2.3");
  EXPECT_EQ(given.Entry.ScheduledStation, "CT01");
  EXPECT_EQ(given.Entry.RequestedProcedureDescription, "P123");
  EXPECT_EQ(given.Entry.RequestedProcedureID, "RP");

  while (NextSpsCounter() != 98) {
  }
  for (const char* expected : {"A199", "A10", "A11"}) {
    EntryRequest r(AddForm({"PatientID=7", "AccessionNumber=A1"}));
    r.GenerateValues();
    EXPECT_EQ(r.Entry.SPSID, expected);
    EXPECT_EQ(r.Entry.RequestedProcedureID, expected);
  }
}
}  // namespace
