#include "support/tls_probe.h"

#include "support/child_process.h"

namespace tarvelin {

const std::vector<TlsOffer>& Bcp195Offers() {
  static const std::vector<TlsOffer> offers = {
      {"TLS 1.0", "-tls1 -cipher DEFAULT:@SECLEVEL=0", false},
      {"TLS 1.1", "-tls1_1 -cipher DEFAULT:@SECLEVEL=0", false},
      {"TLS 1.2 static RSA key exchange", "-tls1_2 -cipher AES128-GCM-SHA256:@SECLEVEL=0", false},
      {"TLS 1.2 ECDHE with CBC", "-tls1_2 -cipher ECDHE-RSA-AES128-SHA:ECDHE-RSA-AES256-SHA384:@SECLEVEL=0",
       false},
      {"TLS 1.2 finite-field DHE", "-tls1_2 -cipher DHE-RSA-AES128-GCM-SHA256:@SECLEVEL=0", false},
      {"TLS 1.2 ECDHE with AES-GCM", "-tls1_2 -cipher ECDHE-RSA-AES128-GCM-SHA256:@SECLEVEL=0", true},
      {"TLS 1.2 ECDHE with ChaCha20-Poly1305", "-tls1_2 -cipher ECDHE-RSA-CHACHA20-POLY1305:@SECLEVEL=0", true},
      {"TLS 1.3", "-tls1_3", true},
  };
  return offers;
}

TlsProbeResult ProbeTls(int port, const std::string& options, const std::string& authority,
                        const std::string& certificate, const std::string& key) {
  const PeerResult run = RunPeer("openssl s_client -brief -connect 127.0.0.1:" + std::to_string(port) + " " +
                                     options + " -CAfile " + ShellQuote(authority) + " -verify_return_error" +
                                     " -cert " + ShellQuote(certificate) + " -key " + ShellQuote(key) +
                                     " </dev/null",
                                 30);
  TlsProbeResult result;
  result.Output = run.Output;
  result.Established = run.ExitCode == 0 && run.Output.find("CONNECTION ESTABLISHED") != std::string::npos;
  result.ClientRefusedItself = run.Output.find("no protocols available") != std::string::npos ||
                               run.Output.find("no cipher match") != std::string::npos ||
                               run.Output.find("no ciphers available") != std::string::npos;
  return result;
}

}  // namespace tarvelin
