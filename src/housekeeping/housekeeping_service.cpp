#include "housekeeping/housekeeping_service.h"

#include <iostream>
#include <memory>

#include "db/storage_location.h"
#include "hl7/drop_folder.h"
#include "housekeeping/timer_thread.h"
#include "housekeeping/worklist_ageing.h"
#include "platform/file_version.h"
#include "platform/program_folder.h"
#include "service/log.h"
#include "service/mainsvc.h"
#include "service/settings.h"

namespace tarvelin {

namespace {
// The running housekeeping thread (HousekeepingThread of the service), or none.
std::unique_ptr<TimerThread> housekeeping;
// How long the stop handler waits for a pass that is under way.
constexpr int kEndWaitMs = 5000;
}  // namespace

void StartHousekeeping() {
  StopHousekeeping();
  housekeeping = std::make_unique<TimerThread>(RunningExecutable());
  housekeeping->Start();
}

void StopHousekeeping() {
  if (!housekeeping) return;
  housekeeping->Terminate();
  // A thread still waiting for a PACS answer keeps its object: it still uses it.
  if (housekeeping->WaitFor(kEndWaitMs))
    housekeeping.reset();
  else
    static_cast<void>(housekeeping.release());
}

int RunHousekeepingOnce(const std::string& programFolder) {
  PrepareInstance(programFolder, "INFO, **** Tarvelin V" + FileVersionText(RunningExecutable()) +
                                     " housekeeping run from the command line ****");
  StorageLocation storage;
  std::string error;
  if (!StorageOfInstance(programFolder, ServerSettings.Database, storage, error)) {
    WriteLog("ERROR, HOUSEKEEPING, " + error);
    std::cerr << "tarvelin: " << error << "\n";
    return 1;
  }
  UseStorage(storage);
  const ServerSettingsRecord& s = ServerSettings;
  const bool aged = UpdateWorklistStatus(s.PACS_AET, s.PACS_IP, s.PACS_Port, s.WL_AET, s.DeletePACS, s.DeleteOld);
  if (!aged) {
    WriteLog("ERROR, HOUSEKEEPING, the database cannot be used; the drop folder is left for later");
    std::cerr << "tarvelin: the database "
              << (storage.OnPostgres() ? std::string("on PostgreSQL") : programFolder + "database/quillat.db")
              << " cannot be used (see the log in " << s.LogFolder << ")\n";
  } else {
    CheckHL7Messages();
  }
  WriteLog("INFO, **** Tarvelin housekeeping run finished ****");
  ClearLogTarget();
  return aged ? 0 : 1;
}

}  // namespace tarvelin
