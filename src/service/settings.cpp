#include "service/settings.h"

namespace tarvelin {

ServerSettingsRecord ServerSettings;

std::string InstanceFile(const std::string& name) {
  if (name.empty() || name.starts_with("/")) return name;
  return ServerSettings.ProgramFolder + name;
}

}  // namespace tarvelin
