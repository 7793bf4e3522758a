#pragma once
// Certificates made with the openssl command line for TLS tests: an
// authority, a server certificate it signed (RSA, for 127.0.0.1, so that a
// static-RSA key exchange would be possible if a server allowed it), a client
// certificate it signed, and a client certificate of a second, unrelated
// authority. All files are PEM in one folder.
#include <string>

namespace tarvelin {

class TestCertificates {
 public:
  // Makes `folder` (created when missing) and every file in it.
  explicit TestCertificates(const std::string& folder);

  // "" when every file was made; else what openssl printed.
  const std::string& Problem() const { return problem_; }

  std::string Authority() const { return folder_ + "ca.pem"; }
  std::string ServerCertificate() const { return folder_ + "server.pem"; }
  std::string ServerKey() const { return folder_ + "server.key"; }
  std::string ClientCertificate() const { return folder_ + "client.pem"; }
  std::string ClientKey() const { return folder_ + "client.key"; }
  // Signed by an authority nobody trusts.
  std::string StrangerCertificate() const { return folder_ + "stranger.pem"; }
  std::string StrangerKey() const { return folder_ + "stranger.key"; }

 private:
  bool Run(const std::string& commandLine);

  std::string folder_;
  std::string problem_;
};

}  // namespace tarvelin
