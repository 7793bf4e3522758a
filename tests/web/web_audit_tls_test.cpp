// The audit trail sent to a syslog collector over TLS: what arrives, a
// collector we must not trust, and a collector that stalls.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include "support/free_port.h"
#include "support/syslog_collector.h"
#include "support/test_certificates.h"
#include "support/tls_syslog_collector.h"
#include "web/web_instance.h"

namespace tarvelin {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;

namespace {
// Settings of a sender with our client certificate that trusts `tls/ca.pem`.
std::vector<std::pair<std::string, std::string>> TlsAudit(const std::string& target, const std::string& format) {
  return {{"AuditSyslog", target},
          {"AuditSyslogFormat", format},
          {"AuditSyslogTLSCAFile", "tls/ca.pem"},
          {"AuditSyslogTLSCert", "tls/client.pem"},
          {"AuditSyslogTLSKey", "tls/client.key"}};
}

// A refused login arrives, octet-counted, as a whole RFC 5424 message whose
// MSG reads as the format promises; the collector asked for our client
// certificate and checked it against the authority.
TEST(WebAuditTls, ARefusedLoginArrivesOctetCountedInEitherFormat) {
  const struct {
    const char* format;
    const char* msgId;  // as a regular expression
    const char* body;   // the start of what the MSG says
  } cases[] = {
      {"json", "audit", R"({"time":)"},
      {"dicom", "IHE\\+RFC-3881", "event 110114:DCM:User Authentication E 4 type=110122:DCM:Login"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    WebInstance web(std::string("webtlsaudit") + c.format);
    const TestCertificates certificates(web.Server().Home() + "tls/");
    ASSERT_EQ(certificates.Problem(), "");
    TlsSyslogCollector collector(certificates.ServerCertificate(), certificates.ServerKey(), certificates.Authority());
    ASSERT_EQ(web.Prepare(TlsAudit(collector.Target(), c.format)), "");
    ASSERT_TRUE(web.Start()) << web.Server().Log();
    EXPECT_EQ(web.Request("/worklist", "clerk", "not the password").status, 401);
    const std::string message = collector.Receive();
    EXPECT_THAT(message, MatchesRegex(std::string("<85>1 [-0-9T:.+Z]+ [^ ]+ tarvelin [0-9]+ ") + c.msgId +
                                      " - \xEF\xBB\xBF.*"));
    const std::string body = SyslogBody(message);
    const std::string read = std::string(c.format) == "dicom" ? DicomAuditSummary(body) : body;
    EXPECT_EQ(read.rfind(c.body, 0), 0u) << read;
    EXPECT_THAT(read, HasSubstr("clerk"));
    // The JSON MSG is the audit file's line, whole.
    if (std::string(c.format) == "json") {
      EXPECT_THAT(web.AuditLog(), HasSubstr(body + "\n"));
    }
    EXPECT_TRUE(web.Server().WaitForLog("INFO, AuditSyslog " + collector.Target() + " connected", 1, 5000))
        << web.Server().Log();
  }
}

// A collector whose certificate our authority did not sign gets nothing,
// and the log says why.
TEST(WebAuditTls, ACollectorWeDoNotTrustGetsNothing) {
  WebInstance web("webtlsaudituntrusted");
  const TestCertificates certificates(web.Server().Home() + "tls/");
  ASSERT_EQ(certificates.Problem(), "");
  TlsSyslogCollector collector(certificates.StrangerCertificate(), certificates.StrangerKey(), certificates.Authority());
  ASSERT_EQ(web.Prepare(TlsAudit(collector.Target(), "json")), "");
  ASSERT_TRUE(web.Start()) << web.Server().Log();
  EXPECT_EQ(web.Request("/worklist", "clerk", "not the password").status, 401);
  EXPECT_TRUE(web.Server().WaitForLog("WARNING, AuditSyslog " + collector.Target() +
                                          ", cannot connect: TLS handshake with 127.0.0.1:" +
                                          std::to_string(collector.Port()) + " failed",
                                      1, 10000))
      << web.Server().Log();
  EXPECT_THAT(web.Server().Log(), HasSubstr("ERROR, TLS handshake with 127.0.0.1:" + std::to_string(collector.Port()) +
                                            " failed: certificate refused: unable to get local issuer certificate"));
  EXPECT_EQ(collector.Receive(2), "");
  EXPECT_THAT(web.AuditLog(), HasSubstr("clerk"));  // the file has it all the same
}

// A collector that takes the connection and never answers the handshake
// holds no request: every audited login is answered well within curl's
// limit below (the handshake alone waits five seconds), each is in the
// audit file, and what could not be sent is counted at shutdown.
TEST(WebAuditTls, AStalledCollectorDelaysNoRequest) {
  int port = 0;
  const int stalled = ListenLoopback(port);
  ASSERT_GE(stalled, 0);
  const std::string target = "tls:127.0.0.1:" + std::to_string(port);

  WebInstance web("webtlsauditstalled");
  const TestCertificates certificates(web.Server().Home() + "tls/");
  ASSERT_EQ(certificates.Problem(), "");
  ASSERT_EQ(web.Prepare(TlsAudit(target, "json")), "");
  ASSERT_TRUE(web.Start()) << web.Server().Log();
  for (int attempt = 0; attempt < 4; ++attempt)
    EXPECT_EQ(web.Request("/worklist", "clerk", "not the password", "--max-time 3").status, 401) << attempt;
  EXPECT_EQ(web.Request("/worklist", "clerk", kClerkPassword, "--max-time 3").status, 200);
  const std::string audit = web.AuditLog();
  std::size_t refusals = 0;
  for (auto at = audit.find("wrong user name or password"); at != std::string::npos;
       at = audit.find("wrong user name or password", at + 1))
    ++refusals;
  EXPECT_EQ(refusals, 4u) << audit;
  EXPECT_TRUE(web.Server().Terminate(30000)) << web.Server().Log();
  EXPECT_THAT(web.Server().Log(), MatchesRegex("(.|\n)*WARNING, AuditSyslog " + target + ", [^\n]*audit messages dropped(.|\n)*"));
  EXPECT_THAT(web.Server().Log(), Not(HasSubstr("AuditSyslog " + target + " connected")));
  close(stalled);
}
}  // namespace

}  // namespace tarvelin
