#include "service/log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "platform/clock.h"
#include "service/log_line.h"
#include "service/log_peer.h"
#include "service/repeated_line_limiter.h"
#include "service/settings.h"

namespace tarvelin {

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
  // loses the line. A file that would grow past `rotateBytes` (0: no
  // bound) is first moved aside (see Rotate).
  void Append(std::string_view line, std::uint64_t rotateBytes, int rotateFiles) {
    if (target_.empty()) return;
    if (fd_ >= 0 && RecheckDue() && !StillTheTarget()) Close();
    if (fd_ < 0) Open();
    if (fd_ >= 0 && rotateBytes > 0 && size_ > 0 && size_ + line.size() > rotateBytes) {
      Close();
      Rotate(rotateFiles);
      Open();
    }
    if (fd_ < 0) return;
    const char* next = line.data();
    std::size_t left = line.size();
    while (left > 0) {
      const ssize_t written = ::write(fd_, next, left);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return;
      next += written;
      left -= static_cast<std::size_t>(written);
      size_ += static_cast<std::uint64_t>(written);
    }
  }

  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  // The log holds patient names and whole orders: readable by the owner's
  // group at most, also when an older file was made more open.
  void Open() {
    fd_ = ::open(target_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    struct stat opened {};
    if (fd_ >= 0 && ::fstat(fd_, &opened) != 0) Close();
    if (fd_ >= 0 && (opened.st_mode & 0137) != 0) ::fchmod(fd_, opened.st_mode & 0640);
    device_ = opened.st_dev;
    inode_ = opened.st_ino;
    size_ = static_cast<std::uint64_t>(opened.st_size);
    checked_ = std::chrono::steady_clock::now();
  }

  // Size-based rotation beside the daily file: NAME.1 is the newest part
  // moved aside, NAME.<rotateFiles> the oldest kept; an older one is removed,
  // so one day's log never takes more than (rotateFiles + 1) parts.
  void Rotate(int rotateFiles) {
    if (rotateFiles < 1) {
      ::unlink(target_.c_str());
      return;
    }
    ::unlink((target_ + "." + std::to_string(rotateFiles)).c_str());
    for (int n = rotateFiles - 1; n >= 1; --n)
      ::rename((target_ + "." + std::to_string(n)).c_str(), (target_ + "." + std::to_string(n + 1)).c_str());
    ::rename(target_.c_str(), (target_ + ".1").c_str());
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
  std::uint64_t size_ = 0;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  std::chrono::steady_clock::time_point checked_;
};

std::mutex logBusy;
LogFile logFile;
RepeatedLineLimiter repeatedLines;  // guarded by logBusy


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
  line.assign(Stamp());
  AppendLogText(line, text, static_cast<std::size_t>(ServerSettings.LogLineLimit));
  if (!peer.empty()) line.append(", from ").append(peer);
  line.append("\r\n");
}

}  // namespace

void WriteLog(std::string_view text) {
  try {
    // Built in memory the thread keeps, so a line costs no allocation.
    thread_local std::string line;
    const std::string& peer = CurrentLogPeer();
    BuildLine(line, text, peer);
    const std::uint64_t rotateBytes = static_cast<std::uint64_t>(ServerSettings.LogRotateMB) << 20;
    std::lock_guard<std::mutex> hold(logBusy);
    if (!peer.empty() && IsComplaint(text)) {
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
