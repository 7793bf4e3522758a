#pragma once
// The housekeeping component of the service, and the one-off run of the
// `tarvelin HOUSEKEEPING` command.
#include <string>

namespace tarvelin {

// Starts the process-wide housekeeping thread (ServiceStart's last step).
void StartHousekeeping();
// Asks it to end and waits a little for it; a thread still busy with a PACS
// question is left to end on its own.
void StopHousekeeping();

// One ageing pass (with the PACS rule when configured) and one drop-folder
// scan now, on the instance in `programFolder`, logged in its daily log.
// Returns the exit code: 0 done, 1 the database cannot be used (the drop
// folder is then left alone: every order in it would fail).
int RunHousekeepingOnce(const std::string& programFolder);

}  // namespace tarvelin
