#include "service/audit_trail.h"

#include <cstdio>
#include <mutex>

#include "platform/clock.h"
#include "service/audit_line.h"
#include "service/audit_message.h"
#include "service/log.h"
#include "service/log_file.h"
#include "service/settings.h"
#include "service/syslog_sender.h"

namespace tarvelin {

namespace {
std::mutex auditBusy;  // one line at a time, and the targets
LogFile auditFile;
SyslogSender syslogTarget;
}  // namespace

std::string DailyAuditPath() {
  if (ServerSettings.LogFolder.empty()) return "";
  const std::tm t = LocalTime(Now());
  char date[48];
  std::snprintf(date, sizeof date, "%04d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return ServerSettings.LogFolder + date + "_audit.log";
}

void WriteAudit(const AuditEvent& event) {
  try {
    const Clock::time_point at = Now();
    const AuditActor& actor = CurrentAuditActor();
    const std::string line = AuditLine(event, actor, at);
    const std::string path = DailyAuditPath();
    std::lock_guard<std::mutex> hold(auditBusy);
    auditFile.SetTarget(path);
    auditFile.Append(line + "\n");
    if (!syslogTarget.IsOpen()) return;
    if (ServerSettings.AuditSyslogDicom) {
      // The MSGID IHE ATNA gives audit messages in syslog.
      const AuditSource source{ServerSettings.WL_AET, syslogTarget.HostName()};
      syslogTarget.Send("IHE+RFC-3881", DicomAuditMessage(event, actor, source, at), at);
    } else {
      syslogTarget.Send("audit", line, at);
    }
  } catch (...) {
    // An event that cannot be built or written is lost, never reported.
  }
}

void StartAuditTrail() {
  std::string error;
  std::lock_guard<std::mutex> hold(auditBusy);
  if (!syslogTarget.Open(ServerSettings.AuditSyslog, error))
    WriteLog("ERROR, AuditSyslog " + ServerSettings.AuditSyslog + " cannot be used, audit events go to the file only: " +
             error);
  else if (syslogTarget.IsOpen())
    WriteLog("INFO, audit events also go to syslog " + ServerSettings.AuditSyslog);
}

void StopAuditTrail() {
  std::lock_guard<std::mutex> hold(auditBusy);
  syslogTarget.Close();
  auditFile.SetTarget("");
}

}  // namespace tarvelin
