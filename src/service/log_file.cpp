#include "service/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tarvelin {

void LogFile::SetTarget(const std::string& path) {
  if (path == target_) return;
  Close();
  target_ = path;
}

void LogFile::Append(std::string_view line, std::uint64_t rotateBytes, int rotateFiles) {
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

void LogFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void LogFile::Open() {
  // Never through a link: whoever may write in the logs folder could
  // otherwise point a day's file at any file the writer may change, and
  // the set-up tool writes its audit lines as root.
  fd_ = ::open(target_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0640);
  struct stat opened {};
  if (fd_ >= 0 && ::fstat(fd_, &opened) != 0) Close();
  if (fd_ >= 0 && (opened.st_mode & 0137) != 0) ::fchmod(fd_, opened.st_mode & 0640);
  device_ = opened.st_dev;
  inode_ = opened.st_ino;
  size_ = static_cast<std::uint64_t>(opened.st_size);
  checked_ = std::chrono::steady_clock::now();
}

// Rotation beside the daily file: an older part than NAME.<rotateFiles> is
// removed, so one day's log never takes more than (rotateFiles + 1) parts.
void LogFile::Rotate(int rotateFiles) {
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
bool LogFile::RecheckDue() {
  const auto now = std::chrono::steady_clock::now();
  if (now - checked_ < std::chrono::milliseconds(100)) return false;
  checked_ = now;
  return true;
}

bool LogFile::StillTheTarget() const {
  struct stat named {};
  return ::stat(target_.c_str(), &named) == 0 && named.st_dev == device_ && named.st_ino == inode_;
}

}  // namespace tarvelin
