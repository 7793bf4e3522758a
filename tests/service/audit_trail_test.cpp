#include "service/audit_trail.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "platform/temp_folder.h"
#include "service/audit_actor.h"
#include "service/audit_line.h"
#include "service/log.h"
#include "service/settings.h"
#include "service/syslog_sender.h"
#include "service/audit_message.h"
#include "support/pinned_clock.h"
#include "support/syslog_collector.h"

namespace tarvelin {

namespace {
class AuditTrailTest : public ::testing::Test {
 protected:
  void SetUp() override { ServerSettings.LogFolder = folder_.Path(); }
  void TearDown() override {
    StopAuditTrail();
    ServerSettings.LogFolder.clear();
    ServerSettings.AuditSyslog.clear();
    ServerSettings.AuditSyslogDicom = false;
    ClearLogTarget();
  }
  TempFolder folder_;
};
}  // namespace

// Whatever bytes a peer sent, each value stays one valid JSON string on one line.
TEST(AuditLineTest, ValuesBecomeSafeJsonStrings) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"DOE^JOHN", "\"DOE^JOHN\""},
      {"say \"hi\" \\ bye", "\"say \\\"hi\\\" \\\\ bye\""},
      {"line\r\n{\"event\":\"forged\"}", "\"line\\u000d\\u000a{\\\"event\\\":\\\"forged\\\"}\""},
      {std::string("nul\0tab\t\x7f", 9), "\"nul\\u0000tab\\u0009\\u007f\""},
      {"M\xC3\xBCller \xD0\x98\xD0\xB2", "\"M\xC3\xBCller \xD0\x98\xD0\xB2\""},   // UTF-8 kept
      {"M\xFCller \x80", "\"M\xC3\xBCller \xE2\x82\xAC\""},                         // Windows-1252 bytes converted
      {"\xC3", "\"\xC3\x83\""},                                                     // a cut sequence is no UTF-8
  };
  for (const auto& c : cases) EXPECT_EQ(JsonString(c.in), c.out) << c.in;
}

TEST(AuditLineTest, OneLineWithActorObjectAndChanges) {
  PinnedClock at(2024, 3, 5, 14, 30, 15);
  AuditEvent event{"entry-edit", AuditAction::Update, true, "ACC1", "accession",
                   {{"PatientName", "DOE^JOHN", "DOE^JANE"}, {"SPSTime", "0930", ""}}, ""};
  const std::string line = AuditLine(event, {"web user", "anna", "10.1.2.3"}, Now());
  const std::string time = Rfc3339Time(Now());
  EXPECT_EQ(time.substr(0, 23), "2024-03-05T14:30:15.000");
  EXPECT_EQ(line, "{\"time\":\"" + time + "\",\"event\":\"entry-edit\",\"action\":\"U\",\"outcome\":\"success\","
                  "\"actorType\":\"web user\",\"actor\":\"anna\",\"address\":\"10.1.2.3\",\"objectType\":\"accession\","
                  "\"object\":\"ACC1\",\"changes\":[{\"field\":\"PatientName\",\"old\":\"DOE^JOHN\",\"new\":\"DOE^JANE\"},"
                  "{\"field\":\"SPSTime\",\"old\":\"0930\",\"new\":\"\"}]}");
  event = {"login-failure", AuditAction::Execute, false, "x", "user", {}, "wrong"};
  EXPECT_NE(AuditLine(event, {}, Now()).find("\"action\":\"E\",\"outcome\":\"failure\""), std::string::npos);
  EXPECT_NE(AuditLine(event, {}, Now()).find(",\"detail\":\"wrong\"}"), std::string::npos);
}

TEST(SyslogSenderTest, Rfc5424HeaderAroundTheMessage) {
  PinnedClock at(2024, 3, 5, 14, 30, 15);
  const std::string time = Rfc3339Time(Now());
  EXPECT_EQ(Rfc5424Message("ward-pc 1", 42, "audit", "{}", Now()),
            "<85>1 " + time + " ward-pc1 tarvelin 42 audit - \xEF\xBB\xBF{}");
  EXPECT_EQ(Rfc5424Message("", 7, "", "x", Now()), "<85>1 " + time + " - tarvelin 7 - - \xEF\xBB\xBFx");
}

TEST(SyslogSenderTest, TargetsThatCannotBeUsed) {
  // No TLS transport is registered in this program.
  for (const std::string target :
       {"tcp:host", "udp:", "udp:no.such.host.invalid", "udp:127.0.0.1:", "tls:", "tls:host:", "tls:127.0.0.1"}) {
    SyslogSender sender;
    std::string error;
    EXPECT_FALSE(sender.Open(target, error)) << target;
    EXPECT_FALSE(error.empty()) << target;
    EXPECT_FALSE(sender.IsOpen());
  }
}

// The file gets every event, in the day's own file, 0640; syslog the same
// text in an RFC 5424 datagram; each thread's events name its own actor.
TEST_F(AuditTrailTest, FileAndSyslogCarryEveryEventWithItsActor) {
  SyslogCollector collector;
  ServerSettings.AuditSyslog = collector.Target();
  StartAuditTrail();
  {
    const AuditActorScope actor({"calling AE", "CT1", "10.0.0.7"});
    WriteAudit({"mpps-set", AuditAction::Update, true, "1.2.3", "mpps", {{"PerformedProcedureStepStatus", "IN PROGRESS", "COMPLETED"}}, ""});
  }
  std::thread other([] {
    const AuditActorScope actor({"HL7 sender", "RIS^HOSP", "10.0.0.9"});
    WriteAudit({"hl7-order", AuditAction::Create, true, "ACC9", "accession", {}, "ORC-1=NW, created"});
  });
  other.join();
  WriteAudit({"housekeeping-status", AuditAction::Update, true, "ACC2", "accession", {}, ""});

  const std::string path = DailyAuditPath();
  const std::string text = ReadWholeFile(path);
  std::vector<std::string> lines;
  for (std::size_t from = 0, end; (end = text.find('\n', from)) != std::string::npos; from = end + 1)
    lines.push_back(text.substr(from, end - from));
  ASSERT_EQ(lines.size(), 3u) << text;
  EXPECT_NE(lines[0].find("\"actorType\":\"calling AE\",\"actor\":\"CT1\",\"address\":\"10.0.0.7\""), std::string::npos);
  EXPECT_NE(lines[1].find("\"actor\":\"RIS^HOSP\",\"address\":\"10.0.0.9\""), std::string::npos);
  EXPECT_NE(lines[2].find("\"actorType\":\"server\",\"actor\":\"\",\"address\":\"\""), std::string::npos);
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  for (const std::string& line : lines) {
    const std::string datagram = collector.Receive();
    ASSERT_EQ(datagram.rfind("<85>1 ", 0), 0u) << datagram;
    const auto bom = datagram.find(" - \xEF\xBB\xBF");
    ASSERT_NE(bom, std::string::npos) << datagram;
    EXPECT_NE(datagram.find(" tarvelin " + std::to_string(getpid()) + " audit - "), std::string::npos);
    EXPECT_EQ(datagram.substr(bom + 6), line);
  }
}

TEST_F(AuditTrailTest, UnusableSyslogTargetIsLoggedAndTheFileStillWritten) {
  SetLogTarget(folder_.Path() + "main.log");
  ServerSettings.AuditSyslog = "udp:no.such.host.invalid";
  StartAuditTrail();
  WriteAudit({"user-delete", AuditAction::Delete, true, "bob", "user", {}, ""});
  EXPECT_NE(ReadWholeFile(folder_.Path() + "main.log").find("ERROR, AuditSyslog udp:no.such.host.invalid cannot be used"),
            std::string::npos);
  EXPECT_NE(ReadWholeFile(DailyAuditPath()).find("\"event\":\"user-delete\",\"action\":\"D\""), std::string::npos);
}

}  // namespace tarvelin

namespace tarvelin {

// Each kind of event as the DICOM audit message an audit repository expects,
// read back by an XML parser: codes, participants and the object touched,
// whatever bytes the values hold.
TEST(DicomAuditMessageTest, EachEventBecomesItsMessage) {
  PinnedClock at(2024, 3, 5, 14, 30, 15);
  const AuditSource source{"WORKLIST", "ward-host"};
  const std::string application =
      "participant WORKLIST alt=AETITLES=WORKLIST requestor=false at=ward-host/1 role=110150:DCM:Application\n";
  const struct {
    AuditEvent event;
    AuditActor actor;
    std::string summary;
  } cases[] = {
      {{"login-failure", AuditAction::Execute, false, "eve", "user", {}, "wrong user name or password\r\n, Page=x"},
       {"web user", "eve<\"&'>", "10.0.0.5"},
       "event 110114:DCM:User Authentication E 4 type=110122:DCM:Login why=wrong user name or password\r\n, Page=x\n"
       "participant eve<\"&'> alt=None requestor=true at=10.0.0.5/2 role=-\n" + application +
           "source WORKLIST@ward-host type=4:DCM:Application Server\n"},
      {{"entry-edit", AuditAction::Update, true, "A&B<1>", "accession", {{"PatientName", "DOE^JOHN", "DOE^JANE"}}, "",
        "P1", "DOE^JANE"},
       {"web user", "anna", "10.1.2.3"},
       "event 110109:DCM:Order Record U 0 type=- why=-\n"
       "participant anna alt=None requestor=true at=10.1.2.3/2 role=-\n" + application +
           "source WORKLIST@ward-host type=4:DCM:Application Server\n"
           "object P1 type=1/1 id=2:RFC-3881:Patient Number name=DOE^JANE accession=A&B<1> mpps=- "
           "about=PatientName: DOE^JOHN -> DOE^JANE\n"},
      {{"mpps-set", AuditAction::Update, true, "1.2.3", "mpps", {}, "", "P2", "M\xFCller\x01^A"},
       {"calling AE", "CT1", "10.0.0.7"},
       "event 110111:DCM:Procedure Record U 0 type=- why=-\n"
       "participant CT1 alt=AETITLES=CT1 requestor=true at=10.0.0.7/2 role=110153:DCM:Source Role ID\n" + application +
           "source WORKLIST@ward-host type=4:DCM:Application Server\n"
           "object P2 type=1/1 id=2:RFC-3881:Patient Number name=M\xC3\xBCller\xEF\xBF\xBD^A accession=- "
           "mpps=1.2.3 about=-\n"},
      {{"user-delete", AuditAction::Delete, true, "bob", "user", {}, ""},
       {"web user", "admin", "::1"},
       "event 110113:DCM:Security Alert D 0 type=110137:DCM:User Security Attributes Changed why=-\n"
       "participant admin alt=None requestor=true at=::1/2 role=-\n" + application +
           "source WORKLIST@ward-host type=4:DCM:Application Server\n"
           "object bob type=1/11 id=11:RFC-3881:User Identifier name=- accession=- mpps=- about=-\n"},
      {{"housekeeping-status", AuditAction::Update, true, "A9", "accession", {}, "old date\xEF\xBF\xBF", "P9", ""},
       {"housekeeping", "", ""},
       "event 110109:DCM:Order Record U 0 type=- why=-\n"
       "participant WORKLIST alt=AETITLES=WORKLIST requestor=true at=ward-host/1 role=110150:DCM:Application\n"
       "source WORKLIST@ward-host type=4:DCM:Application Server\n"
       "object P9 type=1/1 id=2:RFC-3881:Patient Number name= accession=A9 mpps=- about=old date\xEF\xBF\xBD\n"},
  };
  for (const auto& c : cases) {
    const std::string xml = DicomAuditMessage(c.event, c.actor, source, Now());
    EXPECT_EQ(DicomAuditSummary(xml), c.summary) << xml;
    EXPECT_NE(xml.find("EventDateTime=\"" + Rfc3339Time(Now()) + "\""), std::string::npos);
  }
}

// With the DICOM format the collector gets the XML under IHE's MSGID; the
// file keeps its JSON lines.
TEST_F(AuditTrailTest, DicomFormatGoesToSyslogAndTheFileKeepsItsLines) {
  SyslogCollector collector;
  ServerSettings.AuditSyslog = collector.Target();
  ServerSettings.AuditSyslogDicom = true;
  StartAuditTrail();
  WriteAudit({"xml-order", AuditAction::Create, true, "ACC7", "accession", {}, "created", "P7", "ROE^MAY"});
  const std::string datagram = collector.Receive();
  EXPECT_NE(datagram.find(" tarvelin " + std::to_string(getpid()) + " IHE+RFC-3881 - \xEF\xBB\xBF<?xml"),
            std::string::npos)
      << datagram;
  EXPECT_NE(DicomAuditSummary(SyslogBody(datagram)).find("object P7 type=1/1 id=2:RFC-3881:Patient Number name=ROE^MAY "
                                                         "accession=ACC7 mpps=- about=created\n"),
            std::string::npos);
  EXPECT_NE(ReadWholeFile(DailyAuditPath()).find("\"event\":\"xml-order\",\"action\":\"C\""), std::string::npos);
}

}  // namespace tarvelin
