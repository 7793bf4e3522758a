#include "dimse/log_capture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

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

std::string LogCapture::Text() const { return ReadFile(path_); }

bool LogCapture::WaitFor(const std::string& needle, int count, int timeoutMs) const {
  return WaitUntil([&] { return CountOf(Text(), needle) >= count; }, timeoutMs);
}
