#include "support/database_folder.h"

#include <cstdlib>
#include <filesystem>

#include "service/log.h"
#include "service/settings.h"
#include "support/log_file.h"

namespace tarvelin {

DatabaseFolder::DatabaseFolder(const std::string& tag) {
  problem_ = schema_.Problem();
  if (!problem_.empty()) return;
  std::string pattern = "/tmp/tarvelin-" + tag + "-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    problem_ = "mkdtemp failed";
    return;
  }
  home_ = pattern + "/";
  std::error_code ec;
  std::filesystem::create_directories(home_ + "database", ec);
  ServerSettings.ProgramFolder = home_;
  UseStorage(Storage());
  std::string error;
  if (!CreateTestDatabase(Storage(), error)) problem_ = "cannot create the database: " + error;
  SetLogTarget(LogPath());
}

DatabaseFolder::~DatabaseFolder() {
  ClearLogTarget();
  std::error_code ignored;
  if (!home_.empty()) std::filesystem::remove_all(home_, ignored);
}

std::string DatabaseFolder::Log() const { return ReadFile(LogPath()); }

}  // namespace tarvelin
