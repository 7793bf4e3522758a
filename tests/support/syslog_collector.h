#pragma once
// A syslog collector for the audit tests: a UDP socket on a free loopback
// port, and a reading of DICOM audit messages by an XML parser of its own
// (Python's), so a message that is not well-formed fails the test.
#include <string>

namespace tarvelin {

class SyslogCollector {
 public:
  SyslogCollector();
  ~SyslogCollector();
  SyslogCollector(const SyslogCollector&) = delete;
  SyslogCollector& operator=(const SyslogCollector&) = delete;

  int Port() const { return port_; }
  std::string Target() const { return "udp:127.0.0.1:" + std::to_string(port_); }
  // The next datagram, or "" after two seconds.
  std::string Receive();

 private:
  int fd_;
  int port_ = 0;
};

// The MSG of an RFC 5424 message: what follows the UTF-8 byte-order mark.
std::string SyslogBody(const std::string& message);

// What a DICOM audit message says, one line per part, read by Python's
// xml.etree:
//   event <EventID> <action> <outcome> type=<EventTypeCode or -> why=<EventOutcomeDescription>
//   participant <UserID> alt=<AlternativeUserID> requestor=<true|false> at=<NetworkAccessPointID>/<type> role=<codes>
//   source <AuditSourceID> type=<AuditSourceTypeCode>
//   object <ID> type=<code>/<role> id=<IDTypeCode> name=<name> accession=<Number> mpps=<UID> about=<description>
// or "not XML: <the parser's complaint>".
std::string DicomAuditSummary(const std::string& xml);

}  // namespace tarvelin
