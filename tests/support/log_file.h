#pragma once
// Reading and waiting on log files: the test's own log (LogCapture) and the
// daily log files a `tarvelin` instance writes.
#include <functional>
#include <string>

namespace tarvelin {

// The whole content of a file ("" when it cannot be read).
std::string ReadFile(const std::string& path);

// Every file of `folder` whose name ends in `suffix`, in name order, joined
// ("" when there is no such folder).
std::string ReadLogFolder(const std::string& folder, const std::string& suffix = "");

// Number of times `needle` occurs in `text`.
int CountOf(const std::string& text, const std::string& needle);

// Polls `done` every 20 ms until it holds or `timeoutMs` have passed.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

// Points this process's log at a fresh temporary file while alive.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string Text() const;
  bool Contains(const std::string& piece) const { return Text().find(piece) != std::string::npos; }
  // Waits until `needle` occurs at least `count` times.
  bool WaitFor(const std::string& needle, int count, int timeoutMs) const;

 private:
  std::string folder_;
  std::string file_;
};

}  // namespace tarvelin
