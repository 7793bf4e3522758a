#include "support/npm_packages.h"

#include "support/child_process.h"

namespace tarvelin {

std::string InstallNpmPackages(const std::string& folder, const std::string& marker) {
  const std::string installed = folder + "/node_modules/" + marker;
  const std::string install = "test -e " + ShellQuote(installed) + " || npm ci --prefix " + ShellQuote(folder) +
                              " --no-audit --no-fund";
  const PeerResult r = RunPeer("flock " + ShellQuote(folder + "/.npm-ci.lock") + " sh -c " + ShellQuote(install), 300);
  return r.ExitCode == 0 ? "" : "npm ci in " + folder + " failed:\n" + r.Output;
}

}  // namespace tarvelin
