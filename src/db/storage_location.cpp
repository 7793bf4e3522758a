#include "db/storage_location.h"

#include <mutex>

namespace tarvelin {

namespace {
std::mutex guard;
StorageLocation current{"database/", ""};
}  // namespace

StorageLocation StorageLocation::OfInstance(const std::string& programFolder) {
  return {programFolder + "database/", ""};
}

bool StorageOfInstance(const std::string& programFolder, const std::string& databaseSetting,
                       StorageLocation& location, std::string& error) {
  location = StorageLocation::OfInstance(programFolder);
  if (databaseSetting.empty() || databaseSetting == "sqlite") return true;
  const std::string prefix = kPostgresPrefix;
  if (databaseSetting.rfind(prefix, 0) != 0) {
    error = "Database must be sqlite or postgresql:<connection string>, not " + databaseSetting;
    return false;
  }
  location.postgres = databaseSetting.substr(prefix.size());
  // An empty string would make libpq connect by its environment variables,
  // to a server nobody named.
  if (location.postgres.find_first_not_of(" \t") == std::string::npos) {
    error = "Database=postgresql: names no server";
    return false;
  }
  return true;
}

void UseStorage(const StorageLocation& location) {
  std::lock_guard<std::mutex> hold(guard);
  current = location;
}

StorageLocation CurrentStorage() {
  std::lock_guard<std::mutex> hold(guard);
  return current;
}

}  // namespace tarvelin
