#include "service/log.h"

#include <cstdio>
#include <mutex>

#include "platform/clock.h"
#include "service/settings.h"

namespace {
// One lock for the line being written and for the target path, so a target
// change never lands in the middle of a line.
std::mutex logBusy;
std::string target;
}  // namespace

void WriteLog(const std::string& text) {
  try {
    std::tm t = LocalTime(Now());
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d, ", t.tm_hour, t.tm_min, t.tm_sec);
    std::string line = stamp + text + "\r\n";
    std::lock_guard<std::mutex> hold(logBusy);
    if (target.empty()) return;
    if (FILE* f = std::fopen(target.c_str(), "ab")) {
      std::fwrite(line.data(), 1, line.size(), f);
      std::fclose(f);
    }
  } catch (...) {
    // A line that cannot be built or written is lost, never reported.
  }
}

bool DebugLogOn() { return ServerSettings.LogLevel > 1; }

void WriteDebugLog(const std::string& text) {
  if (DebugLogOn()) WriteLog(text);
}

void SetLogTarget(const std::string& path) {
  if (path.empty()) return;
  std::lock_guard<std::mutex> hold(logBusy);
  target = path;
}

void ClearLogTarget() {
  std::lock_guard<std::mutex> hold(logBusy);
  target.clear();
}

std::string LogTarget() {
  std::lock_guard<std::mutex> hold(logBusy);
  return target;
}

std::string DailyLogPath() {
  std::tm t = LocalTime(Now());
  char date[48];
  std::snprintf(date, sizeof date, "%04d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return ServerSettings.LogFolder + date + "_tarvelin.log";
}
