#include "setup/instance.h"

#include "db/conninfo_shown.h"
#include "db/sqldb.h"
#include "db/storage_location.h"
#include "platform/ini_file.h"
#include "service/settings.h"
#include "service/text.h"

namespace tarvelin {

std::string InstanceFolder(const std::string& dir) {
  std::string folder = dir;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder == "/" ? folder : folder + "/";
}

std::string InstanceDatabasePath(const std::string& dir) {
  return InstanceFolder(dir) + "database/" + kDatabaseName + ".db";
}

std::string InstanceIniPath(const std::string& dir) { return InstanceFolder(dir) + "TRVGUI.ini"; }

void UseInstance(const std::string& dir) {
  ServerSettings.ProgramFolder = InstanceFolder(dir);  // the ini file and the web assets
  UseStorage(StorageLocation::OfInstance(InstanceFolder(dir)));
}

std::string InstanceDatabaseSetting(const std::string& dir) {
  return Trim(IniFile(InstanceIniPath(dir)).ReadString("TRVSVC", "Database", ""));
}

bool UseInstanceStorage(const std::string& dir, StorageLocation& location, std::string& error) {
  ServerSettings.ProgramFolder = InstanceFolder(dir);
  if (!StorageOfInstance(InstanceFolder(dir), InstanceDatabaseSetting(dir), location, error)) {
    error = InstanceIniPath(dir) + ": " + error;
    return false;
  }
  UseStorage(location);
  return true;
}

std::string StorageShown(const StorageLocation& location) {
  return location.OnPostgres() ? "the PostgreSQL database " + ConninfoShown(location.postgres)
                               : location.databaseFolder + kDatabaseName + ".db";
}

}  // namespace tarvelin
