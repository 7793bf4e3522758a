#pragma once
// The text of one audit event: a JSON object on one line (JSON Lines), the
// same text in the audit file and in a syslog message. Members, in order:
//   "time"       local time with milliseconds and UTC offset (RFC 3339)
//   "event"      what happened ("entry-edit", ...)
//   "action"     ATNA's event action code: "C", "U", "D" or "E"
//   "outcome"    "success" or "failure"
//   "actorType", "actor", "address"   who did it, from where
//   "objectType", "object"            what it touched
//   "changes"    [{"field", "old", "new"}, ...] (left out when empty)
//   "detail"     a short note (left out when empty)
// Strings are valid UTF-8 whatever their bytes: well-formed UTF-8 is kept,
// any other byte is read as Windows-1252, control characters are escaped,
// so no value can break the line or the JSON.
#include <string>

#include "platform/clock.h"
#include "service/audit_actor.h"
#include "service/audit_event.h"

namespace tarvelin {

std::string AuditLine(const AuditEvent& event, const AuditActor& actor, Clock::time_point at);

// ATNA's event action code of `action`: "C", "U", "D" or "E".
const char* AuditActionCode(AuditAction action);

// `text` as a JSON string, quotes included (the rules above).
std::string JsonString(const std::string& text);

// "2026-03-05T14:30:15.123+01:00": local time of `at`.
std::string Rfc3339Time(Clock::time_point at);

}  // namespace tarvelin
