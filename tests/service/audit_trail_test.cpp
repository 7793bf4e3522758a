#include "service/audit_trail.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
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
#include "support/pinned_clock.h"

namespace tarvelin {

namespace {
// A UDP socket on a free loopback port: the syslog collector.
class UdpCollector {
 public:
  UdpCollector() : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~UdpCollector() { close(fd_); }
  int Port() const { return port_; }
  // The next datagram, or "" after two seconds.
  std::string Receive() {
    pollfd ready{fd_, POLLIN, 0};
    if (poll(&ready, 1, 2000) != 1) return "";
    char buffer[65536];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "";
  }

 private:
  int fd_;
  int port_ = 0;
};

class AuditTrailTest : public ::testing::Test {
 protected:
  void SetUp() override { ServerSettings.LogFolder = folder_.Path(); }
  void TearDown() override {
    StopAuditTrail();
    ServerSettings.LogFolder.clear();
    ServerSettings.AuditSyslog.clear();
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
  for (const std::string target : {"tcp:host", "udp:", "udp:no.such.host.invalid", "udp:127.0.0.1:"}) {
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
  UdpCollector collector;
  ServerSettings.AuditSyslog = "udp:127.0.0.1:" + std::to_string(collector.Port());
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
