#include "support/log_file.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <vector>

#include "service/log.h"

namespace tarvelin {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string ReadLogFolder(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.path().string().ends_with(suffix)) files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  std::string text;
  for (const std::string& file : files) text += ReadFile(file);
  return text;
}

int CountOf(const std::string& text, const std::string& needle) {
  int count = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
    ++count;
  return count;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

LogCapture::LogCapture() {
  char pattern[] = "/tmp/tarvelin-log-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp");
  folder_ = pattern;
  file_ = folder_ + "/test.log";
  SetLogTarget(file_);
}

LogCapture::~LogCapture() {
  ClearLogTarget();
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

std::string LogCapture::Text() const { return ReadFile(file_); }

bool LogCapture::WaitFor(const std::string& needle, int count, int timeoutMs) const {
  return WaitUntil([&] { return CountOf(Text(), needle) >= count; }, timeoutMs);
}

}  // namespace tarvelin
