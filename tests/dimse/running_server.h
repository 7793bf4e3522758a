#pragma once
// A `tarvelin` process running on free ports in its own temporary instance
// folder, for end-to-end tests with external DICOM peers.
#include <sys/types.h>

#include <functional>
#include <string>

class RunningServer {
 public:
  // Writes TRVGUI.ini with free WL_Port, HL7Port and WEBPort, starts the
  // executable and waits until the DICOM listener has logged its port.
  RunningServer();
  // Stops the process (SIGTERM, then SIGKILL if it lingers), fails the test
  // when the server reported a sanitizer error, and removes the folder.
  ~RunningServer();
  RunningServer(const RunningServer&) = delete;
  RunningServer& operator=(const RunningServer&) = delete;

  bool Listening() const { return listening_; }
  const std::string& Home() const { return home_; }
  int DicomPort() const { return dicomPort_; }

  // Everything logged so far (all daily log files of the instance).
  std::string Log() const;
  // Waits until `needle` occurs at least `count` times in the log.
  bool WaitForLog(const std::string& needle, int count, int timeoutMs) const;
  // Sends SIGTERM and waits for the process to end; false when it did not in time.
  bool Terminate(int timeoutMs);
  // The exit status of the ended process (-1 while running or when killed).
  int ExitStatus() const { return exitStatus_; }

 private:
  std::string home_;
  int dicomPort_ = 0;
  pid_t pid_ = -1;
  int exitStatus_ = -1;
  bool listening_ = false;
};

// A TCP port nobody listens on right now.
int FreePort();

// Runs a shell command with a time limit of `timeoutSeconds`; its standard
// output and error go to `output`. Returns the exit status (124 on time-out).
int RunCommand(const std::string& command, int timeoutSeconds, std::string* output);

// Polls `done` every 20 ms until it holds or `timeoutMs` have passed.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

// The whole content of a file ("" when it cannot be read).
std::string ReadFile(const std::string& path);

// Number of times `needle` occurs in `text`.
int CountOf(const std::string& text, const std::string& needle);
