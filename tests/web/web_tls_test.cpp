// HTTPS with a certificate made by openssl: curl trusts only that
// certificate; plain HTTP gets nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/child_process.h"
#include "support/free_port.h"
#include "web_instance.h"

using ::testing::HasSubstr;

namespace {
TEST(WebTls, WithACertificateTheWebPortSpeaksOnlyHttps) {
  WebInstance web("webtls");
  const std::string tls = web.Server().Home() + "tls/";
  std::filesystem::create_directories(tls);
  const PeerResult made = RunPeer("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                                  "-addext subjectAltName=IP:127.0.0.1 -keyout " + ShellQuote(tls + "key.pem") +
                                  " -out " + ShellQuote(tls + "cert.pem"), 60);
  ASSERT_EQ(made.ExitCode, 0) << made.Output;
  // The certificate named relative to the instance folder, the key absolute.
  ASSERT_EQ(web.Prepare({{"WEBTLSCert", "tls/cert.pem"}, {"WEBTLSKey", tls + "key.pem"}}), "");
  ASSERT_TRUE(web.Start()) << web.Server().Log();

  const HttpAnswer plain = web.Admin("/");
  EXPECT_EQ(plain.status, 0) << plain.headers;
  web.UseHttps(tls + "cert.pem");
  const HttpAnswer secure = web.Admin("/");
  EXPECT_EQ(secure.status, 200) << secure.curl;
  EXPECT_THAT(secure.body, HasSubstr("Worklist WEB Server"));
  EXPECT_EQ(web.Request("/").status, 401);
  EXPECT_EQ(web.Admin("/tls/cert.pem").status, 200);
  const HttpAnswer key = web.Admin("/tls/key.pem");
  EXPECT_EQ(key.status, 404);  // the private key is never served
  EXPECT_THAT(key.body, ::testing::Not(HasSubstr("PRIVATE KEY")));
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
