#pragma once
// A fresh instance folder with an empty service database for in-process
// tests: made this process's program folder, storage location and log target
// ("test.log" in the folder) while alive, removed with everything in it at
// the end. The database is a file in the folder, or a schema of its own on
// PostgreSQL when the tests run there (support/test_backend.h).
#include <string>

#include "db/storage_location.h"
#include "support/test_backend.h"

namespace tarvelin {

class DatabaseFolder {
 public:
  // Makes /tmp/tarvelin-<tag>-XXXXXX/ and the database in it.
  explicit DatabaseFolder(const std::string& tag);
  ~DatabaseFolder();
  DatabaseFolder(const DatabaseFolder&) = delete;
  DatabaseFolder& operator=(const DatabaseFolder&) = delete;

  // "" when the folder and its database are ready, else what failed.
  const std::string& Problem() const { return problem_; }
  const std::string& Home() const { return home_; }  // ends in "/"
  // Where the database is: the storage location in use while the folder lives.
  StorageLocation Storage() const { return TestStorage(home_, schema_); }
  std::string LogPath() const { return home_ + "test.log"; }
  // The log written so far.
  std::string Log() const;

 private:
  TestSchema schema_;
  std::string home_;
  std::string problem_;
};

}  // namespace tarvelin
