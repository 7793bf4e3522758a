#pragma once
// The set-up tool's changes in the instance's audit trail, one line each as
// the server writes them (service/audit_trail.h): the actor is "setup" and
// the operating-system user running the tool (and, when sudo started it, who
// called sudo), the address "local".
#include <string>

#include "service/audit_event.h"

namespace tarvelin {

// Writes `event` to the audit trail of the instance folder `dir`: the day's
// file in its logs/ folder and, when the settings already read name one, the
// AuditSyslog target. Never reports; a line that cannot be written is lost,
// as in the server.
void AuditSetupChange(const std::string& dir, const AuditEvent& event);

}  // namespace tarvelin
