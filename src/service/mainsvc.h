#pragma once
// The service frame: start-up and shutdown in their fixed order.
//
// The long-running components live in higher layers, so the executable hands
// them in as hooks; an empty hook means the component is not built in. Each
// start hook may throw: ServiceStart logs the failure and starts the rest.
#include <functional>
#include <string>

#include "platform/program_folder.h"

namespace tarvelin {

struct ServiceComponents {
  // Whether the stored data is fit to serve; false with the reason refuses
  // the start before any listener opens.
  std::function<bool(std::string& reason)> CheckStorage;
  std::function<void(int port, const std::string& programFolder)> StartHL7;  // HL7 listener
  std::function<void(const std::string& port)> StartDicom;                    // DICOM listener thread
  std::function<void(int port)> StartWeb;                                     // HTTP server
  std::function<void()> StartHousekeeping;                                    // housekeeping thread
  std::function<void()> StopWeb;           // deactivate and destroy the HTTP server
  std::function<void()> StopDicom;         // end the listener and its associations, joined
  std::function<void()> StopHL7;           // end the HL7 listener and its connections, joined
  std::function<void()> StopHousekeeping;  // ask the housekeeping thread to end
};

// The first steps of every run on an instance: sets the folders in
// ServerSettings and creates the missing ones, opens the day's log, logs
// `firstLine` and reads TRVGUI.ini into ServerSettings.
void PrepareInstance(const std::string& programFolder, const std::string& firstLine);

// Creates the working folders, opens the day's log, logs the start line, reads
// TRVGUI.ini into ServerSettings and starts the components: HL7, DICOM, web,
// housekeeping. A component that fails is logged and the rest start; only
// storage the server would misread refuses the start (logged, then thrown as
// std::runtime_error). `programFolder` is the instance folder, ending with "/";
// `executable` is the file whose version stamp the start line shows.
void ServiceStart(const std::string& programFolder, const ServiceComponents& components,
                  const std::string& executable = RunningExecutable());

// Stops the web server, the DICOM listener with its associations, the HL7
// listener with its connections and housekeeping, logs the finishing line and
// releases the log target.
void ServiceStop(const ServiceComponents& components, const std::string& executable = RunningExecutable());

}  // namespace tarvelin
