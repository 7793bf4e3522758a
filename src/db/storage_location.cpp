#include "db/storage_location.h"

#include <mutex>

namespace tarvelin {

namespace {
std::mutex guard;
StorageLocation current{"database/"};
}  // namespace

StorageLocation StorageLocation::OfInstance(const std::string& programFolder) {
  return {programFolder + "database/"};
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
