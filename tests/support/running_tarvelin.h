#pragma once
// A real `tarvelin --home DIR` for end-to-end tests: a temporary instance
// folder on free ports, set up by a written TRVGUI.ini or by `tarvelin-setup`,
// started as a child process, read through its logs and stopped by SIGTERM.
// When the tests run on PostgreSQL (support/test_backend.h) its data lives in
// a schema of its own there.
#include <functional>
#include <memory>
#include <string>

#include "db/storage_location.h"
#include "support/test_backend.h"

namespace tarvelin {

class ChildProcess;

class TarvelinInstance {
 public:
  // Makes the folder /tmp/tarvelin-<tag>-XXXXXX/ and picks free DICOM, HL7 and
  // web ports (`hl7Port` for HL7 when it is not 0).
  explicit TarvelinInstance(const std::string& tag, int hl7Port = 0);
  // Stops the server (SIGTERM, then SIGKILL if it lingers), fails the test when
  // it reported a sanitizer error, and removes the folder.
  ~TarvelinInstance();
  TarvelinInstance(const TarvelinInstance&) = delete;
  TarvelinInstance& operator=(const TarvelinInstance&) = delete;

  // Writes TRVGUI.ini: section [TRVSVC] with `extraLines`, the three ports and
  // on PostgreSQL the Database setting.
  void WriteIni(const std::string& extraLines = "") const;
  // `tarvelin-setup init` with that admin password (and on PostgreSQL the
  // schema as its database), then `config` of the three ports; "" when all
  // went well, else what the tool printed.
  std::string InitWithSetupTool(const std::string& adminPassword) const;
  // `tarvelin-setup config` of one [TRVSVC] key; "" when it went well.
  std::string Configure(const std::string& key, const std::string& value) const;

  // Starts the server; false when it could not be started.
  bool Start();
  // Waits until `done` holds for the log; false when `timeoutMs` passed or the
  // server ended first.
  bool WaitForLog(const std::function<bool(const std::string&)>& done, int timeoutMs) const;
  // Waits until `needle` occurs at least `count` times in the log.
  bool WaitForLog(const std::string& needle, int count, int timeoutMs) const;
  // Sends SIGTERM and waits for the end; false when it still runs after `timeoutMs`.
  bool Terminate(int timeoutMs);
  // Kills the server at once (SIGKILL), as a power cut would, and waits for it.
  void Kill();
  // The exit code of the ended server (-1 while it runs or when a signal ended it).
  int ExitStatus() const;

  const std::string& Home() const { return home_; }  // "" when it could not be made; else ends in "/"
  int DicomPort() const { return dicomPort_; }
  int HL7Port() const { return hl7Port_; }
  int WebPort() const { return webPort_; }
  // Where the instance keeps its data, for in-process reads and writes.
  StorageLocation Storage() const { return TestStorage(home_, schema_); }

  // Everything logged so far (all daily log files of the instance).
  std::string Log() const;
  // What the server printed on stdout and stderr.
  std::string Console() const;

 private:
  bool Running() const;

  TestSchema schema_;
  std::string home_;
  int dicomPort_ = 0;
  int hl7Port_ = 0;
  int webPort_ = 0;
  std::unique_ptr<ChildProcess> server_;
};

}  // namespace tarvelin
