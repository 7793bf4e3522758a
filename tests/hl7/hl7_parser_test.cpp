#include "hl7/hl7_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>
#include <vector>

#include "db/sqldb.h"
#include "dicom/uid.h"
#include "hl7/hl7_test_support.h"
#include "platform/temp_folder.h"
#include "service/audit_actor.h"
#include "service/audit_trail.h"
#include "service/settings.h"
#include "support/pinned_clock.h"

namespace tarvelin {

namespace {

// The acknowledgement code of a message, and the ERR texts after it.
std::string Ack(const std::string& message) {
  const OrderAnswer answer = ProcessHL7(message);
  std::string text = answer.ack == AckCode::AA ? "AA" : answer.ack == AckCode::AE ? "AE" : "AR";
  for (const OrderRefusal& r : answer.refused) text += "|" + std::to_string(r.order) + " " + r.reason;
  return text;
}

class HL7Parser : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(instance.Ready()); }
  InstanceFolder instance;
  PinnedClock pinned{2024, 3, 5, 14, 30, 15};
};

TEST_F(HL7Parser, NewOrderGetsEveryDefaultAndADuplicateChangesNothing) {
  const std::string message = TestOrder{}.Text();
  ASSERT_EQ(Ack(message), "AA");
  const std::string uid = instance.Column("A100", "StudyInstanceUID");
  EXPECT_EQ(uid.rfind(UIDRoot() + ".1.", 0), 0u);
  EXPECT_LE(uid.size(), 64u);
  // Columns in table order: patient, referring, accession, alerts, state,
  // transport, study UID, requested description, modality, date, time,
  // performing, description, SPS ID, status, station, requested ID, SOP UID, priority.
  const std::string expected = "12345|DOE^JOHN|19700102|||A100||||" + uid +
                               "||CT|20240305|143015|||A100|SCHEDULED|UNKNOWN|A100||";
  EXPECT_EQ(instance.Row("A100"), expected);

  // The same order again (a lost acknowledgement) is accepted and changes nothing.
  EXPECT_EQ(Ack(message), "AA");
  EXPECT_EQ(instance.Row("A100"), expected);
  // The accession number of another procedure is refused, never merged.
  TestOrder again;
  again.modality = "MR";
  EXPECT_EQ(Ack(again.Text()),
            "AE|1 accession number A100 is already used for another patient or procedure");
  EXPECT_EQ(instance.Row("A100"), expected);
  EXPECT_NE(instance.Log().find("ERROR, ParseORM, NW refused: AccessionNumber=A100 is used by patient 12345"),
            std::string::npos);
}

TEST_F(HL7Parser, StartDateAndTimeAreStrictHL7Timestamps) {
  struct Case {
    int field;  // 7: ORC-7.4, else the OBR field
    std::string value;
    std::string stored;  // date and time, "" when refused
  };
  const Case cases[] = {
      {7, "20240310093045", "20240310 093045"},
      {7, "202403100930", "20240310 0930"},
      {7, "20240310", "20240310 143015"},  // no time: the current one
      {7, "20240310093045.12+0100", "20240310 093045.12"},
      {7, "20240229", "20240229 143015"},
      {7, "2027-01-08T09:30", ""},
      {7, "2024031009", ""},
      {7, "20240230", ""},
      {7, "202403102460", ""},
      {7, "20240310093045+01", ""},
      {27, "^^^202404011015", "20240401 1015"},
      {27, "^^^2024040", ""},
      {6, "20240401101530", "20240401 101530"},
      {6, "2024-04-01", ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    TestOrder order;
    order.accession = "T" + std::to_string(++n);
    if (c.field == 7) order.orc[7] = "1^once^^" + c.value;
    else order.obr[c.field] = c.value;
    const std::string ack = Ack(order.Text());
    if (c.stored.empty()) {
      EXPECT_EQ(ack.substr(0, 5), "AE|1 ");
      EXPECT_NE(ack.find("is not an HL7 date/time"), std::string::npos) << ack;
      EXPECT_EQ(instance.Row(order.accession), "");
    } else {
      EXPECT_EQ(ack, "AA");
      EXPECT_EQ(instance.Column(order.accession, "SPSDate") + " " + instance.Column(order.accession, "SPSTime"),
                c.stored);
    }
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
  ASSERT_EQ(Ack(text), "AA");
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
  ASSERT_EQ(Ack(text), "AA");
  EXPECT_EQ(instance.Column("B1", "ReferringPhysician"), "JONES");  // PV1-8 first
  EXPECT_EQ(instance.Column("B1", "ScheduledStation"), "CT01");
  EXPECT_EQ(instance.Column("B1", "SPSDescription"), "Chest PA");
}

TEST_F(HL7Parser, ChangeWritesOnlyTheFieldsItCarriesAndCancelRemoves) {
  TestOrder cancelUnknown;
  cancelUnknown.orderControl = "CA";
  cancelUnknown.accession = "NOPE";
  EXPECT_EQ(Ack(cancelUnknown.Text()), "AE|1 no entry with accession number NOPE");
  TestOrder changeUnknown = cancelUnknown;
  changeUnknown.orderControl = "XO";
  EXPECT_EQ(Ack(changeUnknown.Text()), "AE|1 no entry with accession number NOPE");

  TestOrder order;
  order.obr[13] = "ALLERGY";
  order.obr[21] = "CT01";
  order.orc[7] = "^^^20240310093045";
  ASSERT_EQ(Ack(order.Text()), "AA");
  const std::string uid = instance.Column("A100", "StudyInstanceUID");
  TestOrder change;
  change.orderControl = "XO";
  change.modality = "MR";
  change.obr[13] = "\"\"";  // HL7 null: the alert is cleared
  ASSERT_EQ(Ack(change.Text()), "AA");
  EXPECT_EQ(instance.Column("A100", "Modality"), "MR");
  EXPECT_EQ(instance.Column("A100", "MedicalAlerts"), "");
  // What the change does not carry stays: start, station, UID.
  EXPECT_EQ(instance.Column("A100", "SPSDate") + " " + instance.Column("A100", "SPSTime"), "20240310 093045");
  EXPECT_EQ(instance.Column("A100", "ScheduledStation"), "CT01");
  EXPECT_EQ(instance.Column("A100", "StudyInstanceUID"), uid);

  TestOrder cancel;
  cancel.orderControl = "CA";
  EXPECT_EQ(Ack(cancel.Text()), "AA");
  EXPECT_EQ(instance.Row("A100"), "");
}

TEST_F(HL7Parser, EveryOrderOfAMessageIsItsOwn) {
  const std::string text = MshSegment("ORM^O01", "M2") + "\r" +
                           Segment("PID", {{3, "555"}, {5, "ROE^RICHARD"}}) + "\r" +
                           Segment("ORC", {{1, "NW"}, {7, "^^^20240310080000"}}) + "\r" +
                           Segment("OBR", {{18, "ACC1"}, {24, "CT"}, {21, "CT01"}}) + "\r" +
                           Segment("ORC", {{1, "NW"}}) + "\r" +
                           Segment("OBR", {{18, "ACC2"}, {24, "MR"}, {20, "RP2"}}) + "\r";
  ASSERT_EQ(Ack(text), "AA");
  EXPECT_EQ(instance.Column("ACC1", "Modality"), "CT");
  EXPECT_EQ(instance.Column("ACC2", "PatientName"), "ROE^RICHARD");  // the patient is shared
  EXPECT_EQ(instance.Column("ACC2", "Modality"), "MR");
  EXPECT_EQ(instance.Column("ACC2", "SPSDate") + instance.Column("ACC2", "SPSTime"), "20240305143015");
  EXPECT_EQ(instance.Column("ACC2", "SPSID"), "ACC2");
  EXPECT_EQ(instance.Column("ACC2", "RequestedProcedureID"), "RP2");
  EXPECT_EQ(instance.Column("ACC2", "ScheduledStation"), "UNKNOWN");
  EXPECT_NE(instance.Column("ACC2", "StudyInstanceUID"), instance.Column("ACC1", "StudyInstanceUID"));
}

TEST_F(HL7Parser, ZdsAfterTheObrBelongsToItsOrder) {
  // IHE Scheduled Workflow shape: ZDS follows the OBR, ZDS-1 has components.
  const std::string text = MshSegment("ORM^O01", "Z1") + "\r" + Segment("PID", {{3, "555"}, {5, "ROE^RICHARD"}}) +
                           "\r" + Segment("ORC", {{1, "NW"}}) + "\r" + Segment("OBR", {{18, "Z1"}, {24, "CT"}}) +
                           "\r" + Segment("ZDS", {{1, "1.2.840.99.1^100^Application^DICOM"}}) + "\r" +
                           Segment("ORC", {{1, "NW"}}) + "\r" + Segment("OBR", {{18, "Z2"}, {24, "MR"}}) + "\r" +
                           Segment("ZDS", {{1, "1.2.840.99.2"}}) + "\r";
  ASSERT_EQ(Ack(text), "AA");
  EXPECT_EQ(instance.Column("Z1", "StudyInstanceUID"), "1.2.840.99.1");
  EXPECT_EQ(instance.Column("Z2", "StudyInstanceUID"), "1.2.840.99.2");
  EXPECT_EQ(instance.Column("Z2", "Modality"), "MR");
}

TEST_F(HL7Parser, OneRefusedOrderStoresNothingOfItsMessage) {
  struct Case {
    std::string name;
    std::string orders;  // the segments after MSH and PID
    std::string ack;
  };
  const Case cases[] = {
      {"no accession",
       Segment("ORC", {{1, "NW"}}) + "\r" + Segment("OBR", {{24, "CT"}}) + "\r" + Segment("ORC", {{1, "NW"}}) + "\r" +
           Segment("OBR", {{18, "R2"}, {24, "CT"}}) + "\r",
       "AE|1 no accession number (OBR-18 or OBR-2)"},
      {"second without modality",
       Segment("ORC", {{1, "NW"}}) + "\r" + Segment("OBR", {{18, "R3"}, {24, "CT"}}) + "\r" +
           Segment("ORC", {{1, "NW"}}) + "\r" + Segment("OBR", {{18, "R4"}}) + "\r",
       "AE|2 no modality (OBR-24)"},
      {"two refused",
       Segment("ORC", {{1, "XO"}}) + "\r" + Segment("OBR", {{18, "R5"}}) + "\r" + Segment("ORC", {{1, "NW"}}) + "\r" +
           Segment("OBR", {{18, "R6"}, {24, "CT"}}) + "\r" + Segment("ORC", {{1, "ZZ"}}) + "\r" +
           Segment("OBR", {{18, "R7"}, {24, "CT"}}) + "\r",
       "AE|1 no entry with accession number R5|3 unknown order control (ORC-1): ZZ"},
      {"status change without a status", Segment("ORC", {{1, "SC"}}) + "\r" + Segment("OBR", {{18, "R8"}}) + "\r",
       "AE|1 order status (ORC-5) not understood: "},
      {"ORC without OBR",
       Segment("ORC", {{1, "NW"}}) + "\r" + Segment("ORC", {{1, "NW"}}) + "\r" + Segment("OBR", {{18, "R9"}, {24, "CT"}}) + "\r",
       "AE|1 ORC without an OBR"},
      {"bad study UID",
       Segment("ORC", {{1, "NW"}}) + "\r" + Segment("OBR", {{18, "R10"}, {24, "CT"}}) + "\r" + Segment("ZDS", {{1, "1.2.03"}}) + "\r",
       "AE|1 ZDS-1 is not a DICOM UID: 1.2.03"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text =
        MshSegment("ORM^O01", "R") + "\r" + Segment("PID", {{3, "556"}, {5, "POE^EDGAR"}}) + "\r" + c.orders;
    EXPECT_EQ(Ack(text), c.ack);
    EXPECT_EQ(QueryDatabase(instance.Storage(), "SELECT COUNT(*) FROM Worklist"), "0\n");
  }
  EXPECT_NE(instance.Log().find("ERROR, ParseORM, Unknown Command: ZZ"), std::string::npos);
}

TEST_F(HL7Parser, OtherMessageTypesNeverOpenTheDatabase) {
  SQLITE_ONLY("removes the database file");
  std::filesystem::remove(DatabasePath("quillat"));
  const std::string adt = MshSegment("ADT^A01", "ADT1") + "\r" + Segment("PID", {{3, "1"}}) + "\r";
  EXPECT_EQ(Ack(adt), "AR|0 only ORM^O01 order messages are accepted");
  EXPECT_EQ(instance.Log(), "");
  EXPECT_EQ(Ack(TestOrder{}.Text()), "AR|0 the database could not be opened");
  EXPECT_NE(instance.Log().find("ERROR, SQLdb(), "), std::string::npos);
  EXPECT_NE(instance.Log().find("EROR, ParseORM, couldn't open database"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(DatabasePath("quillat")));
}

TEST_F(HL7Parser, OrdersSentAtOnceEachGetTheirOwnResult) {
  // Sixteen threads at once, twice each: the same new order (one insert, the
  // rest resends that change nothing) and an order of their own.
  constexpr int kThreads = 16;
  std::vector<std::string> shared(kThreads), own(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&, i] {
      TestOrder same;
      same.accession = "SAME";
      shared[i] = Ack(same.Text());
      TestOrder mine;
      mine.accession = "OWN" + std::to_string(i);
      mine.modality = "M" + std::to_string(i);
      own[i] = Ack(mine.Text());
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(std::count(shared.begin(), shared.end(), "AA"), kThreads);
  EXPECT_EQ(QueryDatabase(instance.Storage(), "SELECT COUNT(*) FROM Worklist WHERE AccessionNumber='SAME'"), "1\n");
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(own[i], "AA");
    EXPECT_EQ(instance.Column("OWN" + std::to_string(i), "Modality"), "M" + std::to_string(i));
  }
}

TEST_F(HL7Parser, SegmentsEndWithCrLfOrCrLf) {
  std::string text = TestOrder{}.Text();
  for (auto at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 2)) text.insert(at + 1, "\n");
  ASSERT_EQ(Ack(text), "AA");
  EXPECT_EQ(instance.Column("A100", "PatientID"), "12345");
  TestOrder lf;
  lf.accession = "LF1";
  std::string lfText = lf.Text();
  for (char& c : lfText)
    if (c == '\r') c = '\n';
  ASSERT_EQ(Ack(lfText), "AA");
  EXPECT_EQ(instance.Column("LF1", "Modality"), "CT");
}

}  // namespace

// Each committed order is one audit line naming its sender; a resend that
// changes nothing and a refused message leave none.
TEST_F(HL7Parser, CommittedOrdersReachTheAuditTrail) {
  ServerSettings.LogFolder = instance.Home();
  const AuditActorScope sender({"HL7 sender", "RIS^HOSP", "10.0.0.9"});
  const auto order = [](const std::string& control, const std::string& orderStatus, const std::string& modality) {
    TestOrder o;
    o.orderControl = control;
    o.modality = modality;
    if (!orderStatus.empty()) o.orc[5] = orderStatus;
    return o.Text();
  };
  const std::string head = R"("actorType":"HL7 sender","actor":"RIS^HOSP","address":"10.0.0.9","objectType":"accession","object":"A100")";
  const struct {
    std::string message, ack, line;  // line: what the new audit line holds after "time"; "" for none
  } cases[] = {
      {order("NW", "", "CT"), "AA", R"("event":"hl7-order","action":"C","outcome":"success",)" + head + R"(,"detail":"ORC-1=NW, created"})"},
      {order("NW", "", "CT"), "AA", ""},
      {order("NW", "", "MR"), "AE|1 accession number A100 is already used for another patient or procedure", ""},
      {order("XO", "", "CT"), "AA", R"("event":"hl7-order","action":"U","outcome":"success",)" + head + R"(,"detail":"ORC-1=XO, updated"})"},
      {order("SC", "IP", "CT"), "AA", R"("action":"U","outcome":"success",)" + head +
           R"(,"changes":[{"field":"SPSStatus","old":"SCHEDULED","new":"IN PROGRESS"}],"detail":"ORC-1=SC, IN PROGRESS"})"},
      {order("DC", "", "CT"), "AA", R"("action":"U","outcome":"success",)" + head +
           R"(,"changes":[{"field":"SPSStatus","old":"IN PROGRESS","new":"DISCONTINUED"}],"detail":"ORC-1=DC, DISCONTINUED"})"},
  };
  std::size_t seen = 0;
  for (const auto& c : cases) {
    EXPECT_EQ(Ack(c.message), c.ack);
    const std::string audit = ReadWholeFile(DailyAuditPath());
    const std::string added = audit.substr(std::min(seen, audit.size()));
    seen = audit.size();
    if (c.line.empty()) {
      EXPECT_EQ(added, "") << c.message;
    } else {
      EXPECT_NE(added.find(c.line + "\n"), std::string::npos) << added;
      EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << added;
    }
  }
  ServerSettings.LogFolder.clear();
}

}  // namespace tarvelin
