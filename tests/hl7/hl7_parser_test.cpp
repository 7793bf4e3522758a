#include "hl7/hl7_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>
#include <vector>

#include "db/sqldb.h"
#include "dicom/uid.h"
#include "hl7/hl7_test_support.h"
#include "support/pinned_clock.h"

namespace {

class HL7Parser : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(instance.Ready()); }
  InstanceFolder instance;
  PinnedClock pinned{2024, 3, 5, 14, 30, 15};
};

TEST_F(HL7Parser, NewOrderGetsEveryDefaultAndADuplicateChangesNothing) {
  const std::string message = TestOrder{}.Text();
  ASSERT_EQ(ProcessHL7(message), 0);
  const std::string uid = CreateUID("123", "12345", "A100", "20240305", "143015", "11");
  ASSERT_FALSE(uid.empty());
  // Columns in table order: patient, referring, accession, alerts, state,
  // transport, study UID, requested description, modality, date, time,
  // performing, description, SPS ID, status, station, requested ID, SOP UID, priority.
  const std::string expected = "12345|DOE^JOHN|19700102|||A100||||" + uid +
                               "||CT|20240305|143015|||A100|SCHEDULED|UNKNOWN|A100||";
  EXPECT_EQ(instance.Row("A100"), expected);

  TestOrder again;
  again.modality = "MR";
  EXPECT_EQ(ProcessHL7(again.Text()), 1);
  EXPECT_EQ(instance.Row("A100"), expected);
  EXPECT_NE(instance.Log().find("WARNING, WorklistDB::Insert, Accession Number already used: A100"),
            std::string::npos);
}

TEST_F(HL7Parser, StartTimeOfOrc7ByItsLength) {
  const std::pair<std::string, std::string> cases[] = {
      {"20240310093045", "093045"}, {"202403100930", "0930"}, {"2024031009", "143015"}, {"20240310", "143015"}};
  int n = 0;
  for (const auto& [start, time] : cases) {
    TestOrder order;
    order.accession = "T" + std::to_string(++n);
    order.orc[7] = "1^once^^" + start;
    ASSERT_EQ(ProcessHL7(order.Text()), 0) << start;
    EXPECT_EQ(instance.Column(order.accession, "SPSDate"), "20240310") << start;
    EXPECT_EQ(instance.Column(order.accession, "SPSTime"), time) << start;
  }
}

TEST_F(HL7Parser, FieldMappingWithItsFallbacks) {
  TestOrder order;
  order.accession = "";  // OBR-18 empty: OBR-2 is the accession number
  order.obr = {{2, "PLACER7"}, {4, "CTHEAD^CT Head plain"}, {6, "20240401101530"}, {10, "COLLECTOR"},
               {12, "INFECTIOUS"}, {13, "O'BRIEN ALLERGY"}, {16, "77^SMITH^ANNA"}, {20, "RP9"}};
  std::string text = order.Text();
  // PV1-8 empty: OBR-16 names the referrer. ZDS comes before the order it belongs to.
  text.insert(text.find("ORC|"), "PV1|||||||\rZDS|1.2.3.4.5\r");
  ASSERT_EQ(ProcessHL7(text), 0);
  EXPECT_EQ(instance.Column("PLACER7", "SPSDescription"), "CT Head plain");
  EXPECT_EQ(instance.Column("PLACER7", "SPSDate") + instance.Column("PLACER7", "SPSTime"), "20240401101530");
  EXPECT_EQ(instance.Column("PLACER7", "ScheduledStation"), "COLLECTOR");
  EXPECT_EQ(instance.Column("PLACER7", "PatientState"), "INFECTIOUS");
  EXPECT_EQ(instance.Column("PLACER7", "MedicalAlerts"), "O'BRIEN ALLERGY");
  EXPECT_EQ(instance.Column("PLACER7", "ReferringPhysician"), "SMITH");
  EXPECT_EQ(instance.Column("PLACER7", "RequestedProcedureID"), "RP9");
  EXPECT_EQ(instance.Column("PLACER7", "SPSID"), "PLACER7");
  EXPECT_EQ(instance.Column("PLACER7", "StudyInstanceUID"), "1.2.3.4.5");

  TestOrder other;
  other.accession = "B1";
  other.obr = {{4, "PLAIN"}, {10, "COLLECTOR"}, {16, "77^SMITH"}, {21, "CT01"}, {44, "P1^Chest PA"}};
  text = other.Text();
  text.insert(text.find("ORC|"), "PV1||||||||1^JONES^TOM\r");
  ASSERT_EQ(ProcessHL7(text), 0);
  EXPECT_EQ(instance.Column("B1", "ReferringPhysician"), "JONES");  // PV1-8 first
  EXPECT_EQ(instance.Column("B1", "ScheduledStation"), "CT01");
  EXPECT_EQ(instance.Column("B1", "SPSDescription"), "Chest PA");
}

TEST_F(HL7Parser, ChangeWritesOnlyFilledFieldsAndCancelRemoves) {
  TestOrder cancelUnknown;
  cancelUnknown.orderControl = "CA";
  cancelUnknown.accession = "NOPE";
  EXPECT_EQ(ProcessHL7(cancelUnknown.Text()), 2);
  TestOrder changeUnknown = cancelUnknown;
  changeUnknown.orderControl = "XO";
  EXPECT_EQ(ProcessHL7(changeUnknown.Text()), 3);

  TestOrder order;
  order.obr[13] = "ALLERGY";
  order.orc[7] = "^^^20240310093045";
  ASSERT_EQ(ProcessHL7(order.Text()), 0);
  TestOrder change;
  change.orderControl = "XO";
  change.modality = "MR";
  ASSERT_EQ(ProcessHL7(change.Text()), 0);
  EXPECT_EQ(instance.Column("A100", "Modality"), "MR");
  EXPECT_EQ(instance.Column("A100", "MedicalAlerts"), "ALLERGY");
  // Without a start time the defaults apply to the change too.
  EXPECT_EQ(instance.Column("A100", "SPSDate") + " " + instance.Column("A100", "SPSTime"), "20240305 143015");

  TestOrder cancel;
  cancel.orderControl = "CA";
  EXPECT_EQ(ProcessHL7(cancel.Text()), 0);
  EXPECT_EQ(instance.Row("A100"), "");
}

TEST_F(HL7Parser, SecondOrderOfAMessageKeepsTheFirstOrdersValues) {
  const std::string text = MshSegment("ORM^O01", "M2") + "\r" +
                           Segment("PID", {{3, "555"}, {5, "ROE^RICHARD"}}) + "\r" +
                           Segment("ORC", {{1, "NW"}, {7, "^^^20240310080000"}}) + "\r" +
                           Segment("OBR", {{18, "ACC1"}, {24, "CT"}, {21, "CT01"}}) + "\r" +
                           Segment("ORC", {{1, "NW"}}) + "\r" +
                           Segment("OBR", {{18, "ACC2"}, {24, "MR"}, {20, "RP2"}}) + "\r";
  ASSERT_EQ(ProcessHL7(text), 0);
  EXPECT_EQ(instance.Column("ACC1", "Modality"), "CT");
  EXPECT_EQ(instance.Column("ACC2", "PatientName"), "ROE^RICHARD");
  EXPECT_EQ(instance.Column("ACC2", "Modality"), "MR");
  EXPECT_EQ(instance.Column("ACC2", "SPSDate") + instance.Column("ACC2", "SPSTime"), "20240310080000");
  EXPECT_EQ(instance.Column("ACC2", "SPSID"), "ACC1");
  EXPECT_EQ(instance.Column("ACC2", "RequestedProcedureID"), "RP2");
  EXPECT_EQ(instance.Column("ACC2", "ScheduledStation"), "UNKNOWN");
  EXPECT_EQ(instance.Column("ACC2", "StudyInstanceUID"), instance.Column("ACC1", "StudyInstanceUID"));
}

TEST_F(HL7Parser, ZdsAfterTheObrBelongsToItsOrder) {
  // IHE Scheduled Workflow shape: ZDS follows the OBR, ZDS-1 has components.
  const std::string text = MshSegment("ORM^O01", "Z1") + "\r" + Segment("PID", {{3, "555"}, {5, "ROE^RICHARD"}}) +
                           "\r" + Segment("ORC", {{1, "NW"}}) + "\r" + Segment("OBR", {{18, "Z1"}, {24, "CT"}}) +
                           "\r" + Segment("ZDS", {{1, "1.2.840.99.1^100^Application^DICOM"}}) + "\r" +
                           Segment("ORC", {{1, "NW"}}) + "\r" + Segment("OBR", {{18, "Z2"}, {24, "MR"}}) + "\r" +
                           Segment("ZDS", {{1, "1.2.840.99.2"}}) + "\r";
  ASSERT_EQ(ProcessHL7(text), 0);
  EXPECT_EQ(instance.Column("Z1", "StudyInstanceUID"), "1.2.840.99.1");
  EXPECT_EQ(instance.Column("Z2", "StudyInstanceUID"), "1.2.840.99.2");
  EXPECT_EQ(instance.Column("Z2", "Modality"), "MR");

  // The group of a refused order ends at the next ORC too: the following
  // order is still written, with its own ZDS.
  const std::string refused = MshSegment("ORM^O01", "Z3") + "\r" + Segment("PID", {{3, "556"}, {5, "POE^EDGAR"}}) + "\r" +
                              Segment("ORC", {{1, "NW"}}) + "\r" + Segment("OBR", {{24, "CT"}}) + "\r" +
                              Segment("ZDS", {{1, "1.2.840.99.3^100^Application^DICOM"}}) + "\r" +
                              Segment("ORC", {{1, "NW"}}) + "\r" + Segment("OBR", {{18, "Z4"}, {24, "CT"}}) + "\r" +
                              Segment("ZDS", {{1, "1.2.840.99.4^100^Application^DICOM"}}) + "\r";
  ASSERT_EQ(ProcessHL7(refused), 0);
  EXPECT_NE(instance.Log().find("ERROR, ParseORM, AccessionNumber is Empty"), std::string::npos);
  EXPECT_EQ(instance.Column("Z4", "StudyInstanceUID"), "1.2.840.99.4");
}

TEST_F(HL7Parser, OrdersThatWriteNothing) {
  TestOrder other;
  other.orderControl = "SC";
  EXPECT_EQ(ProcessHL7(other.Text()), -1);
  EXPECT_EQ(instance.Log(), "");  // an order control it does not handle is no error

  TestOrder noAccession;
  noAccession.accession = "";
  EXPECT_EQ(ProcessHL7(noAccession.Text()), -1);
  EXPECT_NE(instance.Log().find("ERROR, ParseORM, AccessionNumber is Empty"), std::string::npos);

  // A code change after an accepted one reaches the OBR and is refused.
  std::string text = TestOrder{}.Text();
  text.insert(text.find("OBR|"), "ORC|SC\r");
  EXPECT_EQ(ProcessHL7(text), -1);
  EXPECT_NE(instance.Log().find("ERROR, ParseORM, Unknown Command: SC"), std::string::npos);
  EXPECT_EQ(instance.Row("A100"), "");
}

TEST_F(HL7Parser, OtherMessageTypesNeverOpenTheDatabase) {
  std::filesystem::remove(DatabasePath("quillat"));
  const std::string adt = MshSegment("ADT^A01", "ADT1") + "\r" + Segment("PID", {{3, "1"}}) + "\r";
  EXPECT_EQ(ProcessHL7(adt), -1);
  EXPECT_EQ(instance.Log(), "");
  EXPECT_EQ(ProcessHL7(TestOrder{}.Text()), -1);
  EXPECT_NE(instance.Log().find("ERROR, SQLdb(), "), std::string::npos);
  EXPECT_NE(instance.Log().find("EROR, ParseORM, couldn't open database"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(DatabasePath("quillat")));
}

TEST_F(HL7Parser, OrdersSentAtOnceEachGetTheirOwnResult) {
  // Sixteen threads at once, twice each: the same new order (one insert, the
  // rest duplicates) and an order of their own.
  constexpr int kThreads = 16;
  std::vector<int> shared(kThreads), own(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] {
      TestOrder same;
      same.accession = "SAME";
      shared[i] = ProcessHL7(same.Text());
      TestOrder mine;
      mine.accession = "OWN" + std::to_string(i);
      mine.modality = "M" + std::to_string(i);
      own[i] = ProcessHL7(mine.Text());
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(std::count(shared.begin(), shared.end(), 0), 1);
  EXPECT_EQ(std::count(shared.begin(), shared.end(), 1), kThreads - 1);
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(own[i], 0);
    EXPECT_EQ(instance.Column("OWN" + std::to_string(i), "Modality"), "M" + std::to_string(i));
  }
}

TEST_F(HL7Parser, SegmentsEndWithCrLfOrCrLf) {
  std::string text = TestOrder{}.Text();
  for (auto at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 2)) text.insert(at + 1, "\n");
  ASSERT_EQ(ProcessHL7(text), 0);
  EXPECT_EQ(instance.Column("A100", "PatientID"), "12345");
  TestOrder lf;
  lf.accession = "LF1";
  std::string lfText = lf.Text();
  for (char& c : lfText)
    if (c == '\r') c = '\n';
  ASSERT_EQ(ProcessHL7(lfText), 0);
  EXPECT_EQ(instance.Column("LF1", "Modality"), "CT");
}

}  // namespace
