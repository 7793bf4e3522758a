#include "dimse/log_capture.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "dimse/running_server.h"
#include "service/log.h"

LogCapture::LogCapture() {
  char name[] = "/tmp/tarvelin-dimse-log-XXXXXX";
  int fd = mkstemp(name);
  if (fd >= 0) close(fd);
  path_ = name;
  SetLogTarget(path_);
}

LogCapture::~LogCapture() {
  ClearLogTarget();
  std::remove(path_.c_str());
}

std::string LogCapture::Text() const {
  std::ifstream in(path_, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool LogCapture::WaitFor(const std::string& needle, int count, int timeoutMs) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (CountOf(Text(), needle) < count) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
