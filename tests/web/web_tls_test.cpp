// HTTPS with certificates made by openssl: curl trusts only their authority;
// plain HTTP gets nothing; HTTPS answers carry HSTS; only TLS 1.2/1.3 with
// ECDHE and AEAD suites are accepted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/child_process.h"
#include "support/free_port.h"
#include "support/log_file.h"
#include "support/test_certificates.h"
#include "support/tls_probe.h"
#include "web_instance.h"

namespace tarvelin {

using ::testing::HasSubstr;

namespace {
TEST(WebTls, WithACertificateTheWebPortSpeaksOnlyHttps) {
  WebInstance web("webtls");
  const std::string tls = web.Server().Home() + "tls/";
  const TestCertificates certificates(tls);
  ASSERT_EQ(certificates.Problem(), "");
  // The certificate named relative to the instance folder, the key absolute;
  // the other private keys of the instance are never served either.
  ASSERT_EQ(web.Prepare({{"WEBTLSCert", "tls/server.pem"},
                         {"WEBTLSKey", certificates.ServerKey()},
                         {"WLTLSKey", "tls/client.key"},
                         {"PACS_TLSKey", "tls/stranger.key"}}),
            "");
  ASSERT_TRUE(web.Start()) << web.Server().Log();

  const HttpAnswer plain = web.Admin("/");
  EXPECT_EQ(plain.status, 0) << plain.headers;
  web.UseHttps(certificates.Authority());
  const HttpAnswer secure = web.Admin("/");
  EXPECT_EQ(secure.status, 200) << secure.curl;
  EXPECT_THAT(secure.body, HasSubstr("Worklist WEB Server"));
  const HttpAnswer login = web.Request("/");
  EXPECT_EQ(login.status, 401);
  for (const HttpAnswer* answer : {&secure, &login})  // once: a second copy is a fault of its own
    EXPECT_EQ(CountOf(answer->headers, "Strict-Transport-Security: max-age=31536000"), 1) << answer->headers;
  EXPECT_EQ(web.Admin("/tls/server.pem").status, 200);
  for (const char* name : {"/tls/server.key", "/tls/client.key", "/tls/stranger.key"}) {
    const HttpAnswer key = web.Admin(name);
    EXPECT_EQ(key.status, 404) << name;
    EXPECT_THAT(key.body, ::testing::Not(HasSubstr("PRIVATE KEY")));
  }

  for (const TlsOffer& offer : Bcp195Offers()) {
    SCOPED_TRACE(offer.what);
    const TlsProbeResult probe = ProbeTls(web.Server().WebPort(), offer.options, certificates.Authority(),
                                          certificates.ClientCertificate(), certificates.ClientKey());
    EXPECT_FALSE(probe.ClientRefusedItself) << probe.Output;
    EXPECT_EQ(probe.Established, offer.accepted) << probe.Output;
  }
}

TEST(WebTls, AnUnreadableCertificateLeavesNoWebServerAndTheRestRunning) {
  WebInstance web("webtlsbad");
  ASSERT_EQ(web.Prepare({{"WEBTLSCert", "missing.pem"}, {"WEBTLSKey", "missing.key"}}), "");
  ASSERT_TRUE(web.Server().Start());
  ASSERT_TRUE(web.Server().WaitForLog("ERROR, Exception Activating WEB server in Port", 1, 15000))
      << web.Server().Log();
  EXPECT_THAT(web.Server().Log(), HasSubstr("ERROR, WEB server, WEBTLSCert file " + web.Server().Home() +
                                            "missing.pem cannot be read: No such file or directory"));
  EXPECT_FALSE(PortAccepts(web.Server().WebPort()));
  const PeerResult echo = RunPeer("echoscu 127.0.0.1 " + std::to_string(web.Server().DicomPort()), 30);
  EXPECT_EQ(echo.ExitCode, 0) << echo.Output;
}
}  // namespace

}  // namespace tarvelin
