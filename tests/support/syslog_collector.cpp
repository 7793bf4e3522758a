#include "support/syslog_collector.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/temp_folder.h"
#include "support/child_process.h"

namespace tarvelin {

namespace {
constexpr const char* kSummary = R"PY(
import sys, xml.etree.ElementTree as ET
try:
    root = ET.parse(sys.argv[1]).getroot()
except ET.ParseError as e:
    print("not XML:", e); sys.exit(0)
def codes(parent, tag):
    return ",".join(c.get("csd-code") + ":" + c.get("codeSystemName") + ":" + c.get("originalText")
                    for c in parent.findall(tag)) or "-"
def text(parent, tag):
    found = parent.find(tag)
    return "-" if found is None else found.text or ""
def attr(parent, tag, name):
    found = parent.find(tag)
    return "-" if found is None else found.get(name)
e = root.find("EventIdentification")
print("event", codes(e, "EventID"), e.get("EventActionCode"), e.get("EventOutcomeIndicator"),
      "type=" + codes(e, "EventTypeCode"), "why=" + text(e, "EventOutcomeDescription"))
for p in root.findall("ActiveParticipant"):
    print("participant", p.get("UserID"), "alt=" + str(p.get("AlternativeUserID")), "requestor=" + p.get("UserIsRequestor"),
          "at=%s/%s" % (p.get("NetworkAccessPointID"), p.get("NetworkAccessPointTypeCode")), "role=" + codes(p, "RoleIDCode"))
s = root.find("AuditSourceIdentification")
print("source", s.get("AuditSourceID"), "type=" + codes(s, "AuditSourceTypeCode"))
for o in root.findall("ParticipantObjectIdentification"):
    print("object", o.get("ParticipantObjectID"), "type=%s/%s" % (o.get("ParticipantObjectTypeCode"), o.get("ParticipantObjectTypeCodeRole")),
          "id=" + codes(o, "ParticipantObjectIDTypeCode"), "name=" + text(o, "ParticipantObjectName"),
          "accession=" + attr(o, "Accession", "Number"), "mpps=" + attr(o, "MPPS", "UID"),
          "about=" + text(o, "ParticipantObjectDescription"))
)PY";
}  // namespace

SyslogCollector::SyslogCollector() : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
}

SyslogCollector::~SyslogCollector() { close(fd_); }

std::string SyslogCollector::Receive() {
  pollfd ready{fd_, POLLIN, 0};
  if (poll(&ready, 1, 2000) != 1) return "";
  char buffer[65536];
  const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "";
}

std::string SyslogBody(const std::string& message) {
  const auto bom = message.find("\xEF\xBB\xBF");
  return bom == std::string::npos ? "" : message.substr(bom + 3);
}

std::string DicomAuditSummary(const std::string& xml) {
  TempFolder folder;
  const PeerResult r =
      RunPeer("python3 " + ShellQuote(folder.Write("summary.py", kSummary)) + " " + ShellQuote(folder.Write("message.xml", xml)));
  return r.ExitCode == 0 ? r.Output : "python3 failed: " + r.Output;
}

}  // namespace tarvelin
