#pragma once
// A unique folder under /tmp, removed with everything in it at scope end.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tarvelin {

class TempFolder {
 public:
  TempFolder() {
    char name[] = "/tmp/tarvelin-test-XXXXXX";
    path_ = mkdtemp(name) ? name : "";
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder with a trailing "/".
  std::string Path() const { return path_ + "/"; }

  // Writes `bytes` to the file `name` in the folder; returns its full path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::string file = Path() + name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }

 private:
  std::string path_;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace tarvelin
