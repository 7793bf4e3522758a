#pragma once
// Sends messages as RFC 5424 syslog: over UDP (RFC 5426, the transport of
// DICOM's and IHE ATNA's audit messages) to a collector, or to the local
// syslog socket /dev/log. Every message goes out as one datagram; a lost
// datagram is not noticed (UDP) and a failed send is not reported to the
// caller. Send may be called from any thread.
#include <string>

#include "platform/clock.h"

namespace tarvelin {

class SyslogSender {
 public:
  SyslogSender() = default;
  ~SyslogSender();
  SyslogSender(const SyslogSender&) = delete;
  SyslogSender& operator=(const SyslogSender&) = delete;

  // `target`: "local" (/dev/log), "udp:HOST" or "udp:HOST:PORT" (port 514
  // when none), or "" (nothing is sent). False, with the reason in `error`,
  // when the target cannot be used; nothing is sent then.
  bool Open(const std::string& target, std::string& error);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& HostName() const { return host_; }  // our HOSTNAME field

  // Sends `message` as the MSG (UTF-8, with the BOM) of one RFC 5424
  // message of facility 10 (security/authorization) and severity 5
  // (notice), so PRI 85 as ATNA asks, with `msgId` as MSGID.
  void Send(const std::string& msgId, const std::string& message, Clock::time_point at) const;

 private:
  int fd_ = -1;
  std::string host_;  // our HOSTNAME field
};

// The whole RFC 5424 text of one message (what Send sends).
std::string Rfc5424Message(const std::string& hostName, int processId, const std::string& msgId,
                           const std::string& message, Clock::time_point at);

}  // namespace tarvelin
