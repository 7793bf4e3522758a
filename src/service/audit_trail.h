#pragma once
// The audit trail: every change of the worklist, of a performed procedure
// step and of the web users, and every refused web login, as one line (see
// audit_line.h) in a log of its own, the day's
// ServerSettings.LogFolder + "yyyymmdd_audit.log" (created 0640, never
// rotated by size: nothing of the trail is dropped), and, when
// ServerSettings.AuditSyslog names a target, as an RFC 5424 syslog message
// carrying that line or, with ServerSettings.AuditSyslogDicom, the DICOM
// audit message of the event (audit_message.h).
// The actor is the thread's CurrentAuditActor(). Any thread may call; lines
// are written whole, one at a time. Never throws, never reports.
#include "service/audit_event.h"

namespace tarvelin {

void WriteAudit(const AuditEvent& event);

// Opens the syslog target of ServerSettings.AuditSyslog (a target that
// cannot be used is logged and left off). Call after the settings are read.
void StartAuditTrail();

// Closes the syslog target and the file.
void StopAuditTrail();

// The day's audit file: ServerSettings.LogFolder + local date + "_audit.log".
std::string DailyAuditPath();

}  // namespace tarvelin
