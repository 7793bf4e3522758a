#include "service/log.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/clock.h"
#include "service/log_file.h"
#include "service/log_line.h"
#include "service/log_peer.h"
#include "service/repeated_line_limiter.h"
#include "service/settings.h"

namespace tarvelin {

namespace {

// The one lock for the line being written and for the target, so a target
// change never lands in the middle of a line.
std::mutex logBusy;
LogFile logFile;
RepeatedLineLimiter repeatedLines;  // guarded by logBusy

// The lines a LogBatch of this thread gathers; null outside one.
thread_local std::string* batchedLines = nullptr;

// "HH:MM:SS, " of the current local time, worked out once per second per
// thread.
std::string_view Stamp() {
  thread_local std::time_t second = -1;
  thread_local char stamp[16];
  const std::time_t now = Clock::to_time_t(Now());
  if (now != second) {
    std::tm t = LocalTime(Clock::from_time_t(now));
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d, ", t.tm_hour, t.tm_min, t.tm_sec);
    second = now;
  }
  return {stamp, 10};
}

bool IsComplaint(std::string_view text) { return text.rfind("ERROR", 0) == 0 || text.rfind("WARNING", 0) == 0; }

// Appends one finished line (stamp, safe text, the peer) to `line`.
void BuildLine(std::string& line, std::string_view text, const std::string& peer) {
  line.append(Stamp());
  AppendLogText(line, text, static_cast<std::size_t>(ServerSettings.LogLineLimit));
  if (!peer.empty()) line.append(", from ").append(peer);
  line.append("\r\n");
}

std::uint64_t RotateBytes() { return static_cast<std::uint64_t>(ServerSettings.LogRotateMB) << 20; }

void WriteBatch(std::string& lines) {
  if (lines.empty()) return;
  {
    std::lock_guard<std::mutex> hold(logBusy);
    logFile.Append(lines, RotateBytes(), ServerSettings.LogRotateFiles);
  }
  lines.clear();
}

}  // namespace

LogBatch::LogBatch() {
  thread_local std::string lines;
  lines.clear();
  batchedLines = &lines;
}

LogBatch::~LogBatch() {
  std::string* lines = batchedLines;
  batchedLines = nullptr;
  try {
    WriteBatch(*lines);
  } catch (...) {
  }
}

void WriteLog(std::string_view text) {
  try {
    // Built in memory the thread keeps, so a line costs no allocation.
    thread_local std::string line;
    const std::string& peer = CurrentLogPeer();
    const bool complaint = IsComplaint(text);
    if (batchedLines && !complaint) {
      std::string& lines = *batchedLines;
      BuildLine(lines, text, peer);
      if (lines.size() >= LogBatch::Bytes) WriteBatch(lines);
      return;
    }
    if (batchedLines) WriteBatch(*batchedLines);
    line.clear();
    BuildLine(line, text, peer);
    const std::uint64_t rotateBytes = RotateBytes();
    std::lock_guard<std::mutex> hold(logBusy);
    if (!peer.empty() && complaint) {
      int suppressed = 0;
      if (!repeatedLines.Admit(peer, text, std::chrono::steady_clock::now(), suppressed)) return;
      if (suppressed > 0) {
        std::string note;
        BuildLine(note, "WARNING, " + std::to_string(suppressed) + " identical lines not written, the next one follows",
                  peer);
        logFile.Append(note, rotateBytes, ServerSettings.LogRotateFiles);
      }
    }
    logFile.Append(line, rotateBytes, ServerSettings.LogRotateFiles);
  } catch (...) {
    // A line that cannot be built or written is lost, never reported.
  }
}

bool DebugLogOn() { return ServerSettings.LogLevel > 1; }

void WriteDebugLog(std::string_view text) {
  if (DebugLogOn()) WriteLog(text);
}

void SetLogTarget(const std::string& path) {
  if (path.empty()) return;
  std::lock_guard<std::mutex> hold(logBusy);
  logFile.SetTarget(path);
}

void ClearLogTarget() {
  std::lock_guard<std::mutex> hold(logBusy);
  logFile.SetTarget("");
}

std::string LogTarget() {
  std::lock_guard<std::mutex> hold(logBusy);
  return logFile.Target();
}

std::string DailyLogPath() {
  std::tm t = LocalTime(Now());
  char date[48];
  std::snprintf(date, sizeof date, "%04d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return ServerSettings.LogFolder + date + "_tarvelin.log";
}

}  // namespace tarvelin
