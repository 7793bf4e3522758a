#include "service/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/clock.h"
#include "service/settings.h"

namespace {

// The log file, kept open between lines. Everything here is guarded by
// logBusy, the one lock for the line being written and for the target, so a
// target change never lands in the middle of a line.
class LogFile {
 public:
  const std::string& Target() const { return target_; }

  void SetTarget(const std::string& path) {
    if (path == target_) return;
    Close();
    target_ = path;
  }

  // Appends one whole line with one write; a file that cannot be opened
  // loses the line.
  void Append(std::string_view line) {
    if (target_.empty()) return;
    if (fd_ >= 0 && RecheckDue() && !StillTheTarget()) Close();
    if (fd_ < 0) Open();
    if (fd_ < 0) return;
    const char* next = line.data();
    std::size_t left = line.size();
    while (left > 0) {
      const ssize_t written = ::write(fd_, next, left);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return;
      next += written;
      left -= static_cast<std::size_t>(written);
    }
  }

  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  void Open() {
    fd_ = ::open(target_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    struct stat opened {};
    if (fd_ >= 0 && ::fstat(fd_, &opened) != 0) Close();
    device_ = opened.st_dev;
    inode_ = opened.st_ino;
    checked_ = std::chrono::steady_clock::now();
  }

  // Looking the name up again for every line would cost a system call per
  // line; a busy worklist answer writes thousands a second.
  bool RecheckDue() {
    const auto now = std::chrono::steady_clock::now();
    if (now - checked_ < std::chrono::milliseconds(100)) return false;
    checked_ = now;
    return true;
  }

  // Other programs may read, move (rotate) or remove the file between lines:
  // the next line then starts a new file under the target name.
  bool StillTheTarget() const {
    struct stat named {};
    return ::stat(target_.c_str(), &named) == 0 && named.st_dev == device_ && named.st_ino == inode_;
  }

  std::string target_;
  int fd_ = -1;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  std::chrono::steady_clock::time_point checked_;
};

std::mutex logBusy;
LogFile logFile;

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

}  // namespace

void WriteLog(std::string_view text) {
  try {
    // Built in memory the thread keeps, so a line costs no allocation.
    thread_local std::string line;
    line.assign(Stamp()).append(text).append("\r\n");
    std::lock_guard<std::mutex> hold(logBusy);
    logFile.Append(line);
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
