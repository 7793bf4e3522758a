// The worklist over DICOM TLS with dcmtk's TLS tools and openssl s_client as
// peers: the TLS port beside the plain one, client certificates checked
// against the authority when one is set, only the BCP 195 protocol versions
// and suites, and handshakes that fail or stall closed with a line naming
// the peer while the server goes on.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include "running_server.h"
#include "support/free_port.h"
#include "support/log_file.h"
#include "support/test_certificates.h"
#include "support/tls_probe.h"

namespace tarvelin {

namespace {

class DicomTls : public RunningServer {
 protected:
  void SetUp() override {
    RunningServer::SetUp();
    certificates_ = std::make_unique<TestCertificates>(home_ + "tls");
    ASSERT_EQ(certificates_->Problem(), "");
    tlsPort_ = FreePort();
  }

  void Config(const std::string& key, const std::string& value) {
    const PeerResult set = RunPeer(ShellQuote(std::string(TARVELIN_BIN_DIR) + "/tarvelin-setup") + " config " +
                                   ShellQuote(home_) + " TRVSVC " + key + " " + ShellQuote(value));
    ASSERT_EQ(set.ExitCode, 0) << set.Output;
  }

  // The TLS port with the server certificate (named relative to the
  // instance, the key absolute), verifying clients against the authority.
  void StartTls(const std::string& certificate = "tls/server.pem") {
    Config("WLTLSPort", std::to_string(tlsPort_));
    Config("WLTLSCert", certificate);
    Config("WLTLSKey", certificates_->ServerKey());
    Config("WLTLSCAFile", "tls/ca.pem");
    Config("AssociationTimeout", "2");
    Start();
  }
  bool TlsListening() {
    return instance_->WaitForLog("Initialize DICOM TLS port: " + std::to_string(tlsPort_), 1, 10000);
  }

  PeerResult Echo(const std::string& tlsOptions, int port) {
    return RunPeer("echoscu -aec TARVELIN " + tlsOptions + " 127.0.0.1 " + std::to_string(port));
  }
  // dcmtk's options for a client with this key and certificate (none:
  // without), trusting the server through the authority.
  std::string Tls(const std::string& key = "", const std::string& certificate = "") const {
    const std::string trust = " +cf " + ShellQuote(certificates_->Authority());
    return key.empty() ? "+tla" + trust : "+tls " + ShellQuote(key) + " " + ShellQuote(certificate) + trust;
  }
  std::string Client() const { return Tls(certificates_->ClientKey(), certificates_->ClientCertificate()); }

  std::unique_ptr<TestCertificates> certificates_;
  int tlsPort_ = 0;
};

TEST_F(DicomTls, WithAnAuthorityOnlyClientsItSignedAreServed) {
  WorklistDB entry;
  entry.AccessionNumber = "TLS1";
  entry.PatientName = "SECURE^SAM";
  entry.PatientID = "PTLS1";
  entry.Modality = "CT";
  entry.SPSDate = "20240101";
  entry.SPSTime = "093000";
  entry.SPSStatus = "SCHEDULED";
  Insert(entry);
  StartTls();
  ASSERT_TRUE(TlsListening()) << ServerLog();

  struct Case {
    const char* who;
    std::string options;
    bool served;
    const char* logged;  // the handshake line's reason
  };
  const Case cases[] = {
      {"a client of the authority", Client(), true, ""},
      {"no client certificate", Tls(), false, "failed: "},
      {"a client of another authority", Tls(certificates_->StrangerKey(), certificates_->StrangerCertificate()),
       false, "failed: certificate refused: "},
  };
  int refused = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.who);
    const PeerResult echo = Echo(c.options, tlsPort_);
    EXPECT_EQ(echo.ExitCode == 0, c.served) << echo.Output;
    if (c.served) continue;
    ++refused;
    ASSERT_TRUE(instance_->WaitForLog("ERROR, TLS handshake with 127.0.0.1:", refused, 10000)) << ServerLog();
    EXPECT_EQ(CountLines(ServerLog(), std::string("ERROR, TLS handshake with 127.0.0.1:")), refused);
    EXPECT_GE(CountLines(ServerLog(), c.logged), 1) << ServerLog();
  }

  // The worklist itself over TLS, and the plain port beside it.
  const PeerResult find = RunPeer("findscu -W -aec TARVELIN " + Client() +
                                  " -k AccessionNumber -k PatientName 127.0.0.1 " + std::to_string(tlsPort_));
  EXPECT_EQ(find.ExitCode, 0) << find.Output;
  EXPECT_NE(find.Output.find("SECURE^SAM"), std::string::npos) << find.Output;
  const PeerResult plainFind = Findscu("-k AccessionNumber -k PatientName");
  EXPECT_NE(plainFind.Output.find("SECURE^SAM"), std::string::npos) << plainFind.Output;
  EXPECT_EQ(Echo("", dicomPort_).ExitCode, 0);
}

TEST_F(DicomTls, OnlyModernProtocolsAndSuitesAreAccepted) {
  StartTls();
  ASSERT_TRUE(TlsListening()) << ServerLog();
  for (const TlsOffer& offer : Bcp195Offers()) {
    SCOPED_TRACE(offer.what);
    const TlsProbeResult probe = ProbeTls(tlsPort_, offer.options, certificates_->Authority(),
                                          certificates_->ClientCertificate(), certificates_->ClientKey());
    EXPECT_FALSE(probe.ClientRefusedItself) << probe.Output;
    EXPECT_EQ(probe.Established, offer.accepted) << probe.Output;
  }
}

// Opens a TCP connection to the port and keeps it silent.
int SilentConnection(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// True when the server closes the connection within `ms`.
bool ClosedByServer(int fd, int ms) {
  pollfd wait{fd, POLLIN, 0};
  char byte;
  return ::poll(&wait, 1, ms) == 1 && ::recv(fd, &byte, 1, 0) <= 0;
}

TEST_F(DicomTls, StalledAndPlainHandshakesAreClosedWithALine) {
  StartTls();
  ASSERT_TRUE(TlsListening()) << ServerLog();

  const int silent = SilentConnection(tlsPort_);
  ASSERT_GE(silent, 0);
  EXPECT_TRUE(ClosedByServer(silent, 10000));
  ::close(silent);
  EXPECT_TRUE(instance_->WaitForLog("not complete within 2 seconds, connection closed", 1, 5000)) << ServerLog();

  // A modality that speaks plain DICOM to the TLS port.
  const PeerResult plain = Echo("", tlsPort_);
  EXPECT_NE(plain.ExitCode, 0) << plain.Output;
  EXPECT_TRUE(instance_->WaitForLog("ERROR, TLS handshake with 127.0.0.1:", 2, 10000)) << ServerLog();
  EXPECT_EQ(Echo(Client(), tlsPort_).ExitCode, 0) << ServerLog();
}

TEST_F(DicomTls, AnUnusableCertificateLeavesThePlainPortAlone) {
  StartTls("tls/missing.pem");
  ASSERT_TRUE(instance_->WaitForLog("ERROR: Couldn't initialize DICOM TLS port: " + std::to_string(tlsPort_) +
                                        ", certificate " + home_ + "tls/missing.pem cannot be used",
                                    1, 10000))
      << ServerLog();
  EXPECT_FALSE(PortAccepts(tlsPort_));
  EXPECT_EQ(Echo("", dicomPort_).ExitCode, 0);
}

}  // namespace

}  // namespace tarvelin
