#include "setup/web_assets.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/program_folder.h"
#include "setup/instance.h"

namespace tarvelin {

namespace fs = std::filesystem;

namespace {
struct Asset {
  const char* name;
  const char* npmPath;  // where `npm ci` leaves it inside an asset folder, if it comes from npm
};

const Asset kAssets[] = {
    {"style.css", nullptr},
    {"card.png", nullptr},
    {"list.png", nullptr},
    {"tarvelin.js", nullptr},
    {"jquery-2.1.0.min.js", "node_modules/jquery/dist/cdn/jquery-2.1.0.min.js"},
};

std::string Find(const Asset& asset, const std::vector<std::string>& folders) {
  std::error_code ec;
  for (const auto& folder : folders)
    for (const char* relative : {asset.name, asset.npmPath})
      if (relative && fs::is_regular_file(fs::path(folder) / relative, ec)) return (fs::path(folder) / relative).string();
  return "";
}
}  // namespace

std::vector<std::string> WebAssetFolders(const std::string& chosen) {
  if (!chosen.empty()) return {chosen};
  if (const char* env = std::getenv("TARVELIN_WEB_ASSETS"); env && *env) return {env};
  std::vector<std::string> folders;
  const std::string executable = ExecutablePath();
  if (!executable.empty()) folders.push_back((fs::path(executable).parent_path().parent_path() / "share/tarvelin").string());
  folders.push_back(TARVELIN_SOURCE_WEB);
  return folders;
}

bool InstallWebAssets(const std::string& dir, const std::vector<std::string>& folders,
                      std::vector<std::string>& missing, std::string& error) {
  const fs::path target = fs::path(InstanceFolder(dir)) / "javascript";
  std::error_code ec;
  fs::create_directories(target, ec);
  if (ec) {
    error = "cannot create " + target.string() + ": " + ec.message();
    return false;
  }
  for (const Asset& asset : kAssets) {
    const std::string source = Find(asset, folders);
    if (source.empty()) {
      missing.push_back(asset.name);
      continue;
    }
    fs::copy_file(source, target / asset.name, fs::copy_options::overwrite_existing, ec);
    if (ec) {
      error = "cannot copy " + source + " to " + (target / asset.name).string() + ": " + ec.message();
      return false;
    }
  }
  return true;
}

bool InstallWebAssetsReporting(const std::string& dir, const std::string& chosenFolder, std::ostream& out,
                               std::ostream& err) {
  const auto folders = WebAssetFolders(chosenFolder);
  std::vector<std::string> missing;
  std::string error;
  if (!InstallWebAssets(dir, folders, missing, error)) {
    err << "tarvelin-setup: " << error << "\n";
    return false;
  }
  if (missing.empty()) {
    out << "Web assets installed in " << InstanceFolder(dir) << "javascript/\n";
    return true;
  }
  err << "tarvelin-setup: warning: not found, so not in " << InstanceFolder(dir) << "javascript/:";
  for (const auto& name : missing) err << " " << name;
  err << "\n  searched:";
  for (const auto& folder : folders) err << " " << folder;
  err << "\n  jQuery comes from the npm registry: run 'npm ci --prefix web' in the source tree,\n"
      << "  then 'tarvelin-setup upgrade " << dir << "' (or give the folder with --assets).\n";
  return true;
}

}  // namespace tarvelin
