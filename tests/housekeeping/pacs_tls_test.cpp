// The PACS check over TLS. dcmtk's dcmqrscp has no TLS in Debian's build, so
// the PACS is dcmqrscp behind socat, which ends TLS with our test authority's
// server certificate and requires a client certificate of that authority.
#include <gtest/gtest.h>

#include <memory>

#include "db/sqldb.h"
#include "db/worklistdb.h"
#include "housekeeping/worklist_ageing.h"
#include "service/settings.h"
#include "support/child_process.h"
#include "support/database_folder.h"
#include "support/dcmqrscp_pacs.h"
#include "support/free_port.h"
#include "support/log_file.h"
#include "support/pinned_clock.h"
#include "support/test_certificates.h"

namespace tarvelin {

namespace {

class PacsTlsCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pacs.Problem(), "");
    ASSERT_EQ(folder.Problem(), "");
    ASSERT_EQ(certificates.Problem(), "");
    SQLdb db("quillat", SQLdb::ReadWrite);
    WorklistDB entry;
    entry.PatientID = "P1";
    entry.PatientName = "DOE^JOHN";
    entry.AccessionNumber = "IN-PACS";
    entry.Modality = "CT";
    entry.SPSDate = "20240310";  // today: no date rule applies
    entry.SPSTime = "0800";
    entry.SPSStatus = "SCHEDULED";
    ASSERT_EQ(entry.Insert(db), WriteResult::Done);

    const std::string tls = "OPENSSL-LISTEN:" + std::to_string(tlsPort) + ",bind=127.0.0.1,reuseaddr,fork" +
                            ",cert=" + certificates.ServerCertificate() + ",key=" + certificates.ServerKey() +
                            ",cafile=" + certificates.Authority() + ",verify=1";
    socat = std::make_unique<ChildProcess>(
        "/usr/bin/socat", std::vector<std::string>{tls, "TCP:127.0.0.1:" + std::to_string(pacs.Port())});
    ASSERT_TRUE(WaitUntil([this] { return PortAccepts(tlsPort); }, 10000)) << "socat: " << socat->Errors();
  }
  void TearDown() override {
    ServerSettings.PACS_TLS = false;
    for (std::string* file : {&ServerSettings.PACS_TLSCAFile, &ServerSettings.PACS_TLSCert, &ServerSettings.PACS_TLSKey})
      file->clear();
  }

  std::string Status() {
    SQLdb db("quillat", SQLdb::ReadOnly);
    std::vector<std::string> rows;
    db.Query("SELECT SPSStatus FROM Worklist WHERE AccessionNumber='IN-PACS'", rows);
    return rows.empty() ? "" : rows.front().substr(0, rows.front().find(';'));
  }

  PinnedClock pinned{2024, 3, 10, 10, 0, 0};
  DcmqrscpPacs pacs{{{"IN-PACS"}}};
  DatabaseFolder folder{"pacs-tls"};
  TestCertificates certificates{folder.Home() + "tls"};
  int tlsPort = FreePort();
  std::unique_ptr<ChildProcess> socat;
};

TEST_F(PacsTlsCheck, ThePacsIsAskedOverTlsOnlyWithTrustOnBothSides) {
  struct Case {
    const char* what;
    std::string host, authority, certificate, key;
    const char* status;  // of the entry after the pass
    std::string logged;  // part of a line the pass writes
  };
  const std::string home = folder.Home();
  const Case cases[] = {
      {"our certificate, the PACS's authority", "127.0.0.1", "tls/ca.pem", "tls/client.pem",
       home + "tls/client.key", "COMPLETED", "Completed Worklist Entry: IN-PACS"},
      {"no certificate of ours", "127.0.0.1", "tls/ca.pem", "", "", "SCHEDULED", "ERROR, connecting to PACS: PACS"},
      {"the PACS's certificate not trusted", "127.0.0.1", "tls/otherca.pem", "tls/client.pem", "tls/client.key",
       "SCHEDULED", "failed: certificate refused: "},
      // The certificate is made out to 127.0.0.1 only.
      {"the PACS's certificate for another host", "localhost", "tls/ca.pem", "tls/client.pem", "tls/client.key",
       "SCHEDULED", "failed: certificate refused: hostname mismatch"},
      {"our key missing", "127.0.0.1", "tls/ca.pem", "tls/client.pem", "tls/gone.key", "SCHEDULED",
       "ERROR, PACS TLS, private key " + home + "tls/gone.key cannot be used"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ServerSettings.PACS_TLS = true;
    ServerSettings.PACS_TLSCAFile = c.authority;
    ServerSettings.PACS_TLSCert = c.certificate;
    ServerSettings.PACS_TLSKey = c.key;
    const std::size_t before = folder.Log().size();
    ASSERT_TRUE(UpdateWorklistStatus("PACS", c.host, std::to_string(tlsPort), "TARVELIN", true, false));
    const std::string log = folder.Log().substr(before);
    EXPECT_EQ(Status(), c.status) << log;
    EXPECT_NE(log.find(c.logged), std::string::npos) << log;
    if (Status() == "COMPLETED") {
      EXPECT_EQ(CountOf(log, "ERROR"), 0) << log;
      SQLdb db("quillat", SQLdb::ReadWrite);
      ASSERT_EQ(db.Exec("UPDATE Worklist SET SPSStatus='SCHEDULED'"), 0);
    }
  }
}

}  // namespace

}  // namespace tarvelin
