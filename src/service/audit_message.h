#pragma once
// One audit event as a DICOM audit message (the XML AuditMessage of the
// DICOM Audit Trail Message Format profile, the heir of RFC 3881), what an
// IHE ATNA audit record repository takes over syslog. The event's name
// decides the message: web and HL7 changes of worklist entries are an
// Order Record (DCM 110109), procedure steps a Procedure Record (110111),
// changes of web users a Security Alert (110113, User Security Attributes
// Changed), web logins a User Authentication (110114, Login). The actor is
// the requesting participant, our application the other; the patient (and
// the accession number, the procedure step's SOP Instance UID) or the user
// touched is the participant object. Every value is escaped for XML, bytes
// that are not UTF-8 are read as Windows-1252 and characters XML cannot
// carry become U+FFFD, so no value can break the message.
#include <string>

#include "platform/clock.h"
#include "service/audit_actor.h"
#include "service/audit_event.h"

namespace tarvelin {

// Who writes the messages.
struct AuditSource {
  std::string aeTitle;   // our AE title
  std::string hostName;  // this machine
};

std::string DicomAuditMessage(const AuditEvent& event, const AuditActor& actor, const AuditSource& source,
                              Clock::time_point at);

// `text` as XML character data or attribute value (the rules above).
std::string XmlEscaped(const std::string& text);

}  // namespace tarvelin
