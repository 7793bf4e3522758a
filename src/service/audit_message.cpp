#include "service/audit_message.h"

#include "platform/codepage.h"
#include "service/audit_line.h"

namespace tarvelin {

namespace {
struct Code {
  const char* code;
  const char* system;
  const char* meaning;
};

// What the participant object of a message is.
enum class Touched { Order, Procedure, User, Nothing };

struct MessageKind {
  Code eventId;
  Code eventType;  // code "" : none
  Touched touched;
};

constexpr MessageKind kOrderRecord{{"110109", "DCM", "Order Record"}, {"", "", ""}, Touched::Order};
constexpr MessageKind kProcedureRecord{{"110111", "DCM", "Procedure Record"}, {"", "", ""}, Touched::Procedure};
constexpr MessageKind kUserChanged{
    {"110113", "DCM", "Security Alert"}, {"110137", "DCM", "User Security Attributes Changed"}, Touched::User};
constexpr MessageKind kLogin{{"110114", "DCM", "User Authentication"}, {"110122", "DCM", "Login"}, Touched::Nothing};

// Every event of the audit trail (audit_event.h), by name.
constexpr std::pair<const char*, const MessageKind*> kKinds[] = {
    {"entry-create", &kOrderRecord},        {"entry-edit", &kOrderRecord},     {"entry-status", &kOrderRecord},
    {"entry-delete", &kOrderRecord},        {"hl7-order", &kOrderRecord},      {"xml-order", &kOrderRecord},
    {"housekeeping-status", &kOrderRecord}, {"mpps-create", &kProcedureRecord}, {"mpps-set", &kProcedureRecord},
    {"user-create", &kUserChanged},         {"user-edit", &kUserChanged},      {"user-delete", &kUserChanged},
    {"login", &kLogin},                     {"login-failure", &kLogin},
};

// An event missing from the table still reaches the repository, as an alert.
constexpr MessageKind kOther{{"110113", "DCM", "Security Alert"}, {"", "", ""}, Touched::Nothing};

const MessageKind& KindOf(const std::string& event) {
  for (const auto& [name, kind] : kKinds)
    if (event == name) return *kind;
  return kOther;
}

std::string Attribute(const char* name, const std::string& value) {
  return std::string(" ") + name + "=\"" + XmlEscaped(value) + "\"";
}

std::string CodedValue(const char* element, const Code& code) {
  return std::string("<") + element + Attribute("csd-code", code.code) + Attribute("codeSystemName", code.system) +
         Attribute("originalText", code.meaning) + "/>";
}

std::string Element(const char* name, const std::string& text) {
  return std::string("<") + name + ">" + XmlEscaped(text) + "</" + name + ">";
}

// An IP address (2) or a machine name (1).
std::string NetworkAccessPoint(const std::string& id, bool address) {
  if (id.empty()) return "";
  return Attribute("NetworkAccessPointID", id) + Attribute("NetworkAccessPointTypeCode", address ? "2" : "1");
}

// The actor's participation: a person (web user), a DICOM AE, an HL7
// sender or a file; none for the server's own work (our application asks then).
std::string Requestor(const AuditActor& actor) {
  if (actor.who.empty()) return "";
  std::string text = "<ActiveParticipant" + Attribute("UserID", actor.who);
  if (actor.type == "calling AE") text += Attribute("AlternativeUserID", "AETITLES=" + actor.who);
  text += Attribute("UserIsRequestor", "true") + NetworkAccessPoint(actor.address, true) + ">";
  if (actor.type == "calling AE") text += CodedValue("RoleIDCode", {"110153", "DCM", "Source Role ID"});
  return text + "</ActiveParticipant>";
}

std::string OurApplication(const AuditSource& source, bool requestor) {
  return "<ActiveParticipant" + Attribute("UserID", source.aeTitle) +
         Attribute("AlternativeUserID", "AETITLES=" + source.aeTitle) +
         Attribute("UserIsRequestor", requestor ? "true" : "false") + NetworkAccessPoint(source.hostName, false) + ">" +
         CodedValue("RoleIDCode", {"110150", "DCM", "Application"}) + "</ActiveParticipant>";
}

// The note and the changes, "detail; field: old -> new; ...".
std::string Description(const AuditEvent& event) {
  std::string text = event.detail;
  for (const AuditChange& c : event.changes)
    text += (text.empty() ? "" : "; ") + c.field + ": " + c.before + " -> " + c.after;
  return text;
}

std::string ParticipantObject(const AuditEvent& event, Touched touched) {
  if (touched == Touched::Nothing) return "";
  std::string text = "<ParticipantObjectIdentification";
  if (touched == Touched::User) {
    text += Attribute("ParticipantObjectID", event.object) + Attribute("ParticipantObjectTypeCode", "1") +
            Attribute("ParticipantObjectTypeCodeRole", "11") + ">" +
            CodedValue("ParticipantObjectIDTypeCode", {"11", "RFC-3881", "User Identifier"});
  } else {
    text += Attribute("ParticipantObjectID", event.patientId) + Attribute("ParticipantObjectTypeCode", "1") +
            Attribute("ParticipantObjectTypeCodeRole", "1") + ">" +
            CodedValue("ParticipantObjectIDTypeCode", {"2", "RFC-3881", "Patient Number"}) +
            Element("ParticipantObjectName", event.patientName);
  }
  if (const std::string description = Description(event); !description.empty())
    text += Element("ParticipantObjectDescription", description);
  if (touched == Touched::Order && !event.object.empty()) text += "<Accession" + Attribute("Number", event.object) + "/>";
  if (touched == Touched::Procedure && !event.object.empty()) text += "<MPPS" + Attribute("UID", event.object) + "/>";
  return text + "</ParticipantObjectIdentification>";
}
}  // namespace

std::string XmlEscaped(const std::string& text) {
  constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD
  const std::string utf8 = ToUtf8(text);
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      // As references they survive in an attribute value (raw ones would be
      // read as spaces).
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += kReplacement;  // XML 1.0 has no other control character, not even as a reference
        } else if (utf8.compare(i, 2, "\xEF\xBF") == 0 && i + 2 < utf8.size() &&
                   (utf8[i + 2] == '\xBE' || utf8[i + 2] == '\xBF')) {
          out += kReplacement;  // nor U+FFFE and U+FFFF
          i += 2;
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string DicomAuditMessage(const AuditEvent& event, const AuditActor& actor, const AuditSource& source,
                              Clock::time_point at) {
  const MessageKind& kind = KindOf(event.event);
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><AuditMessage><EventIdentification" +
                    Attribute("EventActionCode", AuditActionCode(event.action)) +
                    Attribute("EventDateTime", Rfc3339Time(at)) +
                    Attribute("EventOutcomeIndicator", event.success ? "0" : "4") + ">" +
                    CodedValue("EventID", kind.eventId);
  if (*kind.eventType.code) xml += CodedValue("EventTypeCode", kind.eventType);
  if (!event.success && !event.detail.empty()) xml += Element("EventOutcomeDescription", event.detail);
  xml += "</EventIdentification>";
  const std::string requestor = Requestor(actor);
  xml += requestor + OurApplication(source, requestor.empty());
  xml += "<AuditSourceIdentification" +
         Attribute("AuditSourceID", source.hostName.empty() ? source.aeTitle : source.aeTitle + "@" + source.hostName) +
         ">" + CodedValue("AuditSourceTypeCode", {"4", "DCM", "Application Server"}) + "</AuditSourceIdentification>";
  xml += ParticipantObject(event, kind.touched);
  return xml + "</AuditMessage>";
}

}  // namespace tarvelin
