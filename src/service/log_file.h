#pragma once
// An append-only text file written one whole line at a time, kept open
// between lines. Other programs may read, move (rotate) or remove it between
// lines: within a tenth of a second the next line starts a new file under the
// target name. Files are created 0640 (logs hold patient names and whole
// orders); an older file that is more open is narrowed. Not thread-safe: the
// owner holds its own lock around every call.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvelin {

class LogFile {
 public:
  LogFile() = default;
  ~LogFile() { Close(); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  const std::string& Target() const { return target_; }

  // Lines go to `path` from now on ("" : nowhere).
  void SetTarget(const std::string& path);

  // Appends one whole line with one write; a file that cannot be opened
  // loses the line. A file that would grow past `rotateBytes` (0: no
  // bound) is first moved aside: NAME.1 is the newest part moved aside,
  // NAME.<rotateFiles> the oldest kept.
  void Append(std::string_view line, std::uint64_t rotateBytes = 0, int rotateFiles = 0);

  void Close();

 private:
  void Open();
  void Rotate(int rotateFiles);
  bool RecheckDue();
  bool StillTheTarget() const;

  std::string target_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  std::chrono::steady_clock::time_point checked_;
};

}  // namespace tarvelin
