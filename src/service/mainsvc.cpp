#include "service/mainsvc.h"

#include <exception>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "platform/file_version.h"
#include "service/audit_trail.h"
#include "service/ini_settings.h"
#include "service/log.h"
#include "service/settings.h"
#include "service/text.h"

namespace tarvelin {

namespace {
// A folder that cannot be created is not reported here: the file operations
// in it fail and report in their own places.
void CreateFolder(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
}

// A listening port written in the ini file; like text that is not a number, a
// number that is no TCP port gives the default (it would otherwise wrap around).
int PortNumber(const std::string& text, int fallback) {
  const long long port = ToIntDef(text, fallback);
  return port >= 0 && port <= 65535 ? static_cast<int>(port) : fallback;
}

// Runs one start or stop step; a failure's text comes back through `reason`.
bool Attempt(const std::function<void()>& step, std::string& reason) {
  try {
    step();
    return true;
  } catch (const std::exception& e) {
    reason = e.what();
  } catch (...) {
    reason.clear();
  }
  return false;
}

void StartHL7(const ServiceComponents& c) {
  if (!c.StartHL7) return;
  const int port = PortNumber(ServerSettings.HL7Port, 2100);
  std::string reason;
  if (Attempt([&] { c.StartHL7(port, ServerSettings.ProgramFolder); }, reason))
    WriteLog("INFO, Initialized HL7 server at port: " + ServerSettings.HL7Port);
  else
    WriteLog("ERROR, hl7server: " + reason);
}

void StartDicom(const ServiceComponents& c) {
  if (!c.StartDicom) return;
  // A port that cannot be opened is reported by the listener thread itself.
  std::string reason;
  if (!Attempt([&] { c.StartDicom(ServerSettings.WL_Port); }, reason))
    WriteLog("ERROR, ServiceStart, DICOM listener: " + reason);
}

void StartWeb(const ServiceComponents& c) {
  if (!c.StartWeb) return;
  const int port = PortNumber(ServerSettings.WEBPort, 80);
  std::string reason;
  if (Attempt([&] { c.StartWeb(port); }, reason))
    WriteLog("INFO, Initialized WEB server at port: " + ServerSettings.WEBPort);
  else
    WriteLog("ERROR, Exception Activating WEB server in Port: " + std::to_string(port));
}

void StartHousekeeping(const ServiceComponents& c) {
  if (!c.StartHousekeeping) return;
  std::string reason;
  if (!Attempt(c.StartHousekeeping, reason)) WriteLog("ERROR, ServiceStart, housekeeping: " + reason);
}

void StopStep(const std::function<void()>& step, const std::string& what) {
  if (!step) return;
  std::string reason;
  if (!Attempt(step, reason)) WriteLog("ERROR, ServiceStop, " + what + ": " + reason);
}
}  // namespace

void PrepareInstance(const std::string& programFolder, const std::string& firstLine) {
  ServerSettingsRecord& s = ServerSettings;
  s.ProgramFolder = programFolder;
  s.LogFolder = programFolder + "logs/";
  s.HL7InFolder = programFolder + "HL7in/";
  s.HL7OutFolder = programFolder + "HL7out/";
  for (const std::string* folder : {&s.LogFolder, &s.HL7InFolder, &s.HL7OutFolder}) CreateFolder(*folder);

  SetLogTarget(DailyLogPath());
  WriteLog(firstLine);

  ReadIniSettings(programFolder + "TRVGUI.ini");
  StartAuditTrail();
}

void ServiceStart(const std::string& programFolder, const ServiceComponents& components, const std::string& executable) {
  PrepareInstance(programFolder, "INFO, **** Tarvelin V" + FileVersionText(executable) + " is starting ****");

  std::string reason;
  if (components.CheckStorage && !components.CheckStorage(reason)) {
    WriteLog("ERROR, ServiceStart, not started: " + reason);
    throw std::runtime_error("not started: " + reason);
  }

  StartHL7(components);
  StartDicom(components);
  StartWeb(components);
  StartHousekeeping(components);
}

void ServiceStop(const ServiceComponents& components, const std::string& executable) {
  StopStep(components.StopWeb, "web server");
  StopStep(components.StopDicom, "DICOM listener");
  StopStep(components.StopHL7, "HL7 listener");
  StopStep(components.StopHousekeeping, "housekeeping");
  WriteLog("INFO, **** Tarvelin V" + FileVersionText(executable) + " is finishing ****");
  StopAuditTrail();
  ClearLogTarget();
}

}  // namespace tarvelin
