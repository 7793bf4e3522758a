#include "support/test_certificates.h"

#include <filesystem>

#include "support/child_process.h"

namespace tarvelin {

bool TestCertificates::Run(const std::string& commandLine) {
  if (!problem_.empty()) return false;
  const PeerResult result = RunPeer("sh -c " + ShellQuote(commandLine), 60);
  if (result.ExitCode != 0) problem_ = commandLine + ": " + result.Output;
  return result.ExitCode == 0;
}

TestCertificates::TestCertificates(const std::string& folder)
    : folder_(folder.ends_with("/") ? folder : folder + "/") {
  std::filesystem::create_directories(folder_);
  const std::string f = ShellQuote(folder_);
  const std::string ec = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  // Two self-signed authorities.
  for (const char* ca : {"ca", "otherca"})
    Run("cd " + f + " && openssl req -x509 " + ec + " -days 2 -subj /CN=" + ca + " -keyout " + ca +
        ".key -out " + ca + ".pem");
  // Leaf certificates: name, authority, key type, subject and extensions.
  struct Leaf {
    const char* name;
    const char* authority;
    std::string key;
    const char* extensions;
  };
  const Leaf leaves[] = {
      {"server", "ca", "-newkey rsa:2048 -nodes", "subjectAltName=IP:127.0.0.1"},
      {"client", "ca", ec, "extendedKeyUsage=clientAuth"},
      {"stranger", "otherca", ec, "extendedKeyUsage=clientAuth"},
  };
  for (const Leaf& leaf : leaves) {
    const std::string name = leaf.name;
    Run("cd " + f + " && openssl req " + leaf.key + " -subj /CN=" + name + " -keyout " + name + ".key -out " +
        name + ".csr && printf '%s\\n' '" + leaf.extensions + "' > " + name + ".ext && openssl x509 -req -in " +
        name + ".csr -CA " + leaf.authority + ".pem -CAkey " + leaf.authority +
        ".key -CAcreateserial -days 2 -extfile " + name + ".ext -out " + name + ".pem");
  }
}

}  // namespace tarvelin
