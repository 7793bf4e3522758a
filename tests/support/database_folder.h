#pragma once
// A fresh instance folder with an empty service database for in-process
// tests: made this process's program folder, storage location and log target
// ("test.log" in the folder) while alive, removed with everything in it at
// the end.
#include <string>

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
  std::string LogPath() const { return home_ + "test.log"; }
  // The log written so far.
  std::string Log() const;

 private:
  std::string home_;
  std::string problem_;
};

}  // namespace tarvelin
