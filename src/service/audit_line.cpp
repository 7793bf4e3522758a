#include "service/audit_line.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/codepage.h"

namespace tarvelin {

const char* AuditActionCode(AuditAction action) {
  switch (action) {
    case AuditAction::Create: return "C";
    case AuditAction::Update: return "U";
    case AuditAction::Delete: return "D";
    case AuditAction::Execute: return "E";
  }
  return "E";
}

namespace {
void Member(std::string& line, const char* name, const std::string& value) {
  line.append(",\"").append(name).append("\":").append(JsonString(value));
}
}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  std::string_view rest = text;
  while (!rest.empty()) {
    const unsigned char c = static_cast<unsigned char>(rest.front());
    if (c >= 0x80) {
      const std::size_t length = Utf8SequenceLength(rest);
      if (length > 0) {
        out.append(rest.substr(0, length));
        rest.remove_prefix(length);
      } else {
        out += Cp1252ToUtf8(std::string(1, static_cast<char>(c)));
        rest.remove_prefix(1);
      }
      continue;
    }
    rest.remove_prefix(1);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Rfc3339Time(Clock::time_point at) {
  const std::tm t = LocalTime(at);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count() % 1000;
  const long offset = t.tm_gmtoff / 60;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(millis < 0 ? 0 : millis),
                offset < 0 ? '-' : '+', std::labs(offset) / 60, std::labs(offset) % 60);
  return text;
}

std::string AuditLine(const AuditEvent& event, const AuditActor& actor, Clock::time_point at) {
  std::string line = "{\"time\":" + JsonString(Rfc3339Time(at));
  Member(line, "event", event.event);
  Member(line, "action", AuditActionCode(event.action));
  Member(line, "outcome", event.success ? "success" : "failure");
  Member(line, "actorType", actor.type);
  Member(line, "actor", actor.who);
  Member(line, "address", actor.address);
  Member(line, "objectType", event.objectType);
  Member(line, "object", event.object);
  if (!event.changes.empty()) {
    line += ",\"changes\":[";
    for (std::size_t i = 0; i < event.changes.size(); ++i) {
      const AuditChange& c = event.changes[i];
      line += (i ? ",{\"field\":" : "{\"field\":") + JsonString(c.field) + ",\"old\":" + JsonString(c.before) +
              ",\"new\":" + JsonString(c.after) + "}";
    }
    line += "]";
  }
  if (!event.detail.empty()) Member(line, "detail", event.detail);
  return line + "}";
}

}  // namespace tarvelin
