#include "setup/setup_audit.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "service/audit_actor.h"
#include "service/audit_trail.h"
#include "service/settings.h"
#include "setup/instance.h"

namespace tarvelin {

namespace {
std::string OperatingSystemUser() {
  const uid_t uid = geteuid();
  const passwd* entry = getpwuid(uid);
  std::string name = entry && entry->pw_name ? entry->pw_name : "uid " + std::to_string(uid);
  // sudo keeps the name of whoever called it: the person behind a root or
  // service-user run.
  if (const char* caller = std::getenv("SUDO_USER"); caller && *caller && name != caller)
    name += " (sudo " + std::string(caller) + ")";
  return name;
}

// A day's audit file first made by root would shut the service user out of
// it for the rest of the day: it goes to the owner of the logs folder. The
// file is opened without following a link, so a link planted in the folder
// cannot hand over another file.
void HandOverToLogsOwner(const std::string& file) {
  struct stat folder {}, written {};
  if (geteuid() != 0 || stat(ServerSettings.LogFolder.c_str(), &folder) != 0 || folder.st_uid == 0) return;
  const int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  if (fstat(fd, &written) == 0 && S_ISREG(written.st_mode) && written.st_uid == 0) {
    // A failure leaves it as it is: this line is written, only later ones may be lost.
    [[maybe_unused]] const int result = fchown(fd, folder.st_uid, folder.st_gid);
  }
  close(fd);
}
}  // namespace

void AuditSetupChange(const std::string& dir, const AuditEvent& event) {
  ServerSettings.LogFolder = InstanceFolder(dir) + "logs/";
  std::error_code ignored;
  std::filesystem::create_directories(ServerSettings.LogFolder, ignored);
  StartAuditTrail();
  {
    const AuditActorScope actor({"setup", OperatingSystemUser(), "local"});
    WriteAudit(event);
  }
  HandOverToLogsOwner(DailyAuditPath());
  StopAuditTrail();
}

}  // namespace tarvelin
