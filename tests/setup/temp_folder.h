#pragma once
// A unique folder under /tmp, removed with everything in it at the end of a test.
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace tarvelin {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = "/tmp/tarvelin-setup-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace tarvelin
