#include "platform/program_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace tarvelin {

namespace fs = std::filesystem;

std::string ExecutablePath() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.string();
}

std::string RunningExecutable() { return "/proc/self/exe"; }

std::string WithTrailingSlash(const std::string& path) {
  if (path.empty()) return path;
  std::string out = path;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  if (out != "/") out += '/';
  return out;
}

std::string ResolveProgramFolder(const std::string& home) {
  std::string chosen = home;
  if (chosen.empty()) {
    const char* env = std::getenv("TARVELIN_HOME");
    if (env) chosen = env;
  }
  if (chosen.empty()) chosen = fs::path(ExecutablePath()).parent_path().string();
  if (chosen.empty()) chosen = '.';
  std::error_code ec;
  fs::path absolute = fs::absolute(chosen, ec);
  return WithTrailingSlash((ec ? fs::path(chosen) : absolute).lexically_normal().string());
}

}  // namespace tarvelin
