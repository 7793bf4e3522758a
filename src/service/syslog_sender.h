#pragma once
// Sends messages as RFC 5424 syslog: over UDP (RFC 5426) or TLS (RFC 5425,
// IHE ATNA's secure transport) to a collector, or to the local syslog socket
// /dev/log. Over UDP and /dev/log every message goes out as one datagram; a
// lost datagram is not noticed. Over TLS messages are queued and sent by a
// thread of their own (syslog_stream_queue.h). A failed send is never
// reported to the caller, and Send never waits for the collector. Send may
// be called from any thread.
#include <memory>
#include <string>

#include "platform/clock.h"

namespace tarvelin {

class SyslogStreamQueue;

class SyslogSender {
 public:
  SyslogSender();
  ~SyslogSender();
  SyslogSender(const SyslogSender&) = delete;
  SyslogSender& operator=(const SyslogSender&) = delete;

  // `target`: "local" (/dev/log), "udp:HOST" or "udp:HOST:PORT" (port 514
  // when none), "tls:HOST" or "tls:HOST:PORT" (port 6514 when none; needs
  // SetSyslogTlsFactory), or "" (nothing is sent). False, with the reason in `error`,
  // when the target cannot be used; nothing is sent then.
  bool Open(const std::string& target, std::string& error);
  void Close();
  bool IsOpen() const { return fd_ >= 0 || stream_ != nullptr; }
  const std::string& HostName() const { return host_; }  // our HOSTNAME field

  // Sends `message` as the MSG (UTF-8, with the BOM) of one RFC 5424
  // message of facility 10 (security/authorization) and severity 5
  // (notice), so PRI 85 as ATNA asks, with `msgId` as MSGID.
  void Send(const std::string& msgId, const std::string& message, Clock::time_point at) const;

 private:
  int fd_ = -1;
  std::unique_ptr<SyslogStreamQueue> stream_;  // set for a "tls:" target
  std::string host_;  // our HOSTNAME field
};

// The whole RFC 5424 text of one message (what Send sends).
std::string Rfc5424Message(const std::string& hostName, int processId, const std::string& msgId,
                           const std::string& message, Clock::time_point at);

}  // namespace tarvelin
