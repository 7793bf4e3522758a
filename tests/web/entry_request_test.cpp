// What "wlprocess" makes of its parameters before anything is stored.
#include "web/entry_request.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "dicom/uid.h"
#include "support/pinned_clock.h"
#include "web/accession_crc.h"
#include "web/sps_counter.h"

namespace tarvelin {

namespace {
// The add form as a browser sends it unchanged, then `extra`.
ParamList AddForm(ParamList extra = {}) {
  ParamList params = {"PatientID=", "LastName=LAST", "FirstName=FIRST", "PatientBD=2024-03-15", "PatientSex=M",
                      "Modality=CT", "StartDate=2024-03-15", "HOUR=14", "MINUTES=30", "Submit=Submit"};
  params.insert(params.end(), extra.begin(), extra.end());
  return params;
}

TEST(EntryRequest, AccessionCrcIsZlibsCrc32AndTheStepCounterNeverLosesAnAdvance) {
  EXPECT_EQ(AccessionCrc("123456789"), 0xCBF43926u);
  EXPECT_EQ(AccessionCrc(""), 0u);
  // 8 x 1000 advances from any start give every value 0..99 exactly 80 times.
  std::vector<int> count(100);
  std::mutex lock;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      std::vector<int> mine;
      for (int i = 0; i < 1000; ++i) mine.push_back(NextSpsCounter());
      std::lock_guard<std::mutex> hold(lock);
      for (int v : mine) ++count.at(v);
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(count, std::vector<int>(100, 80));
}

TEST(EntryRequest, NamesDefaultsAndRequiredFields) {
  const struct {
    ParamList params;
    std::string WorklistDB::*field;
    std::string value, missing;
  } cases[] = {
      {AddForm(), &WorklistDB::PatientName, "LAST^FIRST", "Patient ID"},
      {AddForm({"PatientID=7"}), &WorklistDB::SPSTime, "143000", ""},
      {AddForm({"PatientID=7", "LastName="}), &WorklistDB::PatientName, "", "Patient Name"},
      {AddForm({"PatientID=7", "FirstName="}), &WorklistDB::PatientName, "LAST", ""},  // a family name alone
      {AddForm({"PatientID=7", "PatientSex="}), &WorklistDB::SPSStatus, "SCHEDULED", "Patient Sex"},
      {AddForm({"PatientID=7", "HOUR=", "MINUTES="}), &WorklistDB::SPSTime, "", "Start Time"},
      {{"PatientBD=19700101"}, &WorklistDB::PatientBD, "19700101", "Patient ID"},
      {{"PatientBD=1970-01-02"}, &WorklistDB::PatientBD, "19700102", "Patient ID"},
      {{"StationAET=CT01"}, &WorklistDB::ScheduledStation, "CT01", "Patient ID"},
      {{"ProtocolCode=P123"}, &WorklistDB::RequestedProcedureDescription, "P123", "Patient ID"},
      {{"StudyDescription=A=B"}, &WorklistDB::SPSDescription, "A=B", "Patient ID"},
      {{"ReferringPysician=DR", "Modality=CT", "Modality=MR"}, &WorklistDB::Modality, "MR", "Patient ID"},
  };
  for (const auto& c : cases) {
    const EntryRequest r(c.params);
    EXPECT_EQ(r.Entry.*c.field, c.value) << c.params.back();
    EXPECT_EQ(r.MissingField(), c.missing) << c.params.back();
  }
}

TEST(EntryRequest, GeneratedValuesAtAPinnedMinute) {
  const PinnedClock clock(2024, 3, 15, 14, 30, 59);
  EntryRequest first(AddForm({"PatientID=7"}));
  first.GenerateValues();
  const std::string crc = std::to_string(AccessionCrc("LAST^FIRST" "20240315" "20240315" "143000"));
  EXPECT_EQ(first.Entry.AccessionNumber, ("2403151430" + crc).substr(0, 16));
  EXPECT_EQ(first.Entry.SPSID, first.Entry.AccessionNumber);  // the counter digits are cut off
  EXPECT_EQ(first.Entry.RequestedProcedureID, first.Entry.SPSID);
  EXPECT_EQ(first.Entry.ScheduledStation + "|" + first.Entry.MedicalAlerts, "UNKNOWN|HIGH");
  EXPECT_EQ(first.Entry.StudyInstanceUID.rfind(UIDRoot() + ".1.", 0), 0u);
  EntryRequest again(AddForm({"PatientID=7"}));  // same minute, patient and schedule: same number
  again.GenerateValues();
  EXPECT_EQ(again.Entry.AccessionNumber, first.Entry.AccessionNumber);
  EntryRequest retry(AddForm({"PatientID=7"}));  // that number taken: the next attempt makes another
  retry.GenerateValues(1);
  EXPECT_EQ(retry.Entry.AccessionNumber,
            ("2403151430" + std::to_string(AccessionCrc("LAST^FIRST" "20240315" "20240315" "143000" "1"))).substr(0, 16));

  EntryRequest given(AddForm({"PatientID=7", "AccessionNumber=ABCDEFGHIJKLMNOPQR", "StudyInstanceUID=1.2.3"}));
  given.GenerateValues();
  EXPECT_EQ(given.Entry.AccessionNumber + "|" + given.Entry.StudyInstanceUID, "ABCDEFGHIJKLMNOP|1.2.3");
  while (NextSpsCounter() != 98) {
  }
  for (const char* expected : {"A199", "A10", "A11"}) {
    EntryRequest r(AddForm({"PatientID=7", "AccessionNumber=A1"}));
    r.GenerateValues();
    EXPECT_EQ(r.Entry.SPSID, expected);
  }
}
}  // namespace

}  // namespace tarvelin
