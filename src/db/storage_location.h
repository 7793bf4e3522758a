#pragma once
// Where the stores find their data. The code that knows the instance (the
// service's start, the set-up tool, a test's fixture) says so once, before
// the first connection; the storage code reads no settings of its own. Any
// thread may read it; connections opened earlier keep their file.
#include <string>

namespace tarvelin {

struct StorageLocation {
  // The folder of the SQLite files, ending with "/": database/ of the
  // instance. Another engine would add what it needs to connect here, chosen
  // by the same callers.
  std::string databaseFolder;

  // The location of the instance in `programFolder` (ending with "/").
  static StorageLocation OfInstance(const std::string& programFolder);
};

// Sets the location every later connection uses.
void UseStorage(const StorageLocation& location);

// The location set last; before any, "database/" under the working folder.
StorageLocation CurrentStorage();

}  // namespace tarvelin
