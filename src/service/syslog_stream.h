#pragma once
// A syslog target over a stream (RFC 5425, syslog over TLS): the connection
// is made by a layer that knows TLS and registered here at start-up, so the
// audit trail can use it without depending on that layer.
#include <functional>
#include <memory>
#include <string>

namespace tarvelin {

// One connection to a collector. Both calls may wait, within the time-outs
// of the implementation; only the sender thread (syslog_stream_queue.h)
// calls them.
class SyslogStream {
 public:
  virtual ~SyslogStream() = default;
  // Connects (and handshakes) to `host`:`port`; false with the reason.
  virtual bool Connect(const std::string& host, const std::string& port, std::string& error) = 0;
  // Sends all of `bytes`; false when the connection is lost.
  virtual bool Write(const std::string& bytes) = 0;
  virtual void Disconnect() = 0;
};

// Makes the stream of a "tls:" target from the settings of the program;
// null, with the reason in `error`, when they cannot be used (a certificate
// file that cannot be read).
using SyslogStreamFactory = std::function<std::unique_ptr<SyslogStream>(std::string& error)>;

// Registered once at start-up, before the audit trail starts.
void SetSyslogTlsFactory(SyslogStreamFactory factory);
const SyslogStreamFactory& SyslogTlsFactory();

}  // namespace tarvelin
