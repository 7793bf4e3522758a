#pragma once
// openssl s_client as a probe of a TLS port: which protocol versions and
// cipher suites a server accepts.
#include <string>
#include <vector>

namespace tarvelin {

// One offer of the client: a single protocol version and suite family.
struct TlsOffer {
  const char* what;     // for failure messages
  const char* options;  // s_client options
  bool accepted;        // what a server of the BCP 195 profile answers
};

// Old protocols, static RSA key exchange, finite-field DHE and CBC suites
// refused; TLS 1.2 ECDHE with AEAD and TLS 1.3 accepted. The client is
// told to go down to security level 0, so that a refusal comes from the
// server and not from the probe's own defaults.
const std::vector<TlsOffer>& Bcp195Offers();

struct TlsProbeResult {
  bool Established = false;
  bool ClientRefusedItself = false;  // the probe could not even offer it
  std::string Output;
};

// Connects to 127.0.0.1:`port` with `options`, trusting `authority` and
// showing the client certificate `certificate`/`key` when asked for one.
TlsProbeResult ProbeTls(int port, const std::string& options, const std::string& authority,
                        const std::string& certificate, const std::string& key);

}  // namespace tarvelin
