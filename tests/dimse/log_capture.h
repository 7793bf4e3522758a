#pragma once
// Points the log at a fresh temporary file for one test and reads it back.
#include <string>

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string Text() const;
  // Waits until `needle` occurs at least `count` times.
  bool WaitFor(const std::string& needle, int count, int timeoutMs) const;

 private:
  std::string path_;
};
