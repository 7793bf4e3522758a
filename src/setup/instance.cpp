#include "setup/instance.h"

#include "db/sqldb.h"
#include "db/storage_location.h"
#include "service/settings.h"

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

}  // namespace tarvelin
