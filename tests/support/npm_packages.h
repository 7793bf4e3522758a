#pragma once
// npm packages that end-to-end tests use as peers or assets, installed
// exactly as their package-lock.json says.
#include <string>

namespace tarvelin {

// Runs `npm ci` in `folder` unless `folder`/node_modules/`marker` exists.
// Tests that share a folder may run at the same time (ctest -j): they wait
// for each other on a lock file, so one installs and the others find it done.
// "" when the packages are there, else npm's output.
std::string InstallNpmPackages(const std::string& folder, const std::string& marker);

}  // namespace tarvelin
